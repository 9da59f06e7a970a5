#pragma once
// Which of an unattended job's PCs will really receive its image, decided before
// any of them is woken. A protected PC (unless the job includes them), a PC
// without the disk the job writes, one whose disk is too small for the image,
// and, when the job wakes its PCs, one that is off and cannot be woken, are
// neither marked pending, woken nor waited for; each is reported once as left
// out, with why. A PC listed now is judged by what it announces; one that is
// off, by what the group stored of it (its disk count, target disk and size) and
// by the Client inventory. While the job waits, only the PCs that can receive the
// image count toward its minimum.
//
// The command line and the window both plan their room jobs with this, so both
// wake, wait for and report the same PCs.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/client_inventory.h"
#include "commands/copy_flow.h"
#include "commands/wake_pcs.h"
#include "model/check_list_model.h"

namespace kestrelon {

// How a PC asked for stands now: not listed (nullopt), listed and able to
// receive the image (""), or listed and not able, with why.
using ListedState = std::optional<std::string>;

// Why a Client with `disk_count` disks, target disk `disk_index` (0-based) of
// `disk_sectors`, cannot receive an image that needs `image_sectors`; "" when
// it can (an image that needs nothing fits any Client). The texts are the Copy
// command's own.
std::string cannot_receive(int disk_count, int disk_index, std::uint64_t disk_sectors, std::uint64_t image_sectors);

struct RoomPlanRequest {
  // The PCs asked for, one row each as Load Group shows a group's member (name,
  // padded address, disk marks, target text "Disk n (sizeMb)"). A row without a
  // target text (a Client named on the command line) stores no disk.
  const CheckListModel* pcs = nullptr;
  // How each stands now, by row.
  std::vector<ListedState> listed;
  std::vector<InventoryEntry> inventory;
  std::uint64_t image_sectors = 0;  // what the image needs of a disk; 0: not checked
  bool include_protected = false;
  bool wake = false;
  // Sends nothing: tells whether a PC could be woken (wake_pcs with a silent sender).
  WakeSeams dry_seams;
};

struct RoomPlan {
  // The PCs to mark, wake and wait for, with the rows they came from.
  std::vector<WakeWanted> pcs;
  std::vector<int> rows;
  // The others, with why.
  std::vector<LeftOutClient> left_out;
};

RoomPlan plan_room(const RoomPlanRequest& request);

// The seams that tell whether a PC could be woken, sending nothing.
WakeSeams silent_wake_seams();

// How the Client listed at `address` stands (see ListedState): its selected disk
// against the image, and whether it is protected (found as protected_targets
// finds it). `inventory` as read now.
ListedState listed_state(ControllerCore& core, Ipv4Address address, std::uint64_t image_sectors,
                         bool include_protected, const std::vector<InventoryEntry>& inventory);

// What the image at `path` needs of a target disk with these options, as the
// Copy command weighs it; nullopt when it cannot be read.
std::optional<std::uint64_t> image_needs_sectors(const std::string& path, bool keep_partition_size);

}  // namespace kestrelon
