#include "controls/dib_static.h"

#include <wx/dcclient.h>

CDibStatic::CDibStatic(wxWindow* parent, wxWindowID id, const wxString& picture, const wxPoint& pos)
    : wxWindow(parent, id, pos, wxDefaultSize, wxBORDER_NONE) {
  dib_.Load(picture);
  SetSize(dib_.Size());
  SetMinSize(dib_.Size());
  Bind(wxEVT_PAINT, &CDibStatic::OnPaint, this);
}

void CDibStatic::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  dib_.Draw(dc);
}
