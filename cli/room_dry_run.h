#pragma once
// copy --dry-run: every check of the copy made, what would happen printed, and
// nothing sent (not a start request, not a magic packet, no pending mark).
// Every PC asked for is named once: among those the image would go to, or as
// left out, with why.
#include <cstdint>
#include <string>

#include "app/controller_core.h"
#include "commands/copy_flow.h"
#include "console_ui.h"
#include "room_job.h"
#include "room_pcs.h"
#include "transfer_output.h"

namespace kestrelon::cli {

// A copy that does not wait: to which Client on which disk, and whom it would
// leave out. `request` has passed none of the Copy's checks yet. True when the
// copy would go ahead.
bool dry_run(ControllerCore& core, CopyFlow& flow, TransferOutput& output, const CopyRequest& request);

// A room job (--wake, --min-clients, --max-wait), also with every PC switched
// off: whom it would wake (from the Client inventory), how long it would wait and
// for how many, which PC would get the image on which disk. With --json one
// "dry_run" event says the same. True when the copy would go ahead.
bool room_dry_run(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, const RoomArgs& args, RoomPcs& pcs,
                  const std::string& image, std::uint64_t image_sectors, int discover_seconds);

}  // namespace kestrelon::cli
