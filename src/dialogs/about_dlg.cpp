#include "dialogs/about_dlg.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "controls/dib_static.h"
#include "controls/label_button.h"
#include "controls/static_link.h"
#include "ui/command_ids.h"
#include "ui/strings.h"

namespace ids = kestrelon::ids;
namespace text = kestrelon::text;

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, 100, wxString("About ") + text::kAppTitle, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(new CDibStatic(this, wxID_ANY, "LOGO"), 0, wxALL | wxALIGN_CENTRE_HORIZONTAL, 10);

  auto* name = new wxStaticText(this, wxID_ANY, text::kAppTitle);
  wxFont bold = name->GetFont();
  bold.MakeBold().MakeLarger();
  name->SetFont(bold);
  column->Add(name, 0, wxLEFT | wxRIGHT | wxALIGN_CENTRE_HORIZONTAL, 10);

  version_ = new CLabelButton(this, ids::kAboutVersion, wxString("Version ") + text::kFileVersion, wxDefaultPosition,
                              wxSize(251, 20));
  version_->SetMode(CLabelButton::kWrapped);
  version_->SetBackgroundColour(GetBackgroundColour());
  column->Add(version_, 0, wxALL | wxALIGN_CENTRE_HORIZONTAL, 6);

  column->Add(new wxStaticText(this, wxID_ANY, "Controller of the Kestrelon network disk-imaging system."), 0,
              wxLEFT | wxRIGHT | wxALIGN_CENTRE_HORIZONTAL, 10);
  link_ = new CStaticLink(this, ids::kAboutLink, text::kWebAddress);
  column->Add(link_, 0, wxALL | wxALIGN_CENTRE_HORIZONTAL, 10);
  column->Add(new wxButton(this, wxID_OK, "OK"), 0, wxBOTTOM | wxALIGN_CENTRE_HORIZONTAL, 10);
  SetSizerAndFit(column);
  CentreOnParent();
}
