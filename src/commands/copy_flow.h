#pragma once
// The Copy command without its windows: open the image, rebuild the targets from
// the checked Clients, check every target disk's space, run the Transfer dialog,
// abort the copy on the data group, list the Clients that did not finish, and
// rediscover. Plus the Copy supervision of the 500 ms timer, which ends a copy
// whose Clients have not all finished 5 s after the first did.
//
// The flow talks to the user only through CopyFlowPort; the window shows dialogs,
// the command line prints. It follows every target in the core's copy report
// (start sent, ready, done, or why not) and records each copy it ran in the
// transfer journal.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "net/client_list_view.h"
#include "transfer/copy_engine.h"
#include "transfer/copy_target_report.h"
#include "commands/after_copy_reports.h"
#include "commands/copy_naming.h"
#include "commands/copy_transfer.h"
#include "commands/journal_record.h"
#include "commands/pending_scope.h"

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
  // The copy has ended and its journal line is written: every Client's outcome,
  // before any list or message about it waits for the user.
  virtual void transfer_ended(const JournalFacts& /*facts*/) {}
  // The computer name each target is about to be given, or why none (only when
  // a name plan had a say).
  virtual void names_planned(const CopyNamePlan& /*plan*/) {}
  // The PCs' reports of what they did after the copy are in (or their wait is
  // over), and the journal has them.
  virtual void after_copy_reported(const JournalRecord& /*record*/) {}
};

// A Client asked for that the caller leaves out, and why. The address is zero
// when not known (a name that was never discovered).
struct LeftOutClient {
  std::string name;
  Ipv4Address address;
  std::string reason;
};

struct CopyRequest {
  std::string image_path;
  CopyOptions options;
  // Go ahead with the Clients that can take the image: those whose disk is too
  // small are left out (unchecked, reported skipped) instead of stopping the copy,
  // and when nobody is left nothing is started.
  bool skip_unready = false;
  // Clients asked for that the caller left out (not discovered, no such disk):
  // reported skipped.
  std::vector<LeftOutClient> left_out;
  // Adds the caller's facts of each PC (its wake) to the journal line.
  std::function<void(JournalRecord&)> annotate;
  // The group the Copy was asked for, whose name plan names the PCs; empty:
  // every plan that knows a PC's card may.
  std::string group;
  // No computer names are sent: the copied systems keep the master's.
  bool keep_names = false;
  // How long the PCs' reports after the copy are waited for.
  Tick after_copy_wait = AfterCopyReports::kWait;
};

struct CopyFlowResult {
  bool transfer_ran = false;  // the Transfer dialog was opened
  int targets = 0;            // the target count when the dialog ended
  int not_done = 0;           // targets without OP_COPY_DONE when the dialog ended
  std::uint64_t image_bytes = 0;
  double seconds = 0;  // from Engine start until the last target was done (when all were)
  std::uint64_t blocks_sent = 0;  // resent blocks included
  std::int32_t retries = 0;       // resend requests that moved the send position back
  // Every target and every Client left out, with its step or why it failed.
  std::vector<TargetState> outcomes;
  int skipped = 0;                // Clients left out before the start
  bool cancelled = false;         // ended by the user's Cancel
  // What the transfer journal was given; `kind` is empty when nothing was recorded
  // (the image could not be opened). A copy that had not one Client to copy to
  // (none checked) is not written to the journal: it never started.
  JournalFacts journal;
  bool succeeded() const { return transfer_ran && targets > 0 && not_done == 0; }
};

class CopyFlow {
 public:
  CopyFlow(ControllerCore& core, CopyFlowPort& port);

  // The Copy command, on the user-interface thread.
  CopyFlowResult run(const CopyRequest& request);
  CopyFlowResult run(const std::string& image_path, const CopyOptions& options) {
    return run(CopyRequest{.image_path = image_path, .options = options});
  }

  // The checks of the Copy command made ahead of time (the Schedule command makes
  // them before its countdown): opens the image, rebuilds the targets, refuses an
  // empty target table, sums the partition sizes and checks the space (with
  // `skip_unready`, a disk too small leaves its Client out, and nobody left fails).
  // False after a message or the low-disk-space list. Without `require_targets`
  // an empty target table passes (PCs still to come).
  bool prepare(const CopyRequest& request, ImageFile& image, bool require_targets = true);

  // Compares the image size in sectors with each target's selected disk as its
  // Client announced it. With a failure, unchecks the failing rows, shows the
  // low-disk-space list and returns false.
  bool disk_space_suffices(std::uint64_t image_sectors) { return check_disk_space(image_sectors, false); }

  // The Copy supervision (every 500 ms).
  void supervise();

  // Whether the PCs' reports after the last copy are still awaited (supervise()
  // records them once they are in).
  bool awaiting_after_copy() const { return after_copy_.waiting(); }

  // Whether a Transfer dialog is open now (no discovery requests meanwhile).
  bool transfer_dialog_open() const { return transfer_ != nullptr && !transfer_->ended(); }

  // The reason for a Client asked for that was not discovered.
  static constexpr const char* kOfflineReason = "offline: not discovered";

 private:
  int target_count();
  // Opens the image and rebuilds the targets (refusing an empty target table with
  // `require_targets`); the summed size in sectors, or nothing after a message.
  std::optional<std::uint64_t> open_image(const std::string& image_path, const CopyOptions& options,
                                          ImageFile& image, bool require_targets = false);
  // The disk space check; with `skip`, the targets without room are left out
  // instead, and it fails only when nobody is left. Either way the report learns
  // who had too small a disk.
  bool check_disk_space(std::uint64_t image_sectors, bool skip);
  CopyEnd how_it_ended(const CopyTransfer& transfer, int not_done) const;
  // The running copy has ended as `end` says: its figures, each target's outcome
  // and the journal line, once per copy, as soon as the end is known.
  void conclude(CopyEnd end);
  void record(const CopyRequest& request, CopyFlowResult& result, std::int64_t started_ms) const;
  void note_outcomes(CopyFlowResult& result);
  int count_not_done();
  std::vector<ClientRowFields> failed_targets();
  std::vector<TargetState> target_states();

  ControllerCore& core_;
  CopyFlowPort& port_;
  CopyTransfer* transfer_ = nullptr;  // while the flow runs one
  PendingScope* pending_ = nullptr;   // the targets' marks for the boot service, meanwhile
  bool ended_late_ = false;           // the supervision ended the copy
  // The copy that `run` has under way, for the supervision to conclude.
  struct Running {
    const CopyRequest* request = nullptr;
    CopyFlowResult* result = nullptr;
    std::int64_t started_ms = 0;
    bool concluded = false;
  };
  std::optional<Running> running_;
  AfterCopyReports after_copy_;
};

}  // namespace kestrelon
