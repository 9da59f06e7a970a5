#pragma once
// The desktop application: refuses to run twice, shows the splash picture, opens
// the main window, and lends the main thread's idle time to the core.
#include <memory>

#include <wx/app.h>

#include "ui/view_services.h"

class CMainFrame;
class SingleInstance;

class CShadowApp : public wxApp, public ViewServices {
 public:
  CShadowApp();
  ~CShadowApp() override;

  bool OnInit() override;
  int OnExit() override;

  CMainFrame* MainFrame() const { return frame_; }

  // ViewServices
  std::optional<std::string> ReadSetting(const std::string& name) override;
  void WriteSetting(const std::string& name, const std::string& value) override;
  bool TransferDialogOpen() override;
  void PeriodicDiscovery() override;
  void TransferWatch() override;
  void Rediscover() override;

 private:
  void OnClientBuilder(wxCommandEvent&);
  void OnAbout(wxCommandEvent&);

  std::unique_ptr<SingleInstance> single_instance_;
  CMainFrame* frame_ = nullptr;
};

wxDECLARE_APP(CShadowApp);
