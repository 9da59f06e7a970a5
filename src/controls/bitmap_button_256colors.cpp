#include "controls/bitmap_button_256colors.h"

#include <wx/dcbuffer.h>
#include <wx/renderer.h>

using kestrelon::ButtonFace;

CBitmapButton256colors::CBitmapButton256colors(wxWindow* parent, wxWindowID id, const wxString& caption,
                                               const wxPoint& pos, const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE, wxDefaultValidator, caption) {
  SetLabel(caption);
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &CBitmapButton256colors::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, &CBitmapButton256colors::OnLeftDown, this);
  Bind(wxEVT_LEFT_DCLICK, &CBitmapButton256colors::OnLeftDown, this);
  Bind(wxEVT_LEFT_UP, &CBitmapButton256colors::OnLeftUp, this);
  Bind(wxEVT_MOTION, &CBitmapButton256colors::OnMotion, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, &CBitmapButton256colors::OnCaptureLost, this);
  Bind(wxEVT_KEY_DOWN, &CBitmapButton256colors::OnKeyDown, this);
  Bind(wxEVT_KEY_UP, &CBitmapButton256colors::OnKeyUp, this);
  Bind(wxEVT_SET_FOCUS, &CBitmapButton256colors::OnFocus, this);
  Bind(wxEVT_KILL_FOCUS, &CBitmapButton256colors::OnFocus, this);
}

bool CBitmapButton256colors::LoadBitmaps(const wxString& up, const wxString& down, const wxString& focused,
                                         const wxString& disabled) {
  up_.Delete();
  down_.Delete();
  focused_.Delete();
  disabled_.Delete();
  if (!up_.Load(up)) return false;
  bool all = true;
  if (!down.empty()) all = down_.Load(down) && all;
  if (!focused.empty()) all = focused_.Load(focused) && all;
  if (!disabled.empty()) all = disabled_.Load(disabled) && all;
  Refresh();
  return all;
}

bool CBitmapButton256colors::AttachCaption() {
  const wxString caption = GetLabel();
  LoadBitmaps(caption + "U", caption + "D", caption + "F", caption + "X");
  if (!up_.IsLoaded()) return false;
  SetSize(up_.Size());
  SetMinSize(up_.Size());
  return true;
}

ButtonFace CBitmapButton256colors::CurrentFace() const {
  const kestrelon::ButtonState state{pressed_, HasFocus(), !IsThisEnabled()};
  return kestrelon::choose_button_face(state, {down_.IsLoaded(), focused_.IsLoaded(), disabled_.IsLoaded()});
}

bool CBitmapButton256colors::Enable(bool enable) {
  const bool changed = wxControl::Enable(enable);
  if (!enable) SetPressed(false);
  Refresh();
  return changed;
}

wxSize CBitmapButton256colors::DoGetBestSize() const {
  return up_.IsLoaded() ? up_.Size() : wxSize(80, 32);
}

void CBitmapButton256colors::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(GetParent()->GetBackgroundColour());
  dc.Clear();
  if (!up_.IsLoaded()) {
    int flags = pressed_ ? static_cast<int>(wxCONTROL_PRESSED) : 0;
    if (!IsThisEnabled()) flags |= wxCONTROL_DISABLED;
    if (HasFocus()) flags |= wxCONTROL_FOCUSED;
    wxRendererNative::Get().DrawPushButton(this, dc, GetClientRect(), flags);
    dc.SetTextForeground(wxSystemSettings::GetColour(IsThisEnabled() ? wxSYS_COLOUR_BTNTEXT : wxSYS_COLOUR_GRAYTEXT));
    dc.DrawLabel(GetLabel(), GetClientRect(), wxALIGN_CENTRE);
    return;
  }
  const CDib* pictures[] = {&up_, &down_, &focused_, &disabled_};
  pictures[static_cast<int>(CurrentFace())]->Draw(dc);
}

void CBitmapButton256colors::OnLeftDown(wxMouseEvent&) {
  if (!IsThisEnabled()) return;
  SetFocus();
  tracking_ = true;
  if (!HasCapture()) CaptureMouse();
  SetPressed(true);
}

void CBitmapButton256colors::OnMotion(wxMouseEvent& event) {
  if (tracking_) SetPressed(GetClientRect().Contains(event.GetPosition()));
  event.Skip();
}

void CBitmapButton256colors::OnLeftUp(wxMouseEvent& event) {
  if (!tracking_) return;
  tracking_ = false;
  if (HasCapture()) ReleaseMouse();
  const bool inside = GetClientRect().Contains(event.GetPosition());
  SetPressed(false);
  if (inside) Click();
}

void CBitmapButton256colors::OnCaptureLost(wxMouseCaptureLostEvent&) {
  tracking_ = false;
  SetPressed(false);
}

void CBitmapButton256colors::OnKeyDown(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_SPACE:
      SetPressed(true);
      return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
      Click();
      return;
    default:
      event.Skip();
  }
}

void CBitmapButton256colors::OnKeyUp(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_SPACE && pressed_) {
    SetPressed(false);
    Click();
    return;
  }
  event.Skip();
}

void CBitmapButton256colors::OnFocus(wxFocusEvent& event) {
  Refresh();
  event.Skip();
}

void CBitmapButton256colors::SetPressed(bool pressed) {
  if (pressed_ == pressed) return;
  pressed_ = pressed;
  Refresh();
}

void CBitmapButton256colors::Click() {
  if (!IsThisEnabled()) return;
  wxCommandEvent click(wxEVT_BUTTON, GetId());
  click.SetEventObject(this);
  ProcessWindowEvent(click);
}
