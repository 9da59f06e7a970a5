// The Create command of the main form.
#include "app/controller_core.h"
#include "ui/desktop_services.h"
#include "ui/window_create.h"

std::optional<std::string> DesktopServices::Create() {
  return create_->Run(core_.program_options().sector_by_sector);
}
