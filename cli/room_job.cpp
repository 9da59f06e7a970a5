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

namespace {

RoomRequest request_of(const RoomArgs& a, std::vector<WakeWanted> pcs) {
  RoomRequest r{.pcs = std::move(pcs), .wake = a.wake, .min_clients = a.min_clients,
                .max_wait_ms = static_cast<Tick>(a.max_wait_seconds()) * 1000};
  for (const std::string& d : a.directed) r.directed.push_back(*Ipv4Address::parse(d));
  return r;
}

}  // namespace

ConsoleRoomStart::ConsoleRoomStart(ControllerCore& core, ConsoleUi& ui, TransferOutput& output, const RoomArgs& args,
                                   std::vector<WakeWanted> pcs, std::function<int()> count_ready)
    : core_(core), ui_(ui), output_(output), args_(args), count_ready_(std::move(count_ready)),
      room_(core, request_of(args, std::move(pcs))) {}

bool ConsoleRoomStart::run() {
  // Whoever is on already is listed before the wake, so only the others are woken.
  const auto settle = Steady::now() + 2s;
  while (Steady::now() < settle && !stop_requested()) {
    ui_.drain();
    core_.idle_pass();
    std::this_thread::sleep_for(kPoll);
  }
  for (const WakeOutcome& o : room_.begin(core_.clock().now())) print_wake(output_, o);
  if (args_.wake && !room_.pending_problem().empty())
    output_.message("the boot service is not told which PCs to start into the Client: " + room_.pending_problem());
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
      const int ready = count_ready_();
      const Tick tick = core_.clock().now();
      switch (room_.poll(ready, tick)) {
        case RoomWait::Decision::start:
          output_.message(std::to_string(ready) + " of " + std::to_string(room_.wait().targets()) +
                          " targets ready; the copy starts");
          return true;
        case RoomWait::Decision::give_up:
          output_.message("no target came up within " + std::to_string(args_.max_wait_seconds()) +
                          " s; nothing was copied");
          return false;
        case RoomWait::Decision::wait:
          output_.status({std::to_string(ready) + " of " + std::to_string(room_.wait().targets()) + " ready",
                          "starting at " + std::to_string(room_.wait().min_clients()),
                          minutes_text(room_.wait().remaining(tick)) + " left", "Ctrl-C cancels"});
          break;
      }
    }
    std::this_thread::sleep_for(kPoll);
  }
  output_.message("cancelled while waiting for the PCs; nothing was copied");
  return false;
}

void ConsoleRoomStart::explain(std::vector<LeftOutClient>& left_out) const {
  for (LeftOutClient& c : left_out)
    if (c.reason == CopyFlow::kOfflineReason) c.reason = room_.absent_reason(c.name);
}

std::vector<WakeWanted> room_pcs(ControllerCore& core, const std::string& group,
                                 const std::vector<std::string>& clients) {
  std::vector<WakeWanted> pcs;
  if (group.empty()) {
    for (const std::string& c : clients) pcs.push_back({c, c});
    return pcs;
  }
  for (const GroupEntry& e : GroupStore(core.profile()).read(group)) pcs.push_back({e.name, e.address});
  return pcs;
}

std::unique_ptr<ConsoleRoomStart> room_start(ControllerCore& core, ConsoleUi& ui, TransferOutput& output,
                                             const RoomArgs& args, const std::string& group,
                                             const std::vector<std::string>& clients) {
  std::function<int()> count_ready;
  if (!group.empty()) {
    auto members = std::make_shared<CheckListModel>();
    members->insert_client_columns();
    read_group_rows(GroupStore(core.profile()), group, *members);
    count_ready = [&core, members] { return members->row_count() - load_group(core, *members).missing; };
  } else {
    count_ready = [&core, clients] {
      core.main_client_list().rows().uncheck_all();
      return static_cast<int>(clients.size() - check_clients(core, false, clients).size());
    };
  }
  return std::make_unique<ConsoleRoomStart>(core, ui, output, args, room_pcs(core, group, clients),
                                            std::move(count_ready));
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

bool dry_run(ControllerCore& core, CopyFlow& flow, TransferOutput& output, const RoomArgs& args,
             const std::vector<WakeWanted>& pcs, const CopyRequest& request) {
  output.message("dry run: nothing is sent");
  if (args.wake) {
    // The wake as it would go, with a sender that sends nothing.
    WakeSeams seams = WakeSeams::system();
    seams.send = [](const MacAddress&, Ipv4Address, Ipv4Address) { return 0; };
    const std::vector<InventoryEntry> inventory = core.inventory().read().entries;
    std::vector<WakeWanted> off;
    for (const WakeWanted& w : pcs) {
      const auto& listed = core.mac_learner().listed();
      const bool on = std::any_of(listed.begin(), listed.end(),
                                  [&](const ListedClient& l) { return same_client_name(l.name, w.name); });
      if (!on) off.push_back(w);
    }
    for (const WakeOutcome& o : wake_pcs(inventory, off, request_of(args, {}).directed, seams)) {
      output.text("would " + std::string(o.woken() ? "wake " : "not wake ") + printable(o.name) +
                  (o.woken() ? " (" + o.mac->text() + ", to " + o.sent_to.front().text() + ")" : ": " + o.problem));
    }
  }
  if (args.waits()) {
    output.text("would wait up to " + std::to_string(args.max_wait_seconds()) + " s for " +
                (args.min_clients > 0 ? std::to_string(args.min_clients) + " of " : std::string("all ")) +
                std::to_string(pcs.size()) + " target(s), then copy to those ready");
  }
  for (const LeftOutClient& c : request.left_out)
    output.text("would leave out " + printable(c.name) + ": " + c.reason);
  ImageFile image;
  if (!flow.prepare(request, image)) {
    output.text("the copy would not start");
    return false;
  }
  const std::uint64_t bytes = image.length().value_or(0);
  image.close();
  std::vector<std::string> lines;
  {
    SemaphoreGuard hold(core.locks().client_table);
    const ClientTables& t = core.tables();
    for (int i = 0; i < t.target_count; ++i) {
      const ClientRecord& target = t.targets[static_cast<std::size_t>(i)];
      const int c = t.find_client(target.address);
      const ClientRecord& client = c >= 0 ? t.clients[static_cast<std::size_t>(c)] : target;
      lines.push_back("  " + printable(client.name_text()) + "  " + client.address.text() + "  disk " +
                      std::to_string(client.selected_disk + 1) + " (" +
                      std::to_string(client.selected_disk_sectors() >> 11) + "Mb)");
    }
  }
  output.text("would copy " + request.image_path + " (" + std::to_string(bytes) + " bytes) to " +
              std::to_string(lines.size()) + " client(s):");
  for (const std::string& l : lines) output.text(l);
  // The names the PCs would take after the copy.
  if (!request.keep_names) {
    const CopyNamePlan names = plan_copy_names(core, request.group);
    if (!names.problem.empty()) output.text("no names: " + names.problem);
    if (names.any_plan) {
      for (const NamedTarget& t : names.targets) output.naming(t);
    }
  }
  return true;
}

}  // namespace kestrelon::cli
