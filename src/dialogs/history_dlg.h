#pragma once
// The History window: the transfers of the journal, newest first; for the one
// chosen, each PC with its outcome and what else is known (woken, booted, the
// reason it failed); and "Check the failed Clients", which checks in the main
// list those of the chosen Copy that did not finish and closes, so that Copy
// tries them again. HistoryView holds every rule; this only shows it.
#include <string>

#include <wx/dialog.h>

#include "app/controller_core.h"
#include "commands/history_view.h"

class wxButton;
class wxListCtrl;

class CHistoryDlg : public wxDialog {
 public:
  CHistoryDlg(wxWindow* parent, kestrelon::ControllerCore& core);

  // The image of the Copy whose failed Clients were checked; empty otherwise.
  const std::string& retry_image() const { return retry_image_; }

 private:
  void ShowPcs(int transfer);
  void OnCheckFailed();
  int Selected() const;

  kestrelon::ControllerCore& core_;
  kestrelon::HistoryView view_;
  wxListCtrl* transfers_ = nullptr;
  wxListCtrl* pcs_ = nullptr;
  wxButton* check_failed_ = nullptr;
  std::string retry_image_;
};
