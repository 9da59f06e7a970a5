#include "controls/static_link.h"

#include <wx/dcclient.h>
#include <wx/utils.h>

const wxColour CStaticLink::kUnvisited(0, 0, 255);
const wxColour CStaticLink::kVisited(128, 0, 128);

bool OpenWithDesktop(const wxString& target) {
  if (target.Contains("://") || target.StartsWith("mailto:")) return wxLaunchDefaultBrowser(target);
  return wxLaunchDefaultApplication(target);
}

CStaticLink::CStaticLink(wxWindow* parent, wxWindowID id, const wxString& text, const wxPoint& pos,
                         const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE, wxDefaultValidator, text),
      opener_(OpenWithDesktop),
      beeper_([] { wxBell(); }) {
  wxControl::SetLabel(text);
  wxFont font = GetFont();
  font.SetUnderlined(true);
  SetFont(font);
  SetCursor(wxCursor(wxCURSOR_HAND));
  Bind(wxEVT_PAINT, &CStaticLink::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) { Follow(); });
  if (size == wxDefaultSize) SetSize(DoGetBestSize());
}

void CStaticLink::SetPicture(const wxString& picture) {
  picture_.Load(picture);
  SetSize(DoGetBestSize());
  Refresh();
}

wxSize CStaticLink::DoGetBestSize() const {
  if (picture_.IsLoaded()) return picture_.Size();
  wxClientDC dc(const_cast<CStaticLink*>(this));
  dc.SetFont(GetFont());
  return dc.GetTextExtent(GetLabel());
}

void CStaticLink::Follow() {
  if (link_.empty()) link_ = GetLabel();
  if (!opener_(link_)) {
    beeper_();
    return;
  }
  visited_ = true;
  Refresh(true);
}

void CStaticLink::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  if (picture_.IsLoaded()) {
    picture_.Draw(dc);
    return;
  }
  dc.SetFont(GetFont());
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  dc.SetTextForeground(TextColour());
  dc.DrawText(GetLabel(), 0, 0);
}
