#pragma once
// "Set Schedule Time": the user sets a clock time or a delay, presses Start and
// watches the countdown; when the start time comes the dialog ends itself with OK
// and the caller runs the Copy command. Every rule lives in ScheduleCountdown; this
// window renders it, feeds it the 1-second timer, the spin arrows and the buttons.
//
// Given the room of a Copy (ScheduleRoom), it also offers "Wake the PCs" some
// minutes before the start and a minimum of PCs to wait for after it; then it
// ends with OK only once the room says start, and with wxID_ABORT when nobody
// came.
#include <cstdint>
#include <functional>
#include <optional>

#include <wx/dialog.h>
#include <wx/timer.h>

#include "commands/schedule_room.h"
#include "model/schedule_countdown.h"
#include "model/spin_acceleration.h"

class CBitmapButton256colors;
class wxButton;
class wxCheckBox;
class wxSpinCtrl;
class wxRadioButton;
class wxSpinButton;
class wxSpinEvent;
class wxStaticText;
class wxTextCtrl;

class CScheduleDlg : public wxDialog {
 public:
  // Control ids of the dialog.
  static constexpr int kDialogId = 148;
  static constexpr int kNowText = 1052;
  static constexpr int kStartTimeRadio = 1056;
  static constexpr int kStartTimeEdit = 1054;
  static constexpr int kStartTimeSpin = 1013;
  static constexpr int kDelayRadio = 1057;
  static constexpr int kDelayEdit = 1053;
  static constexpr int kDelaySpin = 1011;
  static constexpr int kBlink = 1058;
  static constexpr int kStart = 1041;
  static constexpr int kStop = 1055;
  static constexpr int kTimerId = 3;
  static constexpr int kTickMs = 1000;

  // The wall clock in whole seconds; tests pass a faster one.
  using WallClock = std::function<std::int64_t()>;

  // `room`, when given, outlives the dialog.
  explicit CScheduleDlg(wxWindow* parent, WallClock clock = {}, kestrelon::ScheduleRoom* room = nullptr);
  ~CScheduleDlg() override;

  const kestrelon::ScheduleCountdown& Countdown() const { return model_; }

 private:
  void CreateControls();
  void CreateRoomControls(wxSizer* column);
  kestrelon::ScheduleRoomOptions RoomOptions() const;
  // The room's step in this tick; true when the dialog has ended.
  bool StepRoom(bool due);
  void OnTimer(wxTimerEvent&);
  void OnSpin(wxSpinEvent& event);
  void OnRadio(wxCommandEvent& event);
  void OnStart(wxCommandEvent&);
  void OnStop(wxCommandEvent&);
  // Draws the values when they changed, then the enabling.
  void ShowValues();
  void ApplyEnabling();

  WallClock clock_;
  kestrelon::ScheduleCountdown model_;
  kestrelon::SpinAcceleration acceleration_;
  wxTimer timer_;

  wxStaticText* now_text_ = nullptr;
  wxRadioButton* start_time_radio_ = nullptr;
  wxTextCtrl* start_time_edit_ = nullptr;
  wxSpinButton* start_time_spin_ = nullptr;
  wxRadioButton* delay_radio_ = nullptr;
  wxTextCtrl* delay_edit_ = nullptr;
  wxSpinButton* delay_spin_ = nullptr;
  CBitmapButton256colors* blink_ = nullptr;
  wxButton* start_ = nullptr;
  wxButton* stop_ = nullptr;

  kestrelon::ScheduleRoom* room_ = nullptr;
  std::optional<std::int64_t> room_start_;  // the start, once the countdown reached it
  wxCheckBox* wake_ = nullptr;
  wxSpinCtrl* wake_lead_ = nullptr;
  wxSpinCtrl* min_clients_ = nullptr;
  wxSpinCtrl* max_wait_ = nullptr;
  wxStaticText* room_status_ = nullptr;
};
