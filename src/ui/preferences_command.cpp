// Options > Preferences...: the interfaces to use and the transfer options.
#include "app/controller_core.h"
#include "dialogs/preferences_dlg.h"
#include "ui/desktop_services.h"

bool DesktopServices::RunPreferences(wxWindow* parent) {
  CPreferencesDlg preferences(parent, core_);
  return preferences.ShowModal() == wxID_OK && preferences.Rules().changes() > 0;
}
