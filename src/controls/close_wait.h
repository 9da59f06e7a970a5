#pragma once
// The wait with which a check list lets go of its resources as its window closes
// (two seconds a list, as the list has always taken). The closing dialog leaves
// the screen first, and while the wait lasts nothing the user does reaches any
// window: clicks and keys are dropped rather than delivered to the main window
// once the wait is over. The screen is kept painted and timers keep their pace
// (discovery goes on, so no Client expires for the wait).
class wxWindow;

// Waits `milliseconds` on the user-interface thread. `closing` is the dialog that
// is going away (hidden first when still shown); without one, or inside another
// wait, it simply sleeps.
void WaitWithoutInput(wxWindow* closing, int milliseconds);
