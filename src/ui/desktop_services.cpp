#include "ui/desktop_services.h"

#include "app/controller_core.h"
#include "app/program_settings.h"

std::optional<std::string> DesktopServices::ReadSetting(const std::string& name) {
  std::string value;
  if (core_.settings().read_setting(kestrelon::kSettingsSection, name, value, "") != 0) return std::nullopt;
  return value;
}

void DesktopServices::WriteSetting(const std::string& name, const std::string& value) {
  core_.settings().write_setting(kestrelon::kSettingsSection, name, value);
}

kestrelon::CheckListModel& DesktopServices::ClientRows() { return core_.main_client_list().rows(); }

bool DesktopServices::TransferDialogOpen() {
  // HOOK (Copy and Create dialogs, later work): true while the Transfer dialog or
  // the Receiving Disk Image dialog exists. Neither exists yet.
  return false;
}

void DesktopServices::PeriodicDiscovery() { core_.registry().discover(false); }

void DesktopServices::TransferWatch() {
  SuperviseCreate();
  SuperviseCopy();
}

// Ends a Create that went silent, filled the disk or finished; nothing happens
// while no Create runs.
void DesktopServices::SuperviseCreate() { core_.receive_engine().supervise(); }

// HOOK (Copy command, later work): the Copy flow's supervise() goes here once the
// form runs Copy through a flow with its Transfer dialog.
void DesktopServices::SuperviseCopy() {}

void DesktopServices::Rediscover() { core_.registry().discover(true); }

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

// STUBS (transfer and group commands, later work): the buttons exist and follow
// the enabling rules; their commands arrive with the Copy, Schedule, Create and
// group dialogs.
void DesktopServices::Copy(const std::string&) {}
void DesktopServices::Schedule(const std::string&) {}
void DesktopServices::Create() {}
void DesktopServices::LoadGroup() {}
void DesktopServices::SaveGroup() {}
