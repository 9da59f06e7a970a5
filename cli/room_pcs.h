#pragma once
// The PCs of a room job on the command line (`copy --group NAME` or `--client X`
// with --wake, --min-clients, --max-wait) as rows of the shape a stored group
// has, and how each stands at a look: loaded into the main client list as the
// copy itself will load them (the group's members on their stored disks, or the
// Clients named on the disk asked for), then judged against the image.
#include <optional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "commands/room_targets.h"
#include "model/check_list_model.h"

namespace kestrelon::cli {

class RoomPcs {
 public:
  // Nothing, after an error on standard error, when the group has no members.
  static std::optional<RoomPcs> of(ControllerCore& core, const std::string& group,
                                   const std::vector<std::string>& clients, int disk);

  // One row per PC: name, padded address, disk marks and target text as the
  // group stores them (for a Client named, its name, and its address when it
  // was named by one).
  const CheckListModel& rows() const { return rows_; }
  // The disk asked for (1-based; 0: each Client's own choice).
  int disk() const { return disk_; }
  // The names, to discover them.
  std::vector<std::string> names() const;

  // How each PC stands now; checks the rows of those listed in the main client list.
  std::vector<ListedState> look(ControllerCore& core, std::uint64_t image_sectors, bool include_protected);
  // Where the last look found each PC: the address text of its row, "" when not listed.
  const std::vector<std::string>& found_at() const { return found_at_; }

 private:
  RoomPcs(std::string group, std::vector<std::string> clients, int disk)
      : group_(std::move(group)), clients_(std::move(clients)), disk_(disk) {}

  std::string group_;
  std::vector<std::string> clients_;
  int disk_ = 0;  // 1-based; 0 each Client's own choice
  CheckListModel rows_;
  std::vector<std::string> found_at_;
};

}  // namespace kestrelon::cli
