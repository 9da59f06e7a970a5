// The Save Group and Load Group commands of the main form: each runs its dialog
// modally over the main window.
#include <wx/app.h>

#include "app/controller_core.h"
#include "dialogs/load_group_dlg.h"
#include "dialogs/save_group_dlg.h"
#include "ui/desktop_services.h"

namespace {
wxWindow* MainWindow() { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; }
}  // namespace

void DesktopServices::LoadGroup() {
  CLoadGroupDlg dialog(MainWindow(), core_);
  dialog.ShowModal();
}

void DesktopServices::SaveGroup() {
  CSaveGroupDlg dialog(MainWindow(), core_);
  dialog.ShowModal();
}
