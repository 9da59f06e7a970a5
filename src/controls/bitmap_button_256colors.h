#pragma once
// A push button painted entirely with pictures: up, pressed, focused and disabled,
// found by the button's caption ("Copy" finds COPYU, COPYD, COPYF, COPYX), and sized
// to its up picture. Without an up picture it draws a plain button with its caption.
#include <wx/control.h>

#include "controls/dib.h"
#include "model/button_face.h"

class CBitmapButton256colors : public wxControl {
 public:
  CBitmapButton256colors(wxWindow* parent, wxWindowID id, const wxString& caption,
                         const wxPoint& pos = wxDefaultPosition, const wxSize& size = wxSize(80, 32));

  // Loads the named pictures (empty names are skipped); true only when every
  // named picture loaded. The up picture is required: without it nothing else is
  // loaded.
  bool LoadBitmaps(const wxString& up, const wxString& down = {}, const wxString& focused = {},
                   const wxString& disabled = {});

  // Loads caption + "U", "D", "F", "X" and takes the up picture's size without
  // moving. False when there is no up picture.
  bool AttachCaption();

  // The picture the button shows now.
  kestrelon::ButtonFace CurrentFace() const;
  bool IsPressed() const { return pressed_; }

  bool Enable(bool enable = true) override;
  bool AcceptsFocus() const override { return true; }

 protected:
  wxSize DoGetBestSize() const override;

 private:
  void OnPaint(wxPaintEvent&);
  void OnLeftDown(wxMouseEvent&);
  void OnLeftUp(wxMouseEvent&);
  void OnMotion(wxMouseEvent&);
  void OnCaptureLost(wxMouseCaptureLostEvent&);
  void OnKeyDown(wxKeyEvent&);
  void OnKeyUp(wxKeyEvent&);
  void OnFocus(wxFocusEvent&);
  void SetPressed(bool pressed);
  void Click();

  CDib up_, down_, focused_, disabled_;
  bool pressed_ = false;
  bool tracking_ = false;
};
