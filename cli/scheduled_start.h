#pragma once
// copy --at HH:MM and --after DURATION: the start they name, and the wait for it
// once the Copy's checks have passed. The wait runs the window's countdown model
// on the wall clock; meanwhile the Controller keeps discovering as the window
// does, a terminal shows a countdown line, and Ctrl-C ends the wait.
#include <cstdint>
#include <optional>
#include <string>

#include "app/controller_core.h"
#include "commands/schedule_flow.h"
#include "console_ui.h"
#include "transfer_output.h"

namespace CLI {
class App;
}

namespace kestrelon::cli {

struct StartArgs {
  std::string at;     // "HH:MM"
  std::string after;  // "90s", "45m", "2h", "1h30m"
  bool given() const { return !at.empty() || !after.empty(); }
};

// Adds --at and --after (one or the other) bound to `out`.
void add_start_options(CLI::App& command, StartArgs& out);

// The wall-clock second `args` names, read at `now`; nothing for a text that names
// none (the caller reports it as a usage mistake).
std::optional<std::int64_t> start_time(const StartArgs& args, std::int64_t now);

class ConsoleCountdown final : public SchedulePort {
 public:
  ConsoleCountdown(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, std::int64_t start)
      : core_(core), ui_(ui), output_(output), start_(start) {}

  // True when the start time came; false when Ctrl-C ended the wait.
  bool run_schedule_dialog() override;

 private:
  ControllerCore& core_;
  ConsoleUi& ui_;
  TransferOutput& output_;
  std::int64_t start_;
};

}  // namespace kestrelon::cli
