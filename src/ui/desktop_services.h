#pragma once
// The windows' view of the core: settings, the main client list, discovery, the
// drive selection, and the entry points of the transfer and group commands.
#include "ui/view_services.h"

namespace kestrelon {
class ControllerCore;
struct ClientRecord;
}  // namespace kestrelon

class DesktopServices : public ViewServices {
 public:
  explicit DesktopServices(kestrelon::ControllerCore& core) : core_(core) {}

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
  void Create() override;
  void LoadGroup() override;
  void SaveGroup() override;

 protected:
  // Runs the drive and partition dialog for `client` while the client table lock
  // is held; true with the chosen disk stored in `chosen_disk` when it ends with OK.
  virtual bool RunDriveDialog(const kestrelon::ClientRecord& client, int& chosen_disk);

  // The transfer watch's two parts, every 500 ms: the Create supervision (time-out,
  // full disk, end seen) and the Copy supervision (targets not done in time).
  virtual void SuperviseCreate();
  virtual void SuperviseCopy();

 private:
  kestrelon::ControllerCore& core_;
};
