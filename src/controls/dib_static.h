#pragma once
// A static picture: one embedded picture drawn at its natural size, top left.
#include <wx/window.h>

#include "controls/dib.h"

class CDibStatic : public wxWindow {
 public:
  CDibStatic(wxWindow* parent, wxWindowID id, const wxString& picture, const wxPoint& pos = wxDefaultPosition);
  const CDib& Dib() const { return dib_; }
  bool AcceptsFocus() const override { return false; }

 protected:
  wxSize DoGetBestSize() const override { return dib_.Size(); }

 private:
  void OnPaint(wxPaintEvent&);
  CDib dib_;
};
