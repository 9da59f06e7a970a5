#include "dialogs/splash_dlg.h"

#include <wx/sizer.h>

#include "controls/dib_static.h"
#include "controls/label_button.h"
#include "ui/strings.h"

CSplashDlg::CSplashDlg(wxWindow* parent, int show_milliseconds)
    : wxDialog(parent, 159, kestrelon::text::kAppTitle, wxDefaultPosition, wxDefaultSize, wxBORDER_SIMPLE),
      close_timer_(this),
      show_milliseconds_(show_milliseconds) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(new CDibStatic(this, wxID_ANY, "LOGO"), 0, wxALL, 8);
  auto* version = new CLabelButton(this, wxID_ANY, wxString("Version ") + kestrelon::text::kFileVersion,
                                   wxDefaultPosition, wxSize(251, 18));
  version->SetBackgroundColour(GetBackgroundColour());
  column->Add(version, 0, wxLEFT | wxRIGHT | wxBOTTOM, 8);
  SetSizerAndFit(column);
  Centre();
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
    if (IsModal()) EndModal(wxID_OK);
  });
}

int CSplashDlg::ShowModal() {
  close_timer_.StartOnce(show_milliseconds_);
  return wxDialog::ShowModal();
}
