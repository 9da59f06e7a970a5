#include "switch_words.h"

#include <CLI/CLI.hpp>

#include "app/command_line.h"

namespace kestrelon::cli {

namespace {

// Whether option `name` (without "=value") of `app` or of any subcommand below it
// reads the next word as its value.
bool takes_value(const CLI::App& app, const std::string& name) {
  if (const CLI::Option* option = app.get_option_no_throw(name)) return option->get_items_expected_min() > 0;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (takes_value(*sub, name)) return true;
  }
  return false;
}

}  // namespace

bool is_switch_word(const std::string& word) {
  if (word.size() < 2 || (word[0] != '-' && word[0] != '/')) return false;
  return CShadowCommandLineInfo::is_switch_name(std::string_view(word).substr(1));
}

SplitArguments split_switch_words(const Args& args, const CLI::App& app) {
  SplitArguments out;
  const CLI::App* command = nullptr;  // the subcommand, once named
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (is_switch_word(word)) {
      out.switch_words.push_back(word);
      if (i + 1 < args.size()) out.switch_words.push_back(args[++i]);
      continue;
    }
    out.for_parser.push_back(word);
    if (!command && !word.starts_with("-")) {
      for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        if (sub->check_name(word)) command = sub;
      }
      continue;
    }
    if (word.starts_with("-") && word.find('=') == std::string::npos && i + 1 < args.size() &&
        takes_value(command ? *command : app, word)) {
      out.for_parser.push_back(args[++i]);
    }
  }
  return out;
}

}  // namespace kestrelon::cli
