#pragma once
// The builder window: prepare the network boot files, prepare a USB image, and
// serve the boot files on an interface, each by running kestrelon-builder, with
// its output in the log as it comes. The rules live in BuilderSession; this
// frame lays out the fields, hands each button and each report of the child to
// the session, and shows what the session holds.
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <vector>

#include <wx/frame.h>

#include "core/builder_session.h"
#include "core/network_interfaces.h"

class BuilderLogList;
class wxButton;
class wxChoice;
class wxHtmlHelpController;
class wxRadioButton;
class wxSizer;
class wxSpinCtrl;
class wxStaticText;
class wxTextCtrl;

namespace kestrelon::builder_window {
class ChildRunner;
}

class BuilderFrame : public wxFrame {
 public:
  // The controls, for the window's own tests.
  struct Controls {
    wxTextCtrl* kernel = nullptr;
    wxButton* browse_kernel = nullptr;
    wxTextCtrl* folder = nullptr;
    wxButton* browse_folder = nullptr;
    wxChoice* netboot_after = nullptr;
    wxButton* netboot = nullptr;
    wxTextCtrl* usb_file = nullptr;
    wxButton* browse_file = nullptr;
    wxChoice* usb_after = nullptr;
    wxButton* usb = nullptr;
    wxChoice* interface = nullptr;
    wxButton* refresh = nullptr;
    wxRadioButton* proxy = nullptr;
    wxRadioButton* isolated = nullptr;
    wxTextCtrl* range_first = nullptr;
    wxTextCtrl* range_last = nullptr;
    wxChoice* menu_default = nullptr;
    wxSpinCtrl* menu_timeout = nullptr;
    wxStaticText* root_note = nullptr;
    wxButton* serve = nullptr;
    wxButton* stop = nullptr;
    BuilderLogList* log = nullptr;
    wxStaticText* result = nullptr;
    wxButton* help = nullptr;
    wxButton* close = nullptr;
  };

  explicit BuilderFrame(kestrelon::builder_window::BuilderEnvironment environment,
                        std::chrono::milliseconds stop_grace = std::chrono::seconds(5));
  ~BuilderFrame() override;

  const Controls& GetControls() const { return controls_; }
  const kestrelon::builder_window::BuilderSession& Session() const { return *session_; }
  // The running builder's process id; 0 when none runs.
  pid_t ChildPid() const;

 private:
  void CreateControls();
  wxSizer* CreateKernelBox(wxWindow* parent);
  wxSizer* CreateNetbootBox(wxWindow* parent);
  wxSizer* CreateUsbBox(wxWindow* parent);
  wxSizer* CreateServeBox(wxWindow* parent);
  void BindEvents();

  void ListInterfaces();
  void ProposeRange();
  kestrelon::builder_window::NetbootForm ReadNetbootForm() const;
  kestrelon::builder_window::UsbForm ReadUsbForm() const;
  kestrelon::builder_window::ServeForm ReadServeForm() const;

  void OnOutput(const std::vector<kestrelon::builder_window::OutputLine>& lines);
  void OnEnded(const kestrelon::builder_window::ChildExit& exit);
  void OnClose(wxCloseEvent& event);
  void OnBrowseFolder();
  void OnBrowseFile();
  void OnBrowseKernel();
  void OnHelp();
  void Render();

  std::unique_ptr<kestrelon::builder_window::ChildRunner> runner_;
  std::unique_ptr<kestrelon::builder_window::BuilderSession> session_;
  std::vector<kestrelon::builder_window::NetworkInterface> interfaces_;
  std::unique_ptr<wxHtmlHelpController> help_;
  Controls controls_;
};
