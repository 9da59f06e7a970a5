#pragma once
// Stands in for the program behind the windows: settings kept in memory, and
// counts of what the frame and form asked for.
#include <map>
#include <optional>
#include <string>

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

  std::map<std::string, std::string> settings;
  bool transfer_dialog_open = false;
  int discoveries = 0;
  int transfer_watches = 0;
  int rediscoveries = 0;
};

}  // namespace kestrelon::test
