// The Create command of the main form.
#include "ui/desktop_services.h"
#include "ui/window_create.h"

std::optional<std::string> DesktopServices::Create() { return create_->Run(transfer_options_.sector_by_sector); }
