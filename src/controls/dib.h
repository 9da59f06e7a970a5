#pragma once
// A picture of the program's own artwork, drawn into a window. Palette handling for
// 256-colour displays is left out: every display wx runs on today is true colour.
#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/gdicmn.h>

class CDib {
 public:
  // Loads the embedded picture named `name` (case does not matter).
  bool Load(const wxString& name);
  bool Attach(const wxBitmap& bitmap);
  void Delete() { bitmap_ = wxBitmap(); }
  bool IsLoaded() const { return bitmap_.IsOk(); }
  wxSize Size() const { return bitmap_.IsOk() ? bitmap_.GetSize() : wxSize(0, 0); }
  const wxBitmap& Bitmap() const { return bitmap_; }

  // Draws the source part (whole picture by default) into the destination (the
  // source's own place by default), stretching when their sizes differ.
  bool Draw(wxDC& dc, const wxRect* destination = nullptr, const wxRect* source = nullptr) const;

 private:
  wxBitmap bitmap_;
};

// The embedded picture `name` as a bitmap; not Ok when there is none.
wxBitmap LoadResourceBitmap(const wxString& name);
