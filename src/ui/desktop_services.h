#pragma once
// The windows' view of the core: settings, the main client list, discovery, the
// drive selection, and the entry points of the transfer and group commands.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/view_services.h"

class wxWindow;

namespace kestrelon {
class CheckListModel;
class ControllerCore;
class RoomWatch;
struct ClientRecord;
struct CopyRequest;
}  // namespace kestrelon

class WindowCopy;
class WindowCreate;

class DesktopServices : public ViewServices {
 public:
  // The wall clock in whole seconds that the Schedule countdown reads; empty: the
  // system's. Tests give a faster one.
  using WallClock = std::function<std::int64_t()>;

  explicit DesktopServices(kestrelon::ControllerCore& core);
  ~DesktopServices() override;

  void SetScheduleClock(WallClock clock) { schedule_clock_ = std::move(clock); }

  std::optional<std::string> ReadSetting(const std::string& name) override;
  void WriteSetting(const std::string& name, const std::string& value) override;
  kestrelon::CheckListModel& ClientRows() override;

  bool TransferDialogOpen() override;
  void PeriodicDiscovery() override;
  void TransferWatch() override;
  void Rediscover() override;
  bool SelectDrive(const std::string& address_text) override;

  void Copy(const std::string& image_path) override;
  void Schedule(const std::string& image_path) override;
  std::optional<std::string> Create() override;
  void LoadGroup() override;
  void SaveGroup() override;
  void SetTransferOutcomeSink(std::function<void(const std::string&)> sink) override;
  std::optional<std::string> ShowHistory() override;
  bool FollowRoom() override;

  // Options > Preferences...: true when OK changed the set of interfaces (the
  // client list has been emptied for a fresh discovery).
  bool RunPreferences(wxWindow* parent);

 protected:
  // Runs the drive and partition dialog for `client` while the client table lock
  // is held; true with the chosen disk stored in `chosen_disk` when it ends with OK.
  virtual bool RunDriveDialog(const kestrelon::ClientRecord& client, int& chosen_disk);

  // The transfer watch's two parts, every 500 ms: the Create supervision (time-out,
  // full disk, end seen) and the Copy supervision (targets not done in time).
  virtual void SuperviseCreate();
  virtual void SuperviseCopy();

 private:
  // The answer to the question about protected Clients among the checked ones.
  enum class ProtectedChoice { none_checked, include, leave_out, cancel };
  ProtectedChoice AskAboutProtected();
  // The Copy command with `choice` made already (a scheduled Copy asks no one).
  void RunCopy(kestrelon::CopyRequest request, ProtectedChoice choice);
  void ShowStatus(const std::string& line);

  kestrelon::ControllerCore& core_;
  std::unique_ptr<WindowCopy> copy_;
  std::unique_ptr<WindowCreate> create_;
  WallClock schedule_clock_;
  std::function<void(const std::string&)> status_sink_;
  // The group loaded last, as loading left its rows (members not on the network
  // unchecked): a scheduled Copy waits for those too.
  std::unique_ptr<kestrelon::CheckListModel> loaded_group_;
  // The members woken by Load Group, until they are all here or the watch ends.
  std::unique_ptr<kestrelon::RoomWatch> group_watch_;
  int group_watch_ready_ = -1;  // PCs here at the last status line; -1: none shown yet
};
