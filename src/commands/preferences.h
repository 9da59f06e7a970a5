#pragma once
// The Preferences dialog without its window: the interfaces to use (one row per
// open endpoint, checked when the endpoint takes part in broadcasts) and the
// three options that travel with every transfer. CPreferencesDlg drives it: the
// check boxes edit `options`, the list edits interfaces(), OK calls ok().
//
// OK first works out the new set of interfaces and refuses, changing nothing,
// when none would be left; only a valid OK applies: the options, the endpoints'
// disabled flags, the settings "KeepPartitionSize", "SID" and
// "DisabledInterfaces", and a discovery with clearing when the set of interfaces
// changed. Cancel applies nothing. User-interface thread.
#include <optional>
#include <string>

#include "app/program_options.h"
#include "app/settings_store.h"
#include "model/check_list_model.h"
#include "net/client_registry.h"
#include "net/endpoint_table.h"

namespace kestrelon {

class ControllerCore;

class Preferences {
 public:
  static constexpr const char* kInterfacesColumn = "IP Address";
  // The column is as wide as its header text plus 600 pixels.
  static constexpr int kInterfacesColumnUnits = 600 / 15;
  static constexpr const char* kAtLeastOneInterfaceText = "At least one interface must be configured.";

  Preferences(EndpointTable& endpoints, ProgramOptions& program_options, SettingsStore& settings,
              ClientRegistry& registry);
  explicit Preferences(ControllerCore& core);

  // The check boxes: a copy of the program's options until a valid OK.
  ProgramOptions options;

  // One row per open endpoint, its address as "%03d.%03d.%03d.%03d", checked
  // when the endpoint is enabled.
  CheckListModel& interfaces() { return interfaces_; }

  // Applies and returns nothing when at least one interface stays checked;
  // otherwise returns the message to show and leaves everything as it was.
  std::optional<std::string> ok();

  // How many endpoints changed between enabled and disabled at the last valid OK.
  int changes() const { return changes_; }

 private:
  EndpointTable& endpoints_;
  ProgramOptions& program_options_;
  SettingsStore& settings_;
  ClientRegistry& registry_;
  CheckListModel interfaces_;
  int changes_ = 0;
};

}  // namespace kestrelon
