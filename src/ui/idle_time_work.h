#pragma once
// Lends the user-interface thread's idle time to the core (expiry of silent
// Clients, the client list refresh). wx also sends idle events inside modal loops
// (message boxes, dialogs), where the classic framework did not: there the work is
// skipped, as it may need the client table lock that a dialog's caller holds. A
// pass never starts inside another one.
#include <functional>
#include <memory>

#include <wx/event.h>

class ModalDepth;

class IdleTimeWork : public wxEvtHandler {
 public:
  explicit IdleTimeWork(std::function<void()> work);
  ~IdleTimeWork() override;

  int Passes() const { return passes_; }
  int ModalDialogsOpen() const;

 private:
  void OnIdle(wxIdleEvent& event);

  std::function<void()> work_;
  std::unique_ptr<ModalDepth> modal_depth_;
  bool running_ = false;
  int passes_ = 0;
};
