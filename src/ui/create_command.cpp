// The Create command of the main form.
#include "ui/desktop_services.h"

// STUB (Create command, later work): the button exists and follows the enabling rules.
void DesktopServices::Create() {}
