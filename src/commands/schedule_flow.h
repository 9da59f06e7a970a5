#pragma once
// The Schedule command: the Copy command's checks first (image, checked Clients,
// disk space), so a mistake is reported now and not when the countdown ends; then
// the "Set Schedule Time" countdown. When the start time comes, the caller runs
// its Copy command from the beginning, exactly as if the user had pressed Copy
// (every check is made again then). The image is closed before the countdown
// and whenever the command stops early.
#include <string>

#include "commands/copy_flow.h"

namespace kestrelon {

class SchedulePort {
 public:
  virtual ~SchedulePort() = default;
  // Runs the countdown; true when it ended because the start time came, false when
  // it was cancelled.
  virtual bool run_schedule_dialog() = 0;
};

// True when the Copy command is due now. Without `require_targets`, no Client
// need be checked yet (the PCs are to be woken before the start).
bool schedule_copy(CopyFlow& copy_flow, const CopyRequest& request, SchedulePort& schedule,
                   bool require_targets = true);

}  // namespace kestrelon
