#pragma once
// One Controller per user. The first instance holds a lock file and listens on a
// local socket beside it; a later start finds the lock, asks the first instance
// over that socket to bring its window forward, and ends.
#include <functional>
#include <memory>

#include <wx/ipc.h>
#include <wx/string.h>

class wxSingleInstanceChecker;


class SingleInstance {
 public:
  static constexpr const char* kLockName = "PreventSecondInstance";

  // `folder`: where the lock and the socket live; empty picks the default
  // ($KESTRELON_INSTANCE_DIR, else $XDG_RUNTIME_DIR, else the temporary folder).
  explicit SingleInstance(const wxString& folder = {});
  ~SingleInstance();

  // True when no other instance runs; the caller is then the first and listens for
  // raise requests, which run `raise_window` on the user-interface thread. False
  // when another runs: it has been asked to come forward.
  bool Claim(std::function<void()> raise_window);

  // Gives the lock up (before this process is replaced by another program).
  void Release();

  static wxString DefaultFolder();
  wxString SocketPath() const;

 private:
  wxString folder_;
  std::unique_ptr<wxSingleInstanceChecker> checker_;
  std::unique_ptr<wxServer> server_;
};

// Brings a top-level window forward: restored when minimised, raised, and any
// modal dialog it runs raised above it.
class wxTopLevelWindow;
void BringWindowForward(wxTopLevelWindow* window);
