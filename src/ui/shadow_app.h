#pragma once
// The desktop application: refuses to run twice, reads the command line, creates
// the core (its locks first), shows the splash picture, opens the main window,
// starts the network, and lends the main thread's idle time to the core. At the
// end it shuts the core down in order.
#include <memory>

#include <wx/app.h>

class CMainFrame;
class DesktopServices;
class IdleTimeWork;
class SingleInstance;
class WxUserMessages;

namespace kestrelon {
class ControllerCore;
}

class CShadowApp : public wxApp {
 public:
  CShadowApp();
  ~CShadowApp() override;

  bool OnInit() override;
  int OnExit() override;

  CMainFrame* MainFrame() const { return frame_; }

 private:
  void OnClientBuilder(wxCommandEvent&);
  void ShowClientBuilderProblem(const wxString& message);
  void OnAbout(wxCommandEvent&);
  void OnPreferences(wxCommandEvent&);

  std::unique_ptr<SingleInstance> single_instance_;
  std::unique_ptr<WxUserMessages> messages_;
  std::unique_ptr<kestrelon::ControllerCore> core_;
  std::unique_ptr<DesktopServices> services_;
  std::unique_ptr<IdleTimeWork> idle_work_;
  CMainFrame* frame_ = nullptr;
};

wxDECLARE_APP(CShadowApp);

