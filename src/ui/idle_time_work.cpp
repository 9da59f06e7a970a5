#include "ui/idle_time_work.h"

#include <wx/app.h>
#include <wx/modalhook.h>

// Counts the modal dialogs that are open, message boxes included.
class ModalDepth : public wxModalDialogHook {
 public:
  ModalDepth() { Register(); }
  ~ModalDepth() override { Unregister(); }
  int depth = 0;

 protected:
  int Enter(wxDialog*) override {
    ++depth;
    return wxID_NONE;
  }
  void Exit(wxDialog*) override { --depth; }
};

IdleTimeWork::IdleTimeWork(std::function<void()> work)
    : work_(std::move(work)), modal_depth_(std::make_unique<ModalDepth>()) {
  wxTheApp->Bind(wxEVT_IDLE, &IdleTimeWork::OnIdle, this);
}

IdleTimeWork::~IdleTimeWork() {
  if (wxTheApp != nullptr) wxTheApp->Unbind(wxEVT_IDLE, &IdleTimeWork::OnIdle, this);
}

int IdleTimeWork::ModalDialogsOpen() const { return modal_depth_->depth; }

void IdleTimeWork::OnIdle(wxIdleEvent& event) {
  event.Skip();
  if (running_ || modal_depth_->depth > 0) return;
  running_ = true;
  ++passes_;
  work_();
  running_ = false;
}
