#include "dialogs/schedule_dlg.h"

#include <chrono>
#include <ctime>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/spinctrl.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "controls/bitmap_button_256colors.h"
#include "ui/room_ids.h"

namespace {

using kestrelon::ScheduleCountdown;

constexpr const char* kTitle = "Set Schedule Time";
// Only the direction of a spin notification counts; the toolkit's own value starts
// in the middle of a range no user reaches by clicking (setting it back would
// report another notification).
constexpr int kSpinRange = 1000000;

std::int64_t system_wall_clock() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::int64_t monotonic_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

CScheduleDlg::CScheduleDlg(wxWindow* parent, WallClock clock, kestrelon::ScheduleRoom* room)
    : wxDialog(parent, kDialogId, kTitle),
      clock_(clock ? std::move(clock) : WallClock(system_wall_clock)),
      model_(clock_()),
      timer_(this, kTimerId),
      room_(room) {
  CreateControls();
  Bind(wxEVT_TIMER, &CScheduleDlg::OnTimer, this, kTimerId);
  Bind(wxEVT_SPIN_UP, &CScheduleDlg::OnSpin, this, kStartTimeSpin);
  Bind(wxEVT_SPIN_DOWN, &CScheduleDlg::OnSpin, this, kStartTimeSpin);
  Bind(wxEVT_SPIN_UP, &CScheduleDlg::OnSpin, this, kDelaySpin);
  Bind(wxEVT_SPIN_DOWN, &CScheduleDlg::OnSpin, this, kDelaySpin);
  Bind(wxEVT_RADIOBUTTON, &CScheduleDlg::OnRadio, this, kStartTimeRadio);
  Bind(wxEVT_RADIOBUTTON, &CScheduleDlg::OnRadio, this, kDelayRadio);
  Bind(wxEVT_BUTTON, &CScheduleDlg::OnStart, this, kStart);
  Bind(wxEVT_BUTTON, &CScheduleDlg::OnStop, this, kStop);
  timer_.Start(kTickMs);
  ShowValues();
  CentreOnParent();
}

CScheduleDlg::~CScheduleDlg() { timer_.Stop(); }

void CScheduleDlg::CreateControls() {
  auto* grid = new wxFlexGridSizer(3, wxSize(8, 8));
  grid->AddGrowableCol(1);

  grid->Add(new wxStaticText(this, wxID_ANY, "Current Date && Time:"), 0, wxALIGN_CENTRE_VERTICAL);
  now_text_ = new wxStaticText(this, kNowText, "");
  grid->Add(now_text_, 0, wxALIGN_CENTRE_VERTICAL);
  grid->AddSpacer(0);

  const auto add_choice = [&](int radio_id, const char* caption, int edit_id, int spin_id, wxRadioButton*& radio,
                              wxTextCtrl*& edit, wxSpinButton*& spin, long radio_style) {
    radio = new wxRadioButton(this, radio_id, caption, wxDefaultPosition, wxDefaultSize, radio_style);
    edit = new wxTextCtrl(this, edit_id, "", wxDefaultPosition, wxSize(170, -1), wxTE_READONLY);
    spin = new wxSpinButton(this, spin_id, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
    spin->SetRange(-kSpinRange, kSpinRange);
    spin->SetValue(0);
    grid->Add(radio, 0, wxALIGN_CENTRE_VERTICAL);
    grid->Add(edit, 1, wxEXPAND | wxALIGN_CENTRE_VERTICAL);
    grid->Add(spin, 0, wxALIGN_CENTRE_VERTICAL);
  };
  add_choice(kStartTimeRadio, "Start Copy At:", kStartTimeEdit, kStartTimeSpin, start_time_radio_, start_time_edit_,
             start_time_spin_, wxRB_GROUP);
  add_choice(kDelayRadio, "Delay Until Copy Starts:", kDelayEdit, kDelaySpin, delay_radio_, delay_edit_, delay_spin_,
             0);

  blink_ = new CBitmapButton256colors(this, kBlink, "Blink");
  blink_->AttachCaption();
  start_ = new wxButton(this, kStart, "Start");
  stop_ = new wxButton(this, kStop, "Stop");
  auto* cancel = new wxButton(this, wxID_CANCEL, "Cancel");
  start_->SetDefault();

  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(blink_, 0, wxALIGN_CENTRE_VERTICAL);
  buttons->AddStretchSpacer();
  buttons->Add(start_, 0, wxLEFT, 6);
  buttons->Add(stop_, 0, wxLEFT, 6);
  buttons->Add(cancel, 0, wxLEFT, 6);

  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(grid, 0, wxEXPAND | wxALL, 12);
  if (room_ != nullptr) CreateRoomControls(column);
  column->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 12);
  SetSizerAndFit(column);
}

void CScheduleDlg::CreateRoomControls(wxSizer* column) {
  namespace ids = kestrelon::ids;
  const kestrelon::ScheduleRoomOptions& o = room_->options();
  auto* box = new wxStaticBoxSizer(wxVERTICAL, this, "PCs of the Copy");
  wxWindow* in = box->GetStaticBox();
  const auto spin = [in](int id, int max, int value) {
    return new wxSpinCtrl(in, id, wxEmptyString, wxDefaultPosition, wxSize(80, -1), wxSP_ARROW_KEYS, 0, max, value);
  };
  const auto line = [in, box](std::initializer_list<wxWindow*> parts) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    for (wxWindow* w : parts) row->Add(w, 0, wxALIGN_CENTRE_VERTICAL | wxRIGHT, 6);
    box->Add(row, 0, wxALL, 4);
  };
  wake_ = new wxCheckBox(in, ids::kWakePcs, "Wake the PCs");
  wake_->SetValue(o.wake);
  wake_lead_ = spin(ids::kWakeLead, 240, o.wake_lead_minutes);
  line({wake_, wake_lead_, new wxStaticText(in, wxID_ANY, "minutes before the start")});
  min_clients_ = spin(ids::kMinClients, room_->pc_count(), o.min_clients);
  line({new wxStaticText(in, wxID_ANY, "Start with at least"), min_clients_,
        new wxStaticText(in, wxID_ANY, wxString::Format("of the %d PCs (0: all of them),", room_->pc_count()))});
  max_wait_ = spin(ids::kMaxWait, 720, o.max_wait_seconds / 60);
  line({new wxStaticText(in, wxID_ANY, "waiting for them at most"), max_wait_,
        new wxStaticText(in, wxID_ANY, "minutes after the start")});
  room_status_ = new wxStaticText(in, ids::kRoomStatus, wxEmptyString, wxDefaultPosition, wxSize(420, -1),
                                  wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  box->Add(room_status_, 0, wxEXPAND | wxALL, 4);
  column->Add(box, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 12);
}

kestrelon::ScheduleRoomOptions CScheduleDlg::RoomOptions() const {
  return {.wake = wake_->GetValue(),
          .wake_lead_minutes = wake_lead_->GetValue(),
          .min_clients = min_clients_->GetValue(),
          .max_wait_seconds = max_wait_->GetValue() * 60};
}

bool CScheduleDlg::StepRoom(bool due) {
  using Step = kestrelon::ScheduleRoom::Step;
  // Once reached, the start stays where it was while the PCs are awaited.
  if (due && !room_start_) room_start_ = model_.start();
  const kestrelon::Tick tick = room_->tick_now();
  const Step step = room_->step(clock_(), room_start_.value_or(model_.start()), tick);
  room_status_->SetLabel(wxString::FromUTF8(room_->status(tick)));
  if (step != Step::start && step != Step::give_up) return false;
  timer_.Stop();
  ShowValues();
  EndModal(step == Step::start ? wxID_OK : wxID_ABORT);
  return true;
}

void CScheduleDlg::OnTimer(wxTimerEvent&) {
  const bool due = model_.tick(clock_());
  if (room_ != nullptr && model_.running()) {
    if (!StepRoom(due)) ShowValues();
    return;
  }
  if (due) {
    timer_.Stop();
    ShowValues();
    EndModal(wxID_OK);
    return;
  }
  ShowValues();
}

void CScheduleDlg::OnSpin(wxSpinEvent& event) {
  const int direction = event.GetEventType() == wxEVT_SPIN_UP ? +1 : -1;
  const int step = acceleration_.step(monotonic_ms(), direction);
  if (step != 0) model_.spin(step);
  ShowValues();
}

void CScheduleDlg::OnRadio(wxCommandEvent& event) {
  model_.select_mode(event.GetId() == kDelayRadio ? ScheduleCountdown::Mode::delay
                                                  : ScheduleCountdown::Mode::start_time);
  ApplyEnabling();
}

void CScheduleDlg::OnStart(wxCommandEvent&) {
  if (room_ != nullptr) room_->choose(RoomOptions());
  model_.press_start();
  ApplyEnabling();
}

void CScheduleDlg::OnStop(wxCommandEvent&) {
  if (room_ != nullptr) {
    room_->stop();
    room_start_.reset();
    room_status_->SetLabel(wxEmptyString);
  }
  model_.press_stop();
  ApplyEnabling();
}

void CScheduleDlg::ShowValues() {
  if (auto shown = model_.take_display()) {
    now_text_->SetLabel(wxString::FromUTF8(kestrelon::schedule_time_text(shown->now)));
    start_time_edit_->ChangeValue(wxString::FromUTF8(kestrelon::schedule_time_text(shown->start)));
    delay_edit_->ChangeValue(wxString::FromUTF8(kestrelon::schedule_delay_text(shown->delay)));
  }
  ApplyEnabling();
}

void CScheduleDlg::ApplyEnabling() {
  const bool start_time_mode = model_.mode() == ScheduleCountdown::Mode::start_time;
  if (start_time_radio_->GetValue() != start_time_mode) start_time_radio_->SetValue(start_time_mode);
  if (delay_radio_->GetValue() == start_time_mode) delay_radio_->SetValue(!start_time_mode);
  start_time_radio_->Enable(model_.radios_enabled());
  delay_radio_->Enable(model_.radios_enabled());
  start_time_edit_->Enable(model_.start_time_controls_enabled());
  start_time_spin_->Enable(model_.start_time_controls_enabled());
  delay_edit_->Enable(model_.delay_controls_enabled());
  delay_spin_->Enable(model_.delay_controls_enabled());
  start_->Enable(model_.start_enabled());
  stop_->Enable(model_.stop_enabled());
  blink_->Enable(model_.blink_enabled());
  if (room_ != nullptr) {
    // The room's choices are made before the countdown starts.
    for (wxWindow* w : {static_cast<wxWindow*>(wake_), static_cast<wxWindow*>(wake_lead_),
                        static_cast<wxWindow*>(min_clients_), static_cast<wxWindow*>(max_wait_)})
      w->Enable(model_.radios_enabled());
  }
}
