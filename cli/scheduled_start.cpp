#include "scheduled_start.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <ctime>
#include <thread>

#include "model/schedule_countdown.h"
#include "model/schedule_request.h"
#include "net/client_registry.h"
#include "stop_signal.h"

namespace kestrelon::cli {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Often enough that Ctrl-C answers at once and the line changes on the second.
constexpr auto kPoll = 100ms;

std::int64_t wall_now() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace

void add_start_options(CLI::App& command, StartArgs& out) {
  CLI::Option* at = command.add_option("--at", out.at,
                                       "start at this clock time (24-hour), today or tomorrow when it has "
                                       "passed; the checks are made at once")
                        ->type_name("HH:MM");
  command.add_option("--after", out.after, "start after this delay: 90s, 45m, 2h or 1h30m; the checks are made at once")
      ->type_name("DURATION")
      ->excludes(at);
}

std::optional<std::int64_t> start_time(const StartArgs& args, std::int64_t now) {
  if (!args.at.empty()) return next_clock_time(args.at, now);
  if (const auto delay = parse_delay(args.after)) return now + *delay;
  return std::nullopt;
}

bool ConsoleCountdown::run_schedule_dialog() {
  ScheduleCountdown countdown(wall_now());
  countdown.schedule_at(start_);
  countdown.press_start();
  output_.message("the copy starts at " + schedule_time_text(countdown.start()));
  auto next_discovery = Steady::now() + std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
  while (!stop_requested()) {
    if (countdown.tick(wall_now())) return true;
    if (countdown.take_display())
      output_.status({"copy starts in " + schedule_delay_text(countdown.delay()),
                       "at " + schedule_time_text(countdown.start()), "Ctrl-C cancels"});
    // The window goes on discovering while its countdown runs, so the Clients
    // stay listed; so does the command line.
    ui_.drain();
    core_.idle_pass();
    if (Steady::now() >= next_discovery) {
      core_.registry().discover(false);
      next_discovery += std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
    }
    std::this_thread::sleep_for(kPoll);
  }
  output_.message("cancelled before the start; nothing was sent");
  return false;
}

}  // namespace kestrelon::cli
