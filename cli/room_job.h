#pragma once
// copy --wake, --min-clients, --max-wait, --include-protected and --dry-run: the
// parts of an unattended copy to a room that come before the Copy itself. The
// targets are marked pending for the boot service and woken; the command then
// discovers until enough of them are listed or the wait ends (a status line on a
// terminal, an event per PC with --json); protected Clients are left out unless
// included; a dry run makes every check and says what would happen.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "commands/copy_flow.h"
#include "commands/room_start.h"
#include "console_ui.h"
#include "transfer_output.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kestrelon::cli {

struct RoomArgs {
  static constexpr int kDefaultMaxWait = 300;
  bool wake = false;
  std::vector<std::string> directed;
  int min_clients = 0;  // 0: every target
  int max_wait = -1;    // seconds; -1: not given
  bool include_protected = false;
  bool dry_run = false;
  // Whether the copy waits for its PCs before it starts.
  bool waits() const { return wake || min_clients > 0 || max_wait >= 0; }
  int max_wait_seconds() const { return max_wait >= 0 ? max_wait : kDefaultMaxWait; }
};

// Adds the options, bound to `out`.
void add_room_options(CLI::App& command, RoomArgs& out);
// A mistake in the options ("" when none); `named_targets` is false for --all.
std::string room_args_problem(const RoomArgs& args, bool named_targets);

// Marks, wakes and waits, printing each PC's wake and a status line.
class ConsoleRoomStart {
 public:
  // `count_ready` checks the rows of the targets listed now and says how many
  // are ready.
  ConsoleRoomStart(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, const RoomArgs& args,
                   std::vector<WakeWanted> pcs, std::function<int()> count_ready);
  // True when the copy is to start; false when nobody came (after a message) or
  // Ctrl-C ended the wait.
  bool run();
  const RoomStart& room() const { return room_; }
  // `left_out` with the reasons this job knows for the PCs that did not come up.
  void explain(std::vector<LeftOutClient>& left_out) const;

 private:
  ControllerCore& core_;
  ConsoleUi& ui_;
  TransferOutput& output_;
  const RoomArgs& args_;
  std::function<int()> count_ready_;
  RoomStart room_;
};

// The PCs of `copy --group NAME` (its members, with their stored addresses) or
// of the Clients named.
std::vector<WakeWanted> room_pcs(ControllerCore& core, const std::string& group,
                                 const std::vector<std::string>& clients);
// The job for them: ready are the listed ones, found as Load Group finds a
// group's members, or by name or address.
std::unique_ptr<ConsoleRoomStart> room_start(ControllerCore& core, ConsoleUi& ui, TransferOutput& output,
                                             const RoomArgs& args, const std::string& group,
                                             const std::vector<std::string>& clients);

// The wake of each PC: a line, or with --json an event.
void print_wake(TransferOutput& output, const WakeOutcome& outcome);
// The JSON line of one PC's wake, as `wake` and `copy --wake` both print it.
std::string wake_json_line(const WakeOutcome& outcome);

// Unchecks the checked rows of protected Clients (unless `include`), says so,
// and returns them as left out.
std::vector<LeftOutClient> leave_out_protected(ControllerCore& core, TransferOutput& output, bool include);

// What a dry run would do: wake whom, wait how long, copy the image to which
// Client on which disk, leave out whom and why. Sends nothing; true when the
// copy would go ahead. `request` has passed none of the Copy's checks yet.
bool dry_run(ControllerCore& core, CopyFlow& flow, TransferOutput& output, const RoomArgs& args,
             const std::vector<WakeWanted>& pcs, const CopyRequest& request);

}  // namespace kestrelon::cli
