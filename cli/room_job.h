#pragma once
// copy --wake, --min-clients, --max-wait, --include-protected and --dry-run: the
// parts of an unattended copy to a room that come before the Copy itself. The
// PCs that can receive the image (room_targets.h) are marked pending for the boot
// service and woken; the command then discovers until enough of them are listed
// and ready or the wait ends (a status line on a terminal, an event per PC with
// --json); the others are left out at once, each with why; a dry run
// (room_dry_run.h) makes every check and says what would happen.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/controller_core.h"
#include "commands/copy_flow.h"
#include "commands/room_start.h"
#include "commands/room_targets.h"
#include "console_ui.h"
#include "room_pcs.h"
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

// Plans, marks, wakes and waits, printing each PC's wake and a status line.
class ConsoleRoomStart {
 public:
  // `image_sectors`: what the image needs of a target disk (room_targets.h).
  ConsoleRoomStart(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, const RoomArgs& args, RoomPcs pcs,
                   std::uint64_t image_sectors);
  // True when the copy is to start; false when nobody can or did come (after a
  // message) or Ctrl-C ended the wait.
  bool run();
  const RoomStart* room() const { return room_.get(); }
  // `left_out` as the job knows it: the PCs the plan left out with the plan's
  // reason alone (their rows unchecked), the PCs that did not come up with why.
  void explain(std::vector<LeftOutClient>& left_out) const;

 private:
  int count_ready();

  ControllerCore& core_;
  ConsoleUi& ui_;
  TransferOutput& output_;
  const RoomArgs& args_;
  RoomPcs pcs_;
  std::uint64_t image_sectors_;
  RoomPlan plan_;
  std::unique_ptr<RoomStart> room_;
};

// The wake of each PC: a line, or with --json an event.
void print_wake(TransferOutput& output, const WakeOutcome& outcome);
// The JSON line of one PC's wake, as `wake` and `copy --wake` both print it.
std::string wake_json_line(const WakeOutcome& outcome);

// Unchecks the checked rows of protected Clients (unless `include`), says so,
// and returns them as left out.
std::vector<LeftOutClient> leave_out_protected(ControllerCore& core, TransferOutput& output, bool include);

// The further broadcast addresses --directed-broadcast names.
std::vector<Ipv4Address> directed_addresses(const RoomArgs& args);

}  // namespace kestrelon::cli
