#pragma once
// A button that is only a label: it shows its caption as text, on one line
// shortened with "..." (mode 1) or word-wrapped (mode 0), and ignores the mouse.
#include <wx/control.h>

class CLabelButton : public wxControl {
 public:
  static constexpr int kOneLine = 1;
  static constexpr int kWrapped = 0;

  CLabelButton(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos = wxDefaultPosition,
               const wxSize& size = wxDefaultSize);

  // Changes the text mode and paints the background white from now on.
  void SetMode(int mode);
  int Mode() const { return mode_; }

  // The text as drawn at the current width (one-line mode: possibly shortened).
  wxString DisplayedText() const;

  void SetLabel(const wxString& label) override;
  bool AcceptsFocus() const override { return false; }

 private:
  void OnPaint(wxPaintEvent&);
  void Swallow(wxMouseEvent&) {}

  wxColour background_;
  int mode_ = kOneLine;
};
