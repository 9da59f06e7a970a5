#include "ui/shadow_app.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <wx/msgdlg.h>

#include "app/client_builder_launch.h"
#include "app/command_line.h"
#include "app/controller_core.h"
#include "app/switch_check.h"
#include "net/port_in_use.h"
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
// too, so Clients on the same machine can be found (demonstrations, tests). It is
// no tuning switch.
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
    if (word == kLoopbackWord) {
      loopback = true;
    } else {
      words.push_back(word);
    }
  }
  // The same checks as the command line's: "-rt 0" or "-mttl abc" would otherwise
  // run copies with values that cannot work.
  if (const std::string problem = kestrelon::switch_words_problem(words); !problem.empty()) {
    wxMessageBox(wxString::FromUTF8(problem), text::kAppTitle, wxOK);
    return false;
  }
  kestrelon::CShadowCommandLineInfo command_line(options.tuning);
  kestrelon::parse_command_line(words, command_line);
  options.addresses = kestrelon::host_addresses(loopback);

  // The locks are made with the core, before any window or thread.
  messages_ = std::make_unique<WxUserMessages>();
  core_ = std::make_unique<kestrelon::ControllerCore>(*messages_, options);
  services_ = std::make_unique<DesktopServices>(*core_);
  // A program that holds the control port on one of the addresses (a Controller
  // started by another user, the command line, anything): the Clients' answers
  // would not reach this one.
  if (const auto taken = core_->address_in_use()) {
    wxMessageBox(wxString::FromUTF8(kestrelon::port_in_use_text(*taken)), text::kAppTitle, wxOK);
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
  const kestrelon::ClientBuilderPrograms programs{text::kClientBuilderPath,
                                                  text::kClientBuilderProgram, text::kClientBuilderPackage,
                                                  text::kClientBuilderWindowPackage};
  const char* search_path = std::getenv("PATH");
  const kestrelon::ClientBuilderLaunch launch =
      kestrelon::plan_client_builder_launch(programs, kestrelon::program_folder(), search_path ? search_path : "");
  if (!launch.ready()) {
    // Said, not kept silent: an administrator otherwise cannot tell why nothing
    // happens. The Controller goes on as before.
    ShowClientBuilderProblem(wxString::Format(text::kClientBuilderMissing, wxString::FromUTF8(launch.missing_program),
                                              wxString::FromUTF8(launch.looked_in),
                                              wxString::FromUTF8(launch.package)));
    return;
  }
  // The builder takes this process over; the lock must not outlive the Controller.
  single_instance_->Release();
  kestrelon::replace_process(launch.window_path, text::kClientBuilderArgument0);
  const int error = errno;
  // Still here: the builder did not start. Carry on as before.
  single_instance_->Claim([this] { BringWindowForward(frame_); });
  ShowClientBuilderProblem(wxString::Format(text::kClientBuilderCannotStart, wxString::FromUTF8(launch.window_path),
                                            wxString::FromUTF8(std::strerror(error))));
}

void CShadowApp::ShowClientBuilderProblem(const wxString& message) {
  // Also on standard error, for an administrator who started the Controller from
  // a terminal (and for the tests, which cannot read a message box).
  std::fprintf(stderr, "kestrelon: %s\n", message.utf8_string().c_str());
  wxMessageBox(message, text::kAppTitle, wxOK | wxICON_INFORMATION, frame_);
}

void CShadowApp::OnAbout(wxCommandEvent&) {
  CAboutDlg about(frame_);
  about.ShowModal();
}

void CShadowApp::OnPreferences(wxCommandEvent&) {
  // A new set of interfaces has emptied the client list: its buttons follow.
  if (services_->RunPreferences(frame_)) frame_->View()->UpdateClientButtons();
}
