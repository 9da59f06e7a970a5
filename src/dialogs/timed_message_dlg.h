#pragma once
// A message without caption or buttons that closes itself about 9 seconds after
// it opens ("Restoring Connections..." after a Copy); the keyboard can close it
// sooner. The countdown is TimedMessage's.
#include <wx/dialog.h>
#include <wx/timer.h>

#include "model/timed_message.h"

class CTimedMessageDlg : public wxDialog {
 public:
  static constexpr int kTemplateId = 153;
  static constexpr int kText = 1070;

  // `timer_id` is the text's string number; the timer carries it.
  CTimedMessageDlg(wxWindow* parent, const wxString& text, int timer_id);
  ~CTimedMessageDlg() override;

  wxString Text() const;

 private:
  void OnTimer(wxTimerEvent& event);

  kestrelon::TimedMessage countdown_;
  wxTimer timer_;
};
