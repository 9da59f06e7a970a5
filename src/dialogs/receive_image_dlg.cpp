#include "dialogs/receive_image_dlg.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/msgdlg.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "commands/image_description.h"
#include "model/dialog_units.h"

namespace {

constexpr int kSliderStart = 9;

wxPoint At(int x, int y) { return {kestrelon::dialog_units_to_x(x), kestrelon::dialog_units_to_y(y)}; }
wxSize Size(int w, int h) { return {kestrelon::dialog_units_to_x(w), kestrelon::dialog_units_to_y(h)}; }

void Field(wxWindow* parent, const wxString& label, int id, const std::string& value, int y) {
  new wxStaticText(parent, wxID_ANY, label, At(7, y), Size(72, 8));
  new wxStaticText(parent, id, wxControl::EscapeMnemonics(wxString::FromUTF8(value)), At(82, y), Size(161, 8),
                   wxST_NO_AUTORESIZE);
}

}  // namespace

CReceiveImageDlg::CReceiveImageDlg(wxWindow* parent, const kestrelon::ReceiveImageInfo& info)
    : wxDialog(parent, kTemplateId, "Receiving Disk Image") {
  // The dialog's geometry is in pixels of the classic 8-point dialog font.
  SetFont(wxFont(wxFontInfo(8)));
  SetClientSize(Size(250, 189));

  Field(this, "Client Name:", kClientName, info.client_name, 7);
  Field(this, "Client IP Address:", kClientAddress, info.address_text, 19);
  Field(this, "Size of Disk Image:", kImageSize, info.size_text, 31);

  new wxStaticText(this, wxID_ANY, "File Description:", At(7, 46), Size(100, 8));
  description_ = new wxTextCtrl(this, kDescription, wxEmptyString, At(7, 56), Size(236, 62), wxTE_MULTILINE);
  // A multi-line control has no length limit of its own here: longer text is cut back.
  description_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
    const wxString text = description_->GetValue();
    if (text.length() <= kestrelon::CreateFlow::kDescriptionLimit) return;
    const long at = description_->GetInsertionPoint();
    description_->ChangeValue(text.Left(kestrelon::CreateFlow::kDescriptionLimit));
    description_->SetInsertionPoint(std::min<long>(at, kestrelon::CreateFlow::kDescriptionLimit));
  });

  new wxStaticBox(this, wxID_ANY, "Compression", At(7, 123), Size(236, 40));
  compression_ = new wxSlider(this, kCompression, kSliderStart, 0, 9, At(14, 132), Size(222, 18), wxSL_HORIZONTAL);
  new wxStaticText(this, wxID_ANY, "None", At(14, 151), Size(40, 8));
  new wxStaticText(this, wxID_ANY, "Maximum", At(196, 151), Size(40, 8), wxALIGN_RIGHT | wxST_NO_AUTORESIZE);

  auto* receive = new wxButton(this, wxID_OK, "Receive Image", At(64, 169), Size(56, 14));
  new wxButton(this, wxID_CANCEL, "Cancel", At(130, 169), Size(56, 14));
  receive->SetDefault();
  Bind(wxEVT_BUTTON, &CReceiveImageDlg::OnReceive, this, wxID_OK);
  CentreOnParent();
}

void CReceiveImageDlg::OnReceive(wxCommandEvent&) {
  choice_.description = description_->GetValue().utf8_string();
  // Refused here, with the text still in the box to be shortened.
  if (const std::string problem = kestrelon::description_problem(choice_.description); !problem.empty()) {
    wxMessageBox(wxString::FromUTF8(problem), GetTitle(), wxOK | wxICON_WARNING, this);
    return;
  }
  choice_.compression_position = compression_->GetValue();
  EndModal(wxID_OK);
}
