
#include <cstdio>

#include "commands/journal_record.h"
#include "error_report.h"
#include "json_text.h"

namespace kestrelon::cli {

namespace {

bool json_mode = false;

void print_json(const char* event, const std::string& command, const std::string& text) {
  Json object{{"event", event}, {"time", local_time_text(wall_clock_ms())}};
  if (!command.empty()) object["command"] = command;
  object["text"] = text;
  std::printf("%s\n", json_text(object).c_str());
  std::fflush(stdout);
}

}  // namespace

void set_json_errors(bool on) { json_mode = on; }
bool json_errors() { return json_mode; }

void report_error(const std::string& command, const std::string& text) {
  std::fprintf(stderr, "kestrelon-cli%s%s: %s\n", command.empty() ? "" : " ", command.c_str(), text.c_str());
  if (json_mode) print_json("error", command, text);
}

void report_message(const std::string& text) {
  std::fprintf(stderr, "kestrelon: %s\n", text.c_str());
  if (json_mode) print_json("message", "", text);
}

}  // namespace kestrelon::cli
