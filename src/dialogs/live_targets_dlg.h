#pragma once
// The live per-PC table beside the Transfer dialog while a copy runs: each
// target's step (start sent, ready, copied, failed) and what was last heard
// from it, redrawn every 333 ms when it changed. It is a child of the Transfer
// dialog, so it stays usable beside that modal dialog and goes with it; the
// Transfer dialog itself is left as it is. LiveTargetRows holds the rules.
#include <wx/dialog.h>
#include <wx/timer.h>

#include "commands/live_target_rows.h"
#include "transfer/copy_target_report.h"

class wxListCtrl;

class CLiveTargetsDlg : public wxDialog {
 public:
  CLiveTargetsDlg(wxWindow* transfer_dialog, const kestrelon::CopyTargetReport& report);

  // Redraws from the report now (the timer does it every 333 ms).
  void Refresh333();
  const kestrelon::LiveTargetRows& rows() const { return rows_; }

 private:
  const kestrelon::CopyTargetReport& report_;
  kestrelon::LiveTargetRows rows_;
  wxListCtrl* list_ = nullptr;
  wxTimer timer_;
};
