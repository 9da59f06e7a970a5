#include "controls/label_button.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/settings.h>

#include "controls/wx_text_measure.h"
#include "model/text_wrap.h"

CLabelButton::CLabelButton(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                           const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE, wxDefaultValidator, caption),
      background_(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)) {
  wxControl::SetLabel(caption);
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CLabelButton::OnPaint, this);
  Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
    Refresh();
    e.Skip();
  });
  for (auto type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_RIGHT_DOWN, wxEVT_RIGHT_UP,
                    wxEVT_RIGHT_DCLICK})
    Bind(type, &CLabelButton::Swallow, this);
}

void CLabelButton::SetMode(int mode) {
  mode_ = mode;
  background_ = *wxWHITE;
  Refresh();
}

void CLabelButton::SetLabel(const wxString& label) {
  wxControl::SetLabel(label);
  Refresh();
}

wxString CLabelButton::DisplayedText() const {
  if (mode_ != kOneLine) return GetLabel();
  wxClientDC dc(const_cast<CLabelButton*>(this));
  dc.SetFont(GetFont());
  return wxString::FromUTF8(
      kestrelon::label_ellipsis(GetLabel().utf8_string(), GetClientSize().GetWidth(), kestrelon::dc_text_measure(dc)));
}

void CLabelButton::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxRect area = GetClientRect();
  dc.SetBrush(wxBrush(background_));
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.DrawRectangle(area);
  dc.SetFont(GetFont());
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.SetTextForeground(GetForegroundColour());
  const auto measure = kestrelon::dc_text_measure(dc);
  if (mode_ == kOneLine) {
    const wxString text =
        wxString::FromUTF8(kestrelon::label_ellipsis(GetLabel().utf8_string(), area.GetWidth(), measure));
    dc.DrawLabel(text, area, wxALIGN_LEFT | wxALIGN_CENTRE_VERTICAL);
  } else if (mode_ == kWrapped) {
    int y = area.GetTop();
    const int line_height = dc.GetCharHeight();
    for (const auto& line : kestrelon::wrap_words(GetLabel().utf8_string(), area.GetWidth(), measure)) {
      dc.DrawText(wxString::FromUTF8(line), area.GetLeft(), y);
      y += line_height;
    }
  }
}
