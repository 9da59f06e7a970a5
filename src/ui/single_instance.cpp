#include "ui/single_instance.h"

#include <unistd.h>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/filename.h>
#include <wx/ipc.h>
#include <wx/snglinst.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include "platform/private_folder.h"

namespace {

constexpr const char* kTopic = "kestrelon";
constexpr const char* kRaise = "raise";

class RaiseConnection : public wxConnection {
 public:
  explicit RaiseConnection(std::function<void()> raise) : raise_(std::move(raise)) {}
  bool OnExec(const wxString&, const wxString& command) override {
    if (command != kRaise) return false;
    // Answer the second instance first; bring the window forward from the event loop.
    wxTheApp->CallAfter(raise_);
    return true;
  }

 private:
  std::function<void()> raise_;
};

class RaiseServer : public wxServer {
 public:
  explicit RaiseServer(std::function<void()> raise) : raise_(std::move(raise)) {}
  wxConnectionBase* OnAcceptConnection(const wxString& topic) override {
    return topic == kTopic ? new RaiseConnection(raise_) : nullptr;
  }

 private:
  std::function<void()> raise_;
};

}  // namespace

SingleInstance::SingleInstance(const wxString& folder) : folder_(folder.empty() ? DefaultFolder() : folder) {}

SingleInstance::~SingleInstance() { Release(); }

wxString SingleInstance::DefaultFolder() {
  wxString folder;
  if (wxGetEnv("KESTRELON_INSTANCE_DIR", &folder) && !folder.empty()) return folder;
  if (wxGetEnv("XDG_RUNTIME_DIR", &folder) && !folder.empty()) return folder;
  // A shared temporary folder needs the user in the names to keep users apart.
  return wxFileName::GetTempDir() + wxString::Format("/kestrelon-%lu", static_cast<unsigned long>(::getuid()));
}

wxString SingleInstance::SocketPath() const { return folder_ + "/" + kLockName + ".socket"; }

bool SingleInstance::Claim(std::function<void()> raise_window) {
  wxFileName::Mkdir(folder_, 0700, wxPATH_MKDIR_FULL);
  // A folder another user made (in the shared temporary folder) is not used: its
  // owner could pose as a running instance. The program then runs unguarded;
  // two Controllers still cannot share the control port.
  if (!kestrelon::is_private_folder(folder_.utf8_string())) return true;
  checker_ = std::make_unique<wxSingleInstanceChecker>();
  if (!checker_->Create(kLockName, folder_) || !checker_->IsAnotherRunning()) {
    // First instance: a socket file left by one that crashed is stale.
    ::unlink(SocketPath().utf8_str());
    server_ = std::make_unique<RaiseServer>(std::move(raise_window));
    if (!server_->Create(SocketPath())) server_.reset();
    return true;
  }
  wxClient client;
  std::unique_ptr<wxConnectionBase> connection(client.MakeConnection("localhost", SocketPath(), kTopic));
  if (connection) {
    connection->Execute(kRaise);
    connection->Disconnect();
  }
  checker_.reset();
  return false;
}

void SingleInstance::Release() {
  server_.reset();
  if (checker_) ::unlink(SocketPath().utf8_str());
  checker_.reset();
}

void BringWindowForward(wxTopLevelWindow* window) {
  if (window == nullptr) return;
  if (window->IsIconized()) window->Iconize(false);
  window->Show();
  window->Raise();
  // The last active pop-up: a modal dialog the window is running.
  for (wxWindow* top : wxTopLevelWindows) {
    auto* dialog = dynamic_cast<wxDialog*>(top);
    if (dialog != nullptr && dialog->IsModal() && dialog->GetParent() == window) dialog->Raise();
  }
}
