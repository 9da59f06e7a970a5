#include "commands/schedule_flow.h"

#include "transfer/image_file.h"

namespace kestrelon {

bool schedule_copy(CopyFlow& copy_flow, const CopyRequest& request, SchedulePort& schedule, bool require_targets) {
  {
    // Closed before the countdown: nothing holds the file for hours, and the Copy
    // opens it again when the time comes.
    ImageFile image;
    if (!copy_flow.prepare(request, image, require_targets)) return false;
  }
  return schedule.run_schedule_dialog();
}

}  // namespace kestrelon
