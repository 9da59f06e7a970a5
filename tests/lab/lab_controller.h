#pragma once
// The Controller as the program wires it (ControllerCore) on lab host 0, in this
// test process, driven through its Copy and Create command flows the way the
// command line drives them: a discovery request once a second, idle passes, the
// rows of the chosen Clients checked. Tests can look inside it meanwhile (its
// notices, its engines' counters).
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "commands/copy_flow.h"
#include "commands/create_flow.h"
#include "lab_network.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace kestrelon::lab {

class LabController {
 public:
  // `tuning` as the command line would set it; the journal is kept in the
  // controller's own folder unless `journal` names another file.
  explicit LabController(LabNetwork& net, TuningValues tuning = {}, std::filesystem::path journal = {});
  ~LabController();
  LabController(const LabController&) = delete;
  LabController& operator=(const LabController&) = delete;

  // Starts the core with its endpoint on host 0's address.
  bool start();
  // Discovers until every named Client is listed; false when the limit passed first.
  bool discover(const std::vector<std::string>& names, std::chrono::milliseconds limit);
  // Copies the image to the named Clients (discovered first).
  CopyFlowResult copy(const std::string& image, const std::vector<std::string>& names);
  // Has the named Client upload its first disk into `path`; `cancel`, asked
  // while the upload runs, presses Cancel when it returns true.
  CreateFlowResult create(const std::string& name, const std::string& path, const std::string& description,
                          int compression, std::function<bool()> cancel = {});

  ControllerCore& core() { return core_; }
  const std::filesystem::path& folder() const { return folder_.path(); }
  test::RecordingUi& ui() { return ui_; }

 private:
  // Checks exactly the rows of these Clients.
  void check_only(const std::vector<std::string>& names);
  // Work for the user-interface thread: posted work and the idle pass.
  void pump();

  LabNetwork& net_;
  test::TempFolder folder_;
  test::RecordingUi ui_;
  ControllerCore core_;
};

}  // namespace kestrelon::lab
