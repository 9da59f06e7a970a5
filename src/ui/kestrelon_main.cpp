// The desktop Controller's entry point.
#include "ui/shadow_app.h"

wxIMPLEMENT_APP(CShadowApp);
