#pragma once
// The Copy command without its windows: open the image, rebuild the targets from
// the checked Clients, check every target disk's space, run the Transfer dialog,
// abort the copy on the data group, list the Clients that did not finish, and
// rediscover. Plus the Copy supervision of the 500 ms timer, which ends a copy
// whose Clients have not all finished 5 s after the first did.
//
// The flow talks to the user only through CopyFlowPort; the window shows dialogs,
// the command line prints.
#include <cstdint>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "net/client_list_view.h"
#include "transfer/copy_engine.h"
#include "commands/copy_transfer.h"

namespace kestrelon {

inline constexpr const char* kCouldNotOpenText = "Could not open %1";
inline constexpr const char* kRestoringConnectionsText = "Restoring Connections...";
inline constexpr const char* kClientsDidNotCompleteText = "%1 clients did not complete the transfer!";

// `text` with every "%1" replaced by `value`.
std::string fill_placeholder(const std::string& text, const std::string& value);

class CopyFlowPort {
 public:
  virtual ~CopyFlowPort() = default;
  // A message with an OK button; returns when it has been dismissed.
  virtual void show_message(const std::string& text) = 0;
  // "List Of Clients With Insufficient Disk Space": the Clients whose selected disk
  // is smaller than the image, in row order. Their rows have been unchecked already.
  // Called with the client table lock held, as the dialog is shown.
  virtual void show_low_disk_space(const std::vector<ClientRowFields>& clients) = 0;
  // "List of failed Clients": the targets that did not report completion.
  virtual void show_failed_clients(const std::vector<ClientRowFields>& clients) = 0;
  // The self-closing message (about 9 s). Timers keep running meanwhile, so the
  // supervision can still report a copy whose first Client finished late.
  virtual void show_timed_message(const std::string& text) = 0;
  // Runs the Transfer dialog modally: `transfer.open` when it starts (end at once
  // when that fails), `transfer.refresh` every 333 ms, `transfer.cancel` for its
  // Cancel button. Returns once the dialog has ended (always through cancel).
  virtual void run_transfer_dialog(CopyTransfer& transfer) = 0;
};

struct CopyFlowResult {
  bool transfer_ran = false;  // the Transfer dialog was opened
  int targets = 0;            // the target count when the dialog ended
  int not_done = 0;           // targets without OP_COPY_DONE when the dialog ended
  std::uint64_t image_bytes = 0;
  double seconds = 0;  // from Engine start until the last target was done (when all were)
  std::uint64_t blocks_sent = 0;  // resent blocks included
  std::int32_t retries = 0;       // resend requests that moved the send position back
  bool succeeded() const { return transfer_ran && targets > 0 && not_done == 0; }
};

class CopyFlow {
 public:
  CopyFlow(ControllerCore& core, CopyFlowPort& port);

  // The Copy command, on the user-interface thread.
  CopyFlowResult run(const std::string& image_path, const CopyOptions& options);

  // Opens the image, rebuilds the targets, sums the partition sizes and checks the
  // space (the Copy command's checks, which the Schedule command runs too). False
  // after a message or the low-disk-space list. With `require_targets` an empty
  // target table is refused here with its message (the Copy command leaves that
  // to Copy start, inside the Transfer dialog).
  bool prepare(const std::string& image_path, const CopyOptions& options, ImageFile& image,
               bool require_targets = false);

  // Compares the image size in sectors with each target's selected disk as its
  // Client announced it. With a failure, unchecks the failing rows, shows the
  // low-disk-space list and returns false.
  bool disk_space_suffices(std::uint64_t image_sectors);

  // The Copy supervision (every 500 ms).
  void supervise();

  // Whether a Transfer dialog is open now (no discovery requests meanwhile).
  bool transfer_dialog_open() const { return transfer_ != nullptr && !transfer_->ended(); }

 private:
  int target_count();
  int count_not_done();
  std::vector<ClientRowFields> failed_targets();

  ControllerCore& core_;
  CopyFlowPort& port_;
  CopyTransfer* transfer_ = nullptr;  // while the flow runs one
};

}  // namespace kestrelon
