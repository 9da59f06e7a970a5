#pragma once
// Drives windows the way a user would: a 25 ms timer walks a list of steps inside
// an event loop and never yields by hand, so modal dialogs run their own loops as
// they do for a user and the timer keeps firing inside them.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <wx/evtloop.h>
#include <wx/timer.h>
#include <wx/window.h>

namespace kestrelon::test {

struct Step {
  std::string name;
  // Called every tick until it returns true; a step that only acts returns true.
  std::function<bool()> done;
  int timeout_ms = 5000;  // on an idle machine; allowed many times as long (busy_machine.h)
};

// Runs the steps in order; records a test failure naming the step that timed out.
// Returns true when every step completed.
bool RunSteps(std::vector<Step> steps);

// A step that only acts, once.
Step Do(std::string name, std::function<void()> action);

// A step that waits `ms` milliseconds.
Step Pause(int ms);

// Steps that let pending events settle (size, paint) before checking.
Step Settle();

// The screen rectangle of a window's client area.
wxRect ScreenRect(wxWindow* window);

// Simulated mouse click at a point of a window, in its client coordinates.
void ClickAt(wxWindow* window, wxPoint client_point, bool double_click = false);

// A click on the "up" arrow of a spin button: the toolkit draws it as the upper
// half of a vertical button or the right half of a horizontal one.
void ClickSpinUp(wxWindow* spin);

}  // namespace kestrelon::test
