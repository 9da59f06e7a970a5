#include "controls/dib.h"

#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/mstream.h>

#include "controls/embedded_resources.h"

wxBitmap LoadResourceBitmap(const wxString& name) {
  const auto bytes = kestrelon::res::find_resource(name.utf8_string());
  if (bytes.empty()) return {};
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxImage::AddHandler(new wxPNGHandler);
  wxMemoryInputStream stream(bytes.data(), bytes.size());
  wxImage image(stream, wxBITMAP_TYPE_PNG);
  if (!image.IsOk()) return {};
  return wxBitmap(image);
}

bool CDib::Load(const wxString& name) { return Attach(LoadResourceBitmap(name)); }

bool CDib::Attach(const wxBitmap& bitmap) {
  if (!bitmap.IsOk()) return false;
  bitmap_ = bitmap;
  return true;
}

bool CDib::Draw(wxDC& dc, const wxRect* destination, const wxRect* source) const {
  if (!bitmap_.IsOk()) return false;
  const wxRect src = source ? *source : wxRect(wxPoint(0, 0), bitmap_.GetSize());
  const wxRect dst = destination ? *destination : src;
  if (src == wxRect(wxPoint(0, 0), bitmap_.GetSize()) && dst.GetSize() == src.GetSize()) {
    dc.DrawBitmap(bitmap_, dst.GetPosition(), true);
    return true;
  }
  wxMemoryDC memory;
  memory.SelectObjectAsSource(bitmap_);
  bool ok;
  if (dst.GetSize() == src.GetSize())
    ok = dc.Blit(dst.GetPosition(), dst.GetSize(), &memory, src.GetPosition(), wxCOPY, true);
  else
    ok = dc.StretchBlit(dst.GetPosition(), dst.GetSize(), &memory, src.GetPosition(), src.GetSize(), wxCOPY, true);
  memory.SelectObject(wxNullBitmap);
  return ok;
}
