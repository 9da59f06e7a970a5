// The drive selection for a row of the main client list: the lookup under the
// client table lock and the drive and partition dialog.
#include "ui/desktop_services.h"

#include "app/controller_core.h"

bool DesktopServices::SelectDrive(const std::string& address_text) {
  // The lock stays held while the dialog is open: packet handling that needs it
  // waits, and idle passes inside the dialog's loop skip their work.
  kestrelon::ClientRegistry::ModalLockHold hold(core_.registry());
  kestrelon::ClientTables& tables = core_.tables();
  for (int i = 0; i < tables.client_count; ++i) {
    kestrelon::ClientRecord& client = tables.clients[static_cast<std::size_t>(i)];
    if (client.address.padded_text() != address_text) continue;
    core_.registry().set_drive_dialog_open(true);
    int chosen = client.selected_disk;
    const bool ok = RunDriveDialog(client, chosen);
    core_.registry().set_drive_dialog_open(false);
    if (ok) {
      client.selected_disk = static_cast<std::int16_t>(chosen);
      core_.main_client_list().update_rows_from_client_table();
    }
    return true;
  }
  return false;
}

// STUB (drive and partition dialog, later work): the dialog that lists the Client's
// disks and partitions and lets the user choose the target disk. Until it exists
// the selection routes here and nothing is chosen.
bool DesktopServices::RunDriveDialog(const kestrelon::ClientRecord&, int&) { return false; }
