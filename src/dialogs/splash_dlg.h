#pragma once
// The picture shown while the program starts: the logo and the version, closing
// itself after a fixed time.
#include <wx/dialog.h>
#include <wx/timer.h>

class CSplashDlg : public wxDialog {
 public:
  static constexpr int kShowMilliseconds = 4000;
  explicit CSplashDlg(wxWindow* parent, int show_milliseconds = kShowMilliseconds);
  int ShowModal() override;

 private:
  wxTimer close_timer_;
  int show_milliseconds_;
};
