#pragma once
// The About box: the logo, the product name, the program's file version and a link
// to the product's web page.
#include <wx/dialog.h>

class CStaticLink;
class CLabelButton;

class CAboutDlg : public wxDialog {
 public:
  explicit CAboutDlg(wxWindow* parent);
  CStaticLink* Link() const { return link_; }
  CLabelButton* Version() const { return version_; }

 private:
  CStaticLink* link_ = nullptr;
  CLabelButton* version_ = nullptr;
};
