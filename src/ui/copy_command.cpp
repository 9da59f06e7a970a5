// The Copy command of the main form, its Copy supervision, and whether a transfer
// dialog is open (the discovery timer pauses meanwhile).
#include "app/controller_core.h"
#include "ui/desktop_services.h"
#include "ui/window_copy.h"
#include "ui/window_create.h"

bool DesktopServices::TransferDialogOpen() {
  return copy_->Flow().transfer_dialog_open() || create_->Flow().receiving_dialog_open();
}

void DesktopServices::SuperviseCopy() { copy_->Flow().supervise(); }

// The program's options as they are now: a Preferences change counts from the
// next Copy.
void DesktopServices::Copy(const std::string& image_path) {
  copy_->Flow().run(image_path, core_.program_options().copy_options());
}
