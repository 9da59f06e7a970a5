#pragma once
// The Copy flow's user interface as a script: records every list and message,
// and runs the Transfer dialog's modal loop (posted work) until it has ended.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/recording_ui.h"
#include "commands/copy_flow.h"

namespace kestrelon::test {

using namespace std::chrono_literals;

struct ScriptedCopyPort : CopyFlowPort {
  explicit ScriptedCopyPort(RecordingUi& u) : ui(u) {}
  void show_message(const std::string& text) override { messages.push_back(text); }
  void show_low_disk_space(const std::vector<ClientRowFields>& clients) override { low_space.push_back(names(clients)); }
  void show_failed_clients(const std::vector<ClientRowFields>& clients) override {
    failed.push_back(names(clients));
    if (on_failed) on_failed();
  }
  void show_timed_message(const std::string& text) override { timed.push_back(text); }
  void run_transfer_dialog(CopyTransfer& transfer) override {
    bool ended = false;
    ++dialogs;
    opened_ok = transfer.open(0, [&] { ended = true; });
    if (!ended && during) during(transfer);
    const auto end = std::chrono::steady_clock::now() + wait_limit;
    while (!ended && std::chrono::steady_clock::now() < end) {
      ui.run_posted();
      if (!ended) std::this_thread::sleep_for(5ms);
    }
    if (!ended) {
      ADD_FAILURE() << "the Transfer dialog did not end";
      transfer.cancel();
    }
  }
  static std::vector<std::string> names(const std::vector<ClientRowFields>& rows) {
    std::vector<std::string> n;
    for (const auto& r : rows) n.push_back(r.name);
    return n;
  }

  RecordingUi& ui;
  std::function<void(CopyTransfer&)> during;
  std::function<void()> on_failed;  // as the failed Clients are listed
  std::chrono::milliseconds wait_limit = 3s;  // for the Transfer dialog to end
  std::vector<std::string> messages;
  std::vector<std::vector<std::string>> low_space;
  std::vector<std::vector<std::string>> failed;
  std::vector<std::string> timed;
  int dialogs = 0;
  bool opened_ok = false;
};

}  // namespace kestrelon::test
