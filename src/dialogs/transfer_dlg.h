#pragma once
// The Transfer dialog of a Copy: starts the copy when it opens, shows its progress
// every 333 ms and ends only through its cancel path (the Cancel button, Escape,
// the engine when every target is done or no acknowledging Client is left, the
// supervision). The rules live in CopyTransfer; this window runs the modal loop
// and the refresh timer and shows the texts.
#include <memory>

#include <wx/dialog.h>
#include <wx/timer.h>

#include "dialogs/progress_controls.h"

namespace kestrelon {
class CopyTransfer;
}

class CTransferDlg : public wxDialog {
 public:
  static constexpr int kTemplateId = 137;

  CTransferDlg(wxWindow* parent, kestrelon::CopyTransfer& transfer);
  ~CTransferDlg() override;

  const ProgressControls& Controls() const { return controls_; }

 private:
  void Open();
  void Refresh();
  void Cancel();
  // The cancel path's end of the window, once the copy has been told to stop.
  void EndWindow();

  kestrelon::CopyTransfer& transfer_;
  ProgressControls controls_;
  wxTimer refresh_timer_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
