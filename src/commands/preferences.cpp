#include "commands/preferences.h"

#include <algorithm>
#include <vector>

#include "app/controller_core.h"
#include "app/program_settings.h"

namespace kestrelon {

namespace {
// A row's text is read back at most this long before it is compared.
constexpr std::size_t kRowTextLimit = 79;
}  // namespace

Preferences::Preferences(EndpointTable& endpoints, ProgramOptions& program_options, SettingsStore& settings,
                         ClientRegistry& registry)
    : options(program_options),
      endpoints_(endpoints),
      program_options_(program_options),
      settings_(settings),
      registry_(registry) {
  interfaces_.set_check_images(true);
  interfaces_.set_single_selection(true);
  interfaces_.insert_column(kInterfacesColumn, 0, kInterfacesColumnUnits);
  const int open = endpoints_.open_count();
  for (int i = 0; i < open; ++i) interfaces_.set_cell(i, 0, endpoints_.address(i).padded_text());
  for (int i = 0; i < open; ++i) {
    if (!endpoints_.disabled(i)) interfaces_.check(i);
  }
}

Preferences::Preferences(ControllerCore& core)
    : Preferences(core.endpoints(), core.program_options(), core.settings(), core.registry()) {}

std::optional<std::string> Preferences::ok() {
  const int open = endpoints_.open_count();
  std::vector<bool> disabled(static_cast<std::size_t>(open));
  for (int i = 0; i < open; ++i) disabled[static_cast<std::size_t>(i)] = endpoints_.disabled(i);

  std::string disabled_text;
  int changes = 0;
  for (int i = 0; i < open; ++i) {
    const std::string address = endpoints_.address(i).padded_text();
    if (interfaces_.cell(i, 0).substr(0, kRowTextLimit) != address) continue;
    const bool checked = interfaces_.check_state(i) == kChecked;
    if (!checked) disabled_text += address + ";";
    if (disabled[static_cast<std::size_t>(i)] == checked) ++changes;
    disabled[static_cast<std::size_t>(i)] = !checked;
  }
  if (std::none_of(disabled.begin(), disabled.end(), [](bool d) { return !d; })) return kAtLeastOneInterfaceText;

  program_options_ = options;
  for (int i = 0; i < open; ++i) endpoints_.set_disabled(i, disabled[static_cast<std::size_t>(i)]);
  program_options_.store(settings_);
  write_disabled_interfaces(settings_, disabled_text);
  changes_ = changes;
  if (changes > 0) registry_.discover(true);
  return std::nullopt;
}

}  // namespace kestrelon
