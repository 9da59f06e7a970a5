#include "dialogs/progress_controls.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/stattext.h>

#include "model/dialog_units.h"
#include "model/shown_text.h"
#include "transfer/transfer_stats.h"

namespace ids = kestrelon::progress_ids;

namespace {

wxStaticText* Label(wxWindow* parent, int id, const wxString& text, int x, int y, int w, long align = wxALIGN_LEFT) {
  const auto r = kestrelon::dialog_rect(x, y, w, 8);
  // File and Client names may hold "&", which is no mnemonic here.
  return new wxStaticText(parent, id, wxControl::EscapeMnemonics(text), wxPoint(r.x, r.y), wxSize(r.width, r.height),
                          align | wxST_NO_AUTORESIZE);
}

// Sets a text only when it differs: a label set to its own text still repaints.
void Put(wxWindow* window, const std::string& text) {
  auto* label = static_cast<wxStaticText*>(window);
  const wxString value = wxString::FromUTF8(kestrelon::shown_text(text));
  if (label->GetLabelText() != value) label->SetLabelText(value);
}

}  // namespace

ProgressControls::ProgressControls(wxDialog* dialog, const wxString& heading, const wxString& client_label,
                                   const wxString& file, const wxString& client)
    : dialog_(dialog) {
  // The dialog's geometry is in pixels of the classic 8-point dialog font.
  dialog->SetFont(wxFont(wxFontInfo(8)));
  const auto size = kestrelon::dialog_rect(0, 0, 255, 145);
  dialog->SetClientSize(size.width, size.height);

  Label(dialog, wxID_ANY, heading, 7, 7, 241);
  Label(dialog, ids::kFile, file, 14, 18, 234);
  Label(dialog, wxID_ANY, "Transfer Rate:", 7, 31, 60);
  Label(dialog, ids::kRate, wxEmptyString, 70, 31, 100);
  Label(dialog, ids::kPercentage, "100%", 200, 31, 48, wxALIGN_RIGHT);
  const auto bar = kestrelon::dialog_rect(7, 42, 241, 12);
  bar_ = new wxGauge(dialog, ids::kBar, kestrelon::kProgressRange, wxPoint(bar.x, bar.y),
                     wxSize(bar.width, bar.height), wxGA_HORIZONTAL | wxGA_SMOOTH);
  Label(dialog, wxID_ANY, client_label, 7, 61, 80);
  Label(dialog, ids::kClient, client, 90, 61, 158);
  Label(dialog, wxID_ANY, "Time Elapsed:", 7, 74, 80);
  Label(dialog, ids::kElapsed, "00:00:00", 90, 74, 60);
  Label(dialog, wxID_ANY, "Time Left:", 7, 85, 80);
  Label(dialog, ids::kTimeLeft, "00:00:00", 90, 85, 60);
  Label(dialog, wxID_ANY, "Number of Acknowledgements:", 7, 98, 130);
  Label(dialog, ids::kAcknowledgements, "0", 140, 98, 60);
  Label(dialog, wxID_ANY, "Number of Retries:", 7, 109, 130);
  Label(dialog, ids::kRetries, "0", 140, 109, 60);
  const auto cancel = kestrelon::dialog_rect(102, 124, 50, 14);
  new wxButton(dialog, wxID_CANCEL, "Cancel", wxPoint(cancel.x, cancel.y), wxSize(cancel.width, cancel.height));

  // Enter would end the dialog with OK: a Copy would be left half done, a Create
  // would throw its upload away. A transfer of many minutes is not ended by a key
  // pressed by accident; Escape and the Cancel button remain.
  dialog->Bind(wxEVT_CHAR_HOOK, [](wxKeyEvent& event) {
    if (event.GetKeyCode() != WXK_RETURN && event.GetKeyCode() != WXK_NUMPAD_ENTER) event.Skip();
  });
}

void ProgressControls::Show(const kestrelon::RefreshTexts& texts, int range_high) {
  if (range_high > 0 && bar_->GetRange() != range_high) bar_->SetRange(range_high);
  bar_->SetValue(std::clamp(texts.bar_position, 0, bar_->GetRange()));
  const std::pair<int, const std::string*> fields[] = {
      {ids::kElapsed, &texts.elapsed},     {ids::kFile, &texts.file},
      {ids::kPercentage, &texts.percentage}, {ids::kTimeLeft, &texts.time_left},
      {ids::kRate, &texts.rate},           {ids::kAcknowledgements, &texts.acknowledgements},
      {ids::kRetries, &texts.retries},     {ids::kClient, &texts.client}};
  for (const auto& [id, text] : fields) Put(dialog_->FindWindow(id), *text);
}

wxString ProgressControls::Text(int id) const {
  const auto* label = dynamic_cast<const wxStaticText*>(dialog_->FindWindow(id));
  return label ? label->GetLabelText() : wxString();
}
