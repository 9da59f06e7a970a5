// The Save Group and Load Group commands of the main form.
#include "ui/desktop_services.h"

// STUBS (group dialogs, later work): the buttons exist and follow the enabling rules.
void DesktopServices::LoadGroup() {}
void DesktopServices::SaveGroup() {}
