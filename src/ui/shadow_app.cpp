#include "ui/shadow_app.h"

#include <wx/msgdlg.h>

#include "dialogs/about_dlg.h"
#include "dialogs/splash_dlg.h"
#include "platform/program_exec.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"
#include "ui/single_instance.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;

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

  {
    CSplashDlg splash(nullptr);
    splash.ShowModal();
  }

  frame_ = new CMainFrame(*this);
  frame_->View()->InitialUpdate();
  frame_->Centre();
  frame_->Show();
  SetTopWindow(frame_);

  Bind(wxEVT_MENU, &CShadowApp::OnClientBuilder, this, ids::kFileClientBuilder);
  Bind(wxEVT_MENU, &CShadowApp::OnAbout, this, ids::kAppAbout);
  return true;
}

int CShadowApp::OnExit() {
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

std::optional<std::string> CShadowApp::ReadSetting(const std::string&) { return std::nullopt; }
void CShadowApp::WriteSetting(const std::string&, const std::string&) {}
bool CShadowApp::TransferDialogOpen() { return false; }
void CShadowApp::PeriodicDiscovery() {}
void CShadowApp::TransferWatch() {}
void CShadowApp::Rediscover() {}
