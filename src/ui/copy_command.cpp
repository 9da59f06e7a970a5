// The Copy command of the main form, its Copy supervision, and whether a transfer
// dialog is open (the discovery timer pauses meanwhile).
#include "ui/desktop_services.h"

bool DesktopServices::TransferDialogOpen() {
  // HOOK (Copy and Create dialogs, later work): true while the Transfer dialog or
  // the Receiving dialog exists. Neither exists yet.
  return false;
}

// HOOK (Copy command, later work): the Copy flow's supervise() goes here once the
// form runs Copy through a flow with its Transfer dialog.
void DesktopServices::SuperviseCopy() {}

// STUB (Copy command, later work): the buttons exist and follow the enabling rules.
void DesktopServices::Copy(const std::string&) {}
