#pragma once
// Text widths for the window-free text rules, measured in a device context's font.
#include <wx/dc.h>

#include "model/ellipsis.h"

namespace kestrelon {

inline TextMeasure dc_text_measure(const wxDC& dc) {
  return [&dc](std::string_view text) {
    return dc.GetTextExtent(wxString::FromUTF8(text.data(), text.size())).GetWidth();
  };
}

}  // namespace kestrelon
