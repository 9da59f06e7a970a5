#pragma once
// The Create command's dialogs in windows: messages, the save-file dialog, the
// Receiving Disk Image dialog and the Receiving dialog. Owns the Create flow,
// which lives as long as the program so that the discovery timer can see whether
// its Receiving dialog is open.
#include <functional>
#include <optional>
#include <string>

#include "commands/create_flow.h"

class WindowCreate final : public kestrelon::CreatePort {
 public:
  // The save-file dialog's filter and default extension.
  static constexpr const char* kFilter = "Kestrelon(*.KRN)|*.krn;*.KRN";
  static constexpr const char* kExtension = "krn";

  explicit WindowCreate(kestrelon::ControllerCore& core) : core_(core), flow_(core) {}

  const kestrelon::CreateFlow& Flow() const { return flow_; }
  // Where the line that says how an upload ended goes (the status bar).
  void SetOutcomeSink(std::function<void(const std::string&)> sink) { outcome_sink_ = std::move(sink); }

  // The Create command for the checked rows of the main client list. The folder
  // that became the image folder, when the upload ran (whole or not).
  std::optional<std::string> Run(bool sector_by_sector);

  void show_message(const std::string& text) override;
  std::optional<std::string> choose_image_path(const std::string& proposed_name) override;
  std::optional<kestrelon::ReceiveImageChoice> ask_receive_image(const kestrelon::ReceiveImageInfo& info) override;
  std::unique_ptr<kestrelon::ReceivingDialog> make_receiving_dialog(
      const kestrelon::ReceivingDialogInfo& info) override;
  void image_folder_chosen(const std::string& folder) override { chosen_folder_ = folder; }
  void transfer_ended(const kestrelon::JournalFacts& facts) override;

 private:
  kestrelon::ControllerCore& core_;
  kestrelon::CreateFlow flow_;
  std::optional<std::string> chosen_folder_;
  std::function<void(const std::string&)> outcome_sink_;
};
