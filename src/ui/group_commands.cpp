// The Save Group and Load Group commands of the main form: each runs its dialog
// modally over the main window.
#include <wx/app.h>

#include "app/controller_core.h"
#include "commands/room_watch.h"
#include "dialogs/load_group_dlg.h"
#include "dialogs/save_group_dlg.h"
#include "ui/desktop_services.h"

namespace {
wxWindow* MainWindow() { return wxTheApp ? wxTheApp->GetTopWindow() : nullptr; }
}  // namespace

void DesktopServices::LoadGroup() {
  CLoadGroupDlg dialog(MainWindow(), core_);
  if (dialog.ShowModal() != wxID_OK) return;
  loaded_group_ = std::make_unique<kestrelon::CheckListModel>(dialog.PreviewRows());
  // A watch of an earlier load ends here: its PCs are no longer awaited.
  group_watch_ = dialog.TakeWatch();
  group_watch_ready_ = -1;
  FollowRoom();
}

void DesktopServices::SaveGroup() {
  CSaveGroupDlg dialog(MainWindow(), core_);
  dialog.ShowModal();
}
