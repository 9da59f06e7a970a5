// The drive selection for a row of the main client list: the lookup under the
// client table lock and the drive and partition dialog.
#include "ui/desktop_services.h"

#include <wx/app.h>

#include "app/controller_core.h"
#include "dialogs/drive_dlg.h"

bool DesktopServices::SelectDrive(const std::string& address_text) {
  // The lock stays held while the dialog is open: packet handling that needs it
  // waits, and idle passes inside the dialog's loop skip their work.
  kestrelon::ClientRegistry::ModalLockHold hold(core_.registry());
  kestrelon::ClientTables& tables = core_.tables();
  for (int i = 0; i < tables.client_count; ++i) {
    kestrelon::ClientRecord& client = tables.clients[static_cast<std::size_t>(i)];
    if (client.address.padded_text() != address_text) continue;
    int chosen = client.selected_disk;
    if (RunDriveDialog(client, chosen)) {
      client.selected_disk = static_cast<std::int16_t>(chosen);
      core_.main_client_list().update_rows_from_client_table();
    }
    return true;
  }
  return false;
}

bool DesktopServices::RunDriveDialog(const kestrelon::ClientRecord& client, int& chosen_disk) {
  // While the dialog exists no Client expires (it sets the registry's flag).
  CDriveDlg dialog(wxTheApp->GetTopWindow(), client, core_.registry());
  if (dialog.ShowModal() != wxID_OK) return false;
  chosen_disk = dialog.Result();
  return true;
}
