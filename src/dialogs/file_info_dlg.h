#pragma once
// Shows one image file's name, size and description.
#include <wx/dialog.h>

class wxTextCtrl;

class CFileInfoDlg : public wxDialog {
 public:
  // `text` is the file information text, lines separated by "\r\n".
  CFileInfoDlg(wxWindow* parent, const wxString& text);
  wxTextCtrl* TextCtrl() const { return edit_; }

 private:
  wxTextCtrl* edit_ = nullptr;
};
