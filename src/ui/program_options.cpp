// The options that travel with every transfer, read once at the form's start-up:
// "Keep partition size" and "Create Unique NT SID" from the settings; "Force
// sector-by-sector copying" is not stored and starts off.
#include "app/controller_core.h"
#include "app/program_settings.h"
#include "ui/desktop_services.h"

void DesktopServices::ReadProgramOptions() {
  const kestrelon::ProgramSettings settings = kestrelon::read_program_settings(core_.settings());
  transfer_options_ = {.keep_partition_size = settings.keep_partition_size != 0,
                       .unique_sid = settings.unique_sid != 0,
                       .sector_by_sector = false};
}
