#pragma once
// The drive and partition dialog without its window: one Client's drives in a
// check list with one check at most, and the partitions of the highlighted drive
// in a second list. CDriveDlg drives it: start() as the dialog opens,
// drive_clicked() after every mouse click on the drive list (the list has
// already toggled the check and highlighted the row), refusal() and chosen_disk()
// on OK. The keyboard only moves the highlight: the partition list is refilled
// by clicks alone.
//
// The Client record is read in place; the caller holds the client table lock for
// the whole run. While this object exists the registry's drive dialog flag is
// set, so no Client expires meanwhile.
#include <optional>
#include <string>

#include "model/check_list_model.h"
#include "net/client_record.h"
#include "net/client_registry.h"

namespace kestrelon {

class DriveChoice {
 public:
  static constexpr const char* kTitleSuffix = ": Drive";
  // OK with no drive checked would leave the Client with a disk that does not
  // exist for every later Create, Copy and group; it is refused instead.
  static constexpr const char* kNoDriveCheckedText =
      "No drive is checked. Check the drive to use, or press Cancel to keep the current one.";

  DriveChoice(const ClientRecord& client, ClientRegistry& registry);
  ~DriveChoice();
  DriveChoice(const DriveChoice&) = delete;
  DriveChoice& operator=(const DriveChoice&) = delete;

  // The Client's name followed by ": Drive".
  std::string title() const;

  CheckListModel& drives() { return drives_; }
  CheckListModel& partitions() { return partitions_; }

  // Columns, one drive row per disk, the Client's selected disk checked and
  // highlighted, and its partitions listed.
  void start();
  // A mouse click on the drive list: the partitions of the highlighted drive.
  void drive_clicked() { fill_partitions(); }

  // The last checked drive row, -1 when none is checked.
  int result() const { return drives_.last_checked(); }
  // What OK must say instead of closing, when it cannot close.
  std::optional<std::string> refusal() const;

 private:
  void fill_partitions();

  const ClientRecord& client_;
  ClientRegistry& registry_;
  CheckListModel drives_;
  CheckListModel partitions_;
};

}  // namespace kestrelon
