#pragma once
// What the main frame and form ask of the rest of the program. The application
// implements it over the core; tests implement it with recording fakes.
#include <optional>
#include <string>

class ViewServices {
 public:
  virtual ~ViewServices() = default;

  // Settings of the "Settings" section; nullopt when missing.
  virtual std::optional<std::string> ReadSetting(const std::string& name) = 0;
  virtual void WriteSetting(const std::string& name, const std::string& value) = 0;

  // Frame timers.
  virtual bool TransferDialogOpen() = 0;
  virtual void PeriodicDiscovery() = 0;
  virtual void TransferWatch() = 0;

  // Empties the tables and the client list and asks every Client to announce.
  virtual void Rediscover() = 0;
};
