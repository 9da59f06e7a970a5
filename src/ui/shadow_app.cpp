#include "ui/shadow_app.h"

#include <wx/msgdlg.h>

#include "app/command_line.h"
#include "app/controller_core.h"
#include "dialogs/about_dlg.h"
#include "dialogs/splash_dlg.h"
#include "platform/program_exec.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/idle_time_work.h"
#include "ui/main_frame.h"
#include "ui/network_start.h"
#include "ui/shadow_view.h"
#include "ui/single_instance.h"
#include "ui/strings.h"
#include "ui/wx_user_messages.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;

namespace {

// "--loopback" is the desktop program's own word: loopback interfaces take part
// too, so Clients on the same machine can be found (demonstrations, tests). The
// tuning switches ignore it, as they ignore every word they do not know.
constexpr const char* kLoopbackWord = "--loopback";

}  // namespace

CShadowApp::CShadowApp() = default;
CShadowApp::~CShadowApp() = default;

bool CShadowApp::OnInit() {
  SetAppName(text::kAppTitle);
  SetAppDisplayName(text::kAppTitle);

  single_instance_ = std::make_unique<SingleInstance>();
  if (!single_instance_->Claim([this] { BringWindowForward(frame_); })) {
    wxMessageBox(text::kAlreadyRunning, text::kAppTitle, wxOK);
    return false;
  }

  kestrelon::CoreOptions options;
  std::vector<std::string> words;
  bool loopback = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i].utf8_string();
    loopback = loopback || word == kLoopbackWord;
    words.push_back(word);
  }
  kestrelon::CShadowCommandLineInfo command_line(options.tuning);
  kestrelon::parse_command_line(words, command_line);
  options.addresses = kestrelon::host_addresses(loopback);

  // The locks are made with the core, before any window or thread.
  messages_ = std::make_unique<WxUserMessages>();
  core_ = std::make_unique<kestrelon::ControllerCore>(*messages_, options);
  services_ = std::make_unique<DesktopServices>(*core_);
  // A Controller started by another user, or the command line, on this host's
  // network: the Clients' answers would reach only one of the two.
  if (core_->another_controller()) {
    wxMessageBox(text::kAlreadyRunning, text::kAppTitle, wxOK);
    return false;
  }

  {
    CSplashDlg splash(nullptr);
    splash.ShowModal();
  }

  frame_ = new CMainFrame(*services_);
  frame_->View()->InitialUpdate();
  frame_->Centre();
  frame_->Show();
  SetTopWindow(frame_);

  Bind(wxEVT_MENU, &CShadowApp::OnClientBuilder, this, ids::kFileClientBuilder);
  Bind(wxEVT_MENU, &CShadowApp::OnAbout, this, ids::kAppAbout);
  Bind(wxEVT_MENU, &CShadowApp::OnPreferences, this, ids::kOptionsPreferences);

  const NetworkStart network = StartNetwork(*core_, *messages_, loopback);
  if (!network.started) {
    // The network could not start; its message has been shown.
    frame_->Destroy();
    frame_ = nullptr;
    return false;
  }
  if (!network.note.empty()) frame_->SetStatusText(wxString::FromUTF8(network.note), CMainFrame::kOutcomePane);
  idle_work_ = std::make_unique<IdleTimeWork>([this] { core_->idle_pass(); });
  return true;
}

int CShadowApp::OnExit() {
  idle_work_.reset();
  // The main window is gone by now; the core closes the network and its locks.
  if (core_) core_->shutdown();
  services_.reset();
  core_.reset();
  single_instance_.reset();
  return wxApp::OnExit();
}

void CShadowApp::OnClientBuilder(wxCommandEvent&) {
  const std::string path = kestrelon::program_folder() + kestrelon::platform_path(text::kClientBuilderPath);
  if (!kestrelon::can_execute(path)) return;
  // The builder takes this process over; the lock must not outlive the Controller.
  single_instance_->Release();
  kestrelon::replace_process(path, text::kClientBuilderArgument0);
  // Still here: the builder did not start. Carry on as before.
  single_instance_->Claim([this] { BringWindowForward(frame_); });
}

void CShadowApp::OnAbout(wxCommandEvent&) {
  CAboutDlg about(frame_);
  about.ShowModal();
}

void CShadowApp::OnPreferences(wxCommandEvent&) {
  // A new set of interfaces has emptied the client list: its buttons follow.
  if (services_->RunPreferences(frame_)) frame_->View()->UpdateClientButtons();
}
