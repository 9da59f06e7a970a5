#pragma once
// The Receiving dialog of a Create: shows the upload's progress every 333 ms
// until the Create supervision ends it (OK when the image ended, Cancel on
// silence or a full disk) or the user presses Cancel. The receive engine reaches
// it only through its hooks, which store and never touch the window.
#include <atomic>
#include <cstdint>

#include <wx/dialog.h>
#include <wx/timer.h>

#include "commands/receiving_dialog.h"
#include "dialogs/progress_controls.h"

namespace kestrelon {
struct TransferStats;
}

class CReceivingDlg : public wxDialog, public kestrelon::ReceivingDialog {
 public:
  static constexpr int kTemplateId = 147;

  CReceivingDlg(wxWindow* parent, const kestrelon::ReceivingDialogInfo& info, const kestrelon::TransferStats& stats);
  ~CReceivingDlg() override;

  // Receive thread: stored for the next refresh.
  void set_progress_range(int, int high) override { range_high_.store(high); }
  void set_position(std::int32_t position) override { position_.store(position); }
  // User-interface thread (the supervision).
  void end_with_ok() override { Finish(wxID_OK); }
  void end_with_cancel() override { Finish(wxID_CANCEL); }
  End run_modal() override;

  const ProgressControls& Controls() const { return controls_; }

 private:
  void Refresh();
  void Finish(int result);

  kestrelon::ReceivingDialogInfo info_;
  const kestrelon::TransferStats& stats_;
  ProgressControls controls_;
  wxTimer refresh_timer_;
  std::int64_t start_seconds_ = 0;
  kestrelon::RefreshGate gate_;
  std::atomic<std::int32_t> position_{-1};
  std::atomic<int> range_high_{0};
};
