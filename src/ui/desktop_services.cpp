#include "ui/desktop_services.h"

#include "app/controller_core.h"
#include "app/program_settings.h"
#include "commands/room_watch.h"
#include "model/check_list_model.h"
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
  create_->SetOutcomeSink(sink);
  status_sink_ = std::move(sink);
}

void DesktopServices::ShowStatus(const std::string& line) {
  if (status_sink_) status_sink_(line);
}

bool DesktopServices::FollowRoom() {
  // A running transfer has its targets; the watch goes on after it.
  if (!group_watch_ || TransferDialogOpen()) return false;
  const kestrelon::Tick now = core_.clock().now();
  const bool arrived = !group_watch_->poll(now).empty();
  if (group_watch_->over(now)) {
    ShowStatus(group_watch_->end_text());
    group_watch_.reset();
    return arrived;
  }
  // Told as it starts and as PCs come, not every second: the line also says
  // how the last Copy ended.
  if (arrived || group_watch_ready_ < 0) ShowStatus(group_watch_->status(now));
  group_watch_ready_ = group_watch_->ready();
  return arrived;
}
