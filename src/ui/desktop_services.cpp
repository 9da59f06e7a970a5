#include "ui/desktop_services.h"

#include "app/controller_core.h"
#include "app/program_settings.h"
#include "ui/window_copy.h"
#include "ui/window_create.h"

DesktopServices::DesktopServices(kestrelon::ControllerCore& core)
    : core_(core), copy_(std::make_unique<WindowCopy>(core)), create_(std::make_unique<WindowCreate>(core)) {}

DesktopServices::~DesktopServices() = default;

std::optional<std::string> DesktopServices::ReadSetting(const std::string& name) {
  std::string value;
  if (core_.settings().read_setting(kestrelon::kSettingsSection, name, value, "") != 0) return std::nullopt;
  return value;
}

void DesktopServices::WriteSetting(const std::string& name, const std::string& value) {
  core_.settings().write_setting(kestrelon::kSettingsSection, name, value);
}

kestrelon::CheckListModel& DesktopServices::ClientRows() { return core_.main_client_list().rows(); }

void DesktopServices::PeriodicDiscovery() { core_.registry().discover(false); }

void DesktopServices::TransferWatch() {
  SuperviseCreate();
  SuperviseCopy();
}

// Ends a Create that went silent, filled the disk or finished; nothing happens
// while no Create runs.
void DesktopServices::SuperviseCreate() { core_.receive_engine().supervise(); }

void DesktopServices::Rediscover() { core_.registry().discover(true); }

void DesktopServices::SetTransferOutcomeSink(std::function<void(const std::string&)> sink) {
  copy_->SetOutcomeSink(sink);
  create_->SetOutcomeSink(std::move(sink));
}
