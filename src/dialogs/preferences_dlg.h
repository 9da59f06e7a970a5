#pragma once
// Options > Preferences...: the interfaces that take part in broadcasts and the
// three options that travel with every transfer. The rules are
// kestrelon::Preferences'; this window shows them. OK stays open with a message
// when no interface would be left; Cancel changes nothing.
#include <wx/dialog.h>

#include "commands/preferences.h"

class CCheckListCtrl;
class wxCheckBox;

class CPreferencesDlg : public wxDialog {
 public:
  CPreferencesDlg(wxWindow* parent, kestrelon::ControllerCore& core);
  ~CPreferencesDlg() override;

  kestrelon::Preferences& Rules() { return rules_; }
  CCheckListCtrl* Interfaces() const { return interfaces_; }

 private:
  void OnOk(wxCommandEvent& event);

  kestrelon::Preferences rules_;
  CCheckListCtrl* interfaces_ = nullptr;
};
