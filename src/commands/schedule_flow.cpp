#include "commands/schedule_flow.h"

#include "transfer/image_file.h"

namespace kestrelon {

bool schedule_copy(CopyFlow& copy_flow, const std::string& image_path, const CopyOptions& options,
                   SchedulePort& schedule) {
  {
    // Closed before the countdown: nothing holds the file for hours, and the Copy
    // opens it again when the time comes.
    ImageFile image;
    if (!copy_flow.prepare(image_path, options, image, /*require_targets=*/true)) return false;
  }
  return schedule.run_schedule_dialog();
}

}  // namespace kestrelon
