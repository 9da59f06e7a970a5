// The Schedule command of the main form.
#include "ui/desktop_services.h"

// STUB (Schedule command, later work): the button exists and follows the enabling rules.
void DesktopServices::Schedule(const std::string&) {}
