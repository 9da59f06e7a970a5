#pragma once
// After a Copy: each Client that received the image whole has it noted in the
// Client inventory as the last image it received ('kestrelon-cli clients').
#include <string>
#include <vector>

#include "app/client_inventory.h"
#include "transfer/copy_target_report.h"

namespace kestrelon {

// Never fails the copy: an inventory that cannot be written is left as it is.
void note_images_received(const ClientInventory& inventory, const std::string& image_path,
                          const std::vector<TargetState>& outcomes);

}  // namespace kestrelon
