#include "dialogs/wx_group_port.h"

#include <wx/msgdlg.h>

#include "ui/strings.h"

void WxGroupPort::show_message(const std::string& text) {
  wxMessageBox(wxString::FromUTF8(text), kestrelon::text::kAppTitle, wxOK, parent_);
}

bool WxGroupPort::ask_yes_no(const std::string& text) {
  return wxMessageBox(wxString::FromUTF8(text), kestrelon::text::kAppTitle, wxYES_NO, parent_) == wxYES;
}
