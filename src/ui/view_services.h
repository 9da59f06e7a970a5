#pragma once
// What the main frame and form ask of the rest of the program. The application
// implements it over the core (DesktopServices); tests implement it with fakes.
#include <functional>
#include <optional>
#include <string>

namespace kestrelon {
class CheckListModel;
}

class ViewServices {
 public:
  virtual ~ViewServices() = default;

  // Settings of the "Settings" section; nullopt when missing.
  virtual std::optional<std::string> ReadSetting(const std::string& name) = 0;
  virtual void WriteSetting(const std::string& name, const std::string& value) = 0;

  // The rows of the main client list.
  virtual kestrelon::CheckListModel& ClientRows() = 0;

  // Frame timers.
  virtual bool TransferDialogOpen() = 0;
  virtual void PeriodicDiscovery() = 0;
  virtual void TransferWatch() = 0;

  // Empties the tables and the client list and asks every Client to announce.
  virtual void Rediscover() = 0;

  // The drive selection for the Client whose address text is `address_text`; false
  // when no Client of the client table has that address.
  virtual bool SelectDrive(const std::string& address_text) = 0;

  // The transfer and group commands of the form's buttons. Create returns the
  // folder that became the image folder, when an upload ran.
  virtual void Copy(const std::string& image_path) = 0;
  virtual void Schedule(const std::string& image_path) = 0;
  virtual std::optional<std::string> Create() = 0;
  virtual void LoadGroup() = 0;
  virtual void SaveGroup() = 0;

  // View > History...: the History window. Returns the image of the Copy whose
  // failed Clients it checked for another try, when it did.
  virtual std::optional<std::string> ShowHistory() { return std::nullopt; }
  // The transfer watch's last part: the PCs woken by Load Group are checked as
  // they come up. True when rows were checked.
  virtual bool FollowRoom() { return false; }

  // Where the line that says how each Copy and Create ended goes; empty: nowhere.
  virtual void SetTransferOutcomeSink(std::function<void(const std::string&)> /*sink*/) {}
};
