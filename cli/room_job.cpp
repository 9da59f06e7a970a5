#include "room_job.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/group_store.h"
#include "client_choice.h"
#include "commands/copy_naming.h"
#include "commands/group_load.h"
#include "commands/protected_targets.h"
#include "json_text.h"
#include "model/client_name.h"
#include "model/client_row_text.h"
#include "stop_signal.h"
#include "transfer/image_file.h"
#include "whole_number.h"

namespace kestrelon::cli {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPoll = 20ms;
constexpr auto kCheckPeriod = 500ms;

std::string minutes_text(Tick ms) {
  const Tick s = (ms + 999) / 1000;
  char text[16];
  std::snprintf(text, sizeof text, "%u:%02u", s / 60, s % 60);
  return text;
}

}  // namespace

void add_room_options(CLI::App& command, RoomArgs& out) {
  command.add_flag("--wake", out.wake,
                   "wake the targets first (Wake-on-LAN, by the MAC addresses of 'kestrelon-cli clients'), "
                   "then wait for them (--max-wait, default " + std::to_string(RoomArgs::kDefaultMaxWait) + " s)");
  command
      .add_option("--directed-broadcast", out.directed,
                  "with --wake: also send the packets to this broadcast address (repeat for more)")
      ->type_name("ADDRESS")
      ->allow_extra_args(false);
  command
      .add_option("--min-clients", out.min_clients,
                  "start as soon as N targets are listed and ready (default: all of them)")
      ->type_name("N")
      ->check(whole_number(1, kMaxClients));
  command
      .add_option("--max-wait", out.max_wait,
                  "wait at most SECONDS for them, then copy to those ready; the others are left out")
      ->type_name("SECONDS")
      ->check(whole_number(0, 86400));
  command.add_flag("--include-protected", out.include_protected,
                   "also copy to protected Clients ('kestrelon-cli clients protect'); they are left out otherwise");
  command.add_flag("--dry-run", out.dry_run,
                   "make every check and print the targets and what would happen; send nothing");
}

std::string room_args_problem(const RoomArgs& a, bool named_targets) {
  if (a.waits() && !named_targets)
    return "--wake, --min-clients and --max-wait need the targets named: --group or --client";
  if (!a.directed.empty() && !a.wake) return "--directed-broadcast goes with --wake";
  for (const std::string& d : a.directed)
    if (!Ipv4Address::parse(d)) return "--directed-broadcast takes an IPv4 address, not '" + printable(d) + "'";
  return "";
}

std::string wake_json_line(const WakeOutcome& o) {
  Json sent = Json::array();
  for (Ipv4Address a : o.sent_to) sent.push_back(a.text());
  Json line = {{"event", "wake"}, {"name", o.name}, {"mac", o.mac ? Json(o.mac->text()) : Json()},
               {"woken", o.woken()}, {"sent_to", sent}};
  if (!o.problem.empty()) line["problem"] = o.problem;
  return json_text(line);
}

void print_wake(TransferOutput& output, const WakeOutcome& o) {
  if (output.json()) {
    std::printf("%s\n", wake_json_line(o).c_str());
    std::fflush(stdout);
    return;
  }
  std::string to;
  for (Ipv4Address a : o.sent_to) to += (to.empty() ? "" : ", ") + a.text();
  output.text(printable(o.name) + (o.woken() ? ": woken (magic packet to " + to + ")" : ": not woken: " + o.problem));
}

std::vector<Ipv4Address> directed_addresses(const RoomArgs& a) {
  std::vector<Ipv4Address> directed;
  for (const std::string& d : a.directed) directed.push_back(*Ipv4Address::parse(d));
  return directed;
}

ConsoleRoomStart::ConsoleRoomStart(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, const RoomArgs& args,
                                   RoomPcs pcs, std::uint64_t image_sectors)
    : core_(core), ui_(ui), output_(output), args_(args), pcs_(std::move(pcs)), image_sectors_(image_sectors) {}

int ConsoleRoomStart::count_ready() {
  const std::vector<ListedState> states = pcs_.look(core_, image_sectors_, args_.include_protected);
  int ready = 0;
  for (int row : plan_.rows) {
    const ListedState& s = states[static_cast<std::size_t>(row)];
    ready += s && s->empty() ? 1 : 0;
  }
  return ready;
}

bool ConsoleRoomStart::run() {
  // Whoever is on already is listed before the plan, so they are judged by what
  // they announce, and only the others are woken.
  const auto settle = Steady::now() + 2s;
  while (Steady::now() < settle && !stop_requested()) {
    ui_.drain();
    core_.idle_pass();
    std::this_thread::sleep_for(kPoll);
  }
  plan_ = plan_room({.pcs = &pcs_.rows(),
                     .listed = pcs_.look(core_, image_sectors_, args_.include_protected),
                     .inventory = core_.inventory().read().entries,
                     .image_sectors = image_sectors_,
                     .include_protected = args_.include_protected,
                     .wake = args_.wake,
                     .dry_seams = silent_wake_seams()});
  for (const LeftOutClient& c : plan_.left_out)
    output_.message("leaving out " + printable(c.name) + ": " + printable(c.reason));
  if (plan_.pcs.empty()) {
    output_.message("none of the " + std::to_string(pcs_.rows().row_count()) +
                    " PC(s) can receive the image; nothing was copied");
    return false;
  }
  room_ = std::make_unique<RoomStart>(core_, RoomRequest{.pcs = plan_.pcs,
                                                         .wake = args_.wake,
                                                         .directed = directed_addresses(args_),
                                                         .min_clients = args_.min_clients,
                                                         .max_wait_ms = static_cast<Tick>(args_.max_wait_seconds()) * 1000});
  for (const WakeOutcome& o : room_->begin(core_.clock().now())) print_wake(output_, o);
  if (args_.wake && !room_->pending_problem().empty())
    output_.message("the boot service is not told which PCs to start into the Client: " + room_->pending_problem());
  auto next_discovery = Steady::now();
  auto next_check = Steady::now();
  while (!stop_requested()) {
    ui_.drain();
    core_.idle_pass();
    const auto now = Steady::now();
    if (now >= next_discovery) {
      core_.registry().discover(false);
      next_discovery += std::chrono::milliseconds(ClientRegistry::kDiscoveryPeriodMs);
    }
    if (now >= next_check) {
      next_check += kCheckPeriod;
      const int ready = count_ready();
      const Tick tick = core_.clock().now();
      switch (room_->poll(ready, tick)) {
        case RoomWait::Decision::start:
          output_.message(std::to_string(ready) + " of " + std::to_string(room_->wait().targets()) +
                          " targets ready; the copy starts");
          return true;
        case RoomWait::Decision::give_up:
          output_.message("no target came up within " + std::to_string(args_.max_wait_seconds()) +
                          " s; nothing was copied");
          return false;
        case RoomWait::Decision::wait:
          output_.status({std::to_string(ready) + " of " + std::to_string(room_->wait().targets()) + " ready",
                          "starting at " + std::to_string(room_->wait().min_clients()),
                          minutes_text(room_->wait().remaining(tick)) + " left", "Ctrl-C cancels"});
          break;
      }
    }
    std::this_thread::sleep_for(kPoll);
  }
  output_.message("cancelled while waiting for the PCs; nothing was copied");
  return false;
}

void ConsoleRoomStart::explain(std::vector<LeftOutClient>& left_out) const {
  CheckListModel& rows = core_.main_client_list().rows();
  for (const LeftOutClient& planned : plan_.left_out) {
    std::erase_if(left_out, [&](const LeftOutClient& c) { return same_client_name(c.name, planned.name); });
    for (int r = 0; r < rows.row_count(); ++r) {
      const bool same = same_client_name(rows.cell(r, 0), planned.name) ||
                        (!planned.address.is_zero() && rows.cell(r, 1) == planned.address.padded_text());
      if (same && rows.check_state(r) == kChecked) rows.uncheck(r);
    }
  }
  for (LeftOutClient& c : left_out)
    if (c.reason == CopyFlow::kOfflineReason && room_) c.reason = room_->absent_reason(c.name);
  left_out.insert(left_out.end(), plan_.left_out.begin(), plan_.left_out.end());
}

std::vector<LeftOutClient> leave_out_protected(ControllerCore& core, TransferOutput& output, bool include) {
  const std::vector<ListedClient> found = protected_checked(core);
  if (found.empty()) return {};
  if (include) {
    output.message("copying to protected Client(s) as asked: " + client_list_text(found));
    return {};
  }
  output.message("leaving out protected Client(s): " + client_list_text(found) +
                 " (--include-protected copies to them too)");
  return kestrelon::leave_out_protected(core, found);
}

}  // namespace kestrelon::cli
