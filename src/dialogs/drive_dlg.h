#pragma once
// The drive and partition dialog: one Client's drives, with a check on the drive
// that Copy writes to and Create reads from, and the partitions of the
// highlighted drive. The rules are kestrelon::DriveChoice's; this window shows
// them. The caller holds the client table lock while the dialog exists.
#include <wx/dialog.h>

#include "model/drive_choice.h"

class CCheckListCtrl;

class CDriveDlg : public wxDialog {
 public:
  CDriveDlg(wxWindow* parent, const kestrelon::ClientRecord& client, kestrelon::ClientRegistry& registry);
  ~CDriveDlg() override;

  // After OK: the index of the checked drive.
  int Result() const { return result_; }

  CCheckListCtrl* Drives() const { return drives_; }
  CCheckListCtrl* Partitions() const { return partitions_; }
  kestrelon::DriveChoice& Choice() { return choice_; }

 private:
  void OnOk(wxCommandEvent& event);

  kestrelon::DriveChoice choice_;
  CCheckListCtrl* drives_ = nullptr;
  CCheckListCtrl* partitions_ = nullptr;
  int result_ = -1;
};
