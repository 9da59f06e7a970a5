#pragma once
// Stands in for the program behind the windows: settings kept in memory, and
// counts of what the frame and form asked for.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/check_list_model.h"
#include "ui/view_services.h"

namespace kestrelon::test {

class FakeViewServices : public ViewServices {
 public:
  std::optional<std::string> ReadSetting(const std::string& name) override {
    const auto it = settings.find(name);
    if (it == settings.end()) return std::nullopt;
    return it->second;
  }
  void WriteSetting(const std::string& name, const std::string& value) override { settings[name] = value; }
  bool TransferDialogOpen() override { return transfer_dialog_open; }
  void PeriodicDiscovery() override { ++discoveries; }
  void TransferWatch() override { ++transfer_watches; }
  void Rediscover() override { ++rediscoveries; }
  kestrelon::CheckListModel& ClientRows() override { return rows; }
  bool SelectDrive(const std::string& address_text) override {
    drive_selections.push_back(address_text);
    return drive_selection_finds_client;
  }
  void Copy(const std::string& path) override { copies.push_back(path); }
  void Schedule(const std::string& path) override { schedules.push_back(path); }
  std::optional<std::string> Create() override {
    ++creates;
    return std::nullopt;
  }
  void LoadGroup() override { ++group_loads; }
  void SaveGroup() override { ++group_saves; }

  std::map<std::string, std::string> settings;
  bool transfer_dialog_open = false;
  int discoveries = 0;
  int transfer_watches = 0;
  int rediscoveries = 0;
  kestrelon::CheckListModel rows;
  std::vector<std::string> drive_selections;
  bool drive_selection_finds_client = true;
  std::vector<std::string> copies;
  std::vector<std::string> schedules;
  int creates = 0;
  int group_loads = 0;
  int group_saves = 0;
};

}  // namespace kestrelon::test
