#pragma once
// The Copy command's dialogs in windows: messages, the low-disk-space list, the
// Transfer dialog, the list of failed Clients and the self-closing message. Owns
// the Copy flow, which lives as long as the program so that the frame's timers
// can supervise a running copy and pause discovery while it runs.
#include <functional>
#include <string>
#include <vector>

#include "commands/copy_flow.h"

class WindowCopy final : public kestrelon::CopyFlowPort {
 public:
  // The string number of "Restoring Connections...", the timed message's timer.
  static constexpr int kRestoringConnectionsId = 1101;

  explicit WindowCopy(kestrelon::ControllerCore& core) : core_(core), flow_(core, *this) {}

  kestrelon::CopyFlow& Flow() { return flow_; }
  // Where the line that says how a copy ended goes (the status bar).
  void SetOutcomeSink(std::function<void(const std::string&)> sink) { outcome_sink_ = std::move(sink); }

  void show_message(const std::string& text) override;
  void show_low_disk_space(const std::vector<kestrelon::ClientRowFields>& clients) override;
  void show_failed_clients(const std::vector<kestrelon::ClientRowFields>& clients) override;
  void show_timed_message(const std::string& text) override;
  void run_transfer_dialog(kestrelon::CopyTransfer& transfer) override;
  void transfer_ended(const kestrelon::JournalFacts& facts) override;
  void after_copy_reported(const kestrelon::JournalRecord& record) override;

 private:
  kestrelon::ControllerCore& core_;
  kestrelon::CopyFlow flow_;
  std::function<void(const std::string&)> outcome_sink_;
};
