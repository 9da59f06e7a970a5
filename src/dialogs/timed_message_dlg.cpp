#include "dialogs/timed_message_dlg.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

#include "model/dialog_units.h"

using kestrelon::dialog_rect;

CTimedMessageDlg::CTimedMessageDlg(wxWindow* parent, const wxString& text, int timer_id)
    : wxDialog(parent, kTemplateId, wxEmptyString, wxDefaultPosition, wxDefaultSize, wxBORDER_RAISED),
      countdown_(timer_id),
      timer_(this, timer_id) {
  SetFont(wxFont(wxFontInfo(8)));
  auto* message = new wxStaticText(this, kText, "...", wxDefaultPosition, wxDefaultSize,
                                   wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
  message->SetLabelText(text);
  // The text in the middle of the box, both ways.
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->AddStretchSpacer();
  column->Add(message, 0, wxEXPAND | wxLEFT | wxRIGHT, kestrelon::dialog_units_to_x(7));
  column->AddStretchSpacer();
  SetSizer(column);
  const auto client = dialog_rect(0, 0, 186, 40);
  SetClientSize(client.width, client.height);
  Layout();
  CentreOnParent();
  // No buttons are shown; Enter and Escape still close it, as they would press them.
  Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER || key == WXK_ESCAPE)
      EndModal(key == WXK_ESCAPE ? wxID_CANCEL : wxID_OK);
    else
      event.Skip();
  });
  Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent&) {
    timer_.Start(kestrelon::TimedMessage::kTickPeriodMs);
    countdown_.start(kestrelon::tick_count());
  });
  Bind(wxEVT_TIMER, &CTimedMessageDlg::OnTimer, this);
}

CTimedMessageDlg::~CTimedMessageDlg() { timer_.Stop(); }

wxString CTimedMessageDlg::Text() const { return static_cast<wxStaticText*>(FindWindow(kText))->GetLabelText(); }

void CTimedMessageDlg::OnTimer(wxTimerEvent& event) {
  if (!countdown_.closes_at(event.GetId(), kestrelon::tick_count())) return;
  timer_.Stop();
  if (IsModal()) EndModal(wxID_CANCEL);
}
