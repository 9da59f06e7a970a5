// kestrelon-cli wake: switches PCs on with Wake-on-LAN, by the MAC addresses
// the Client inventory remembers for them: a group's members or the Clients
// named. Each gets its magic packet on the network it was last seen on (and at
// every --directed-broadcast address). Exit code 0 when every PC's packet went
// out, 3 when only some could be sent, 1 when none.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/client_inventory.h"
#include "app/group_store.h"
#include "app/settings_store.h"
#include "app/transfer_journal.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "error_report.h"
#include "commands/wake_pcs.h"
#include "room_job.h"

namespace kestrelon::cli {

namespace {

constexpr int kExitSome = 3;

struct WakeArgs {
  std::string group;
  std::vector<std::string> clients;
  std::vector<std::string> directed;
  bool json = false;
};

void print_outcome(const WakeOutcome& o, bool json) {
  if (json) {
    std::printf("%s\n", wake_json_line(o).c_str());
    return;
  }
  std::string text = printable(o.name) + (o.mac ? " (" + o.mac->text() + ")" : "");
  if (o.woken()) {
    std::string to;
    for (Ipv4Address a : o.sent_to) to += (to.empty() ? "" : ", ") + a.text();
    text += ": magic packet sent to " + to;
    if (!o.problem.empty()) text += "; " + o.problem;
  } else {
    text += ": not woken: " + o.problem;
  }
  std::printf("%s\n", text.c_str());
}

int run_wake(const WakeArgs& a) {
  if (a.group.empty() == a.clients.empty()) return usage_error("wake", "give either --group or one or more --client");
  std::vector<Ipv4Address> directed;
  for (const std::string& d : a.directed) {
    const auto address = Ipv4Address::parse(d);
    if (!address) return usage_error("wake", "--directed-broadcast takes an IPv4 address, not '" + printable(d) + "'");
    directed.push_back(*address);
  }
  std::vector<WakeWanted> wanted;
  if (!a.group.empty()) {
    ProfileStore profile(ProfileStore::default_path(SettingsStore::default_folder()));
    const GroupStore store(profile);
    if (!store.find(a.group)) {
      report_error("wake", "no group '" + printable(a.group) + "' in " + profile.path().string());
      return kExitFailed;
    }
    for (const GroupEntry& e : store.read(a.group)) wanted.push_back({e.name, e.address});
  } else {
    for (const std::string& c : a.clients) wanted.push_back({c, c});
  }
  const ClientInventory inventory(ClientInventory::beside(TransferJournal::default_file()));
  const ClientInventory::Contents contents = inventory.read();
  if (!contents.problem.empty()) {
    report_error("wake", inventory.file().string() + " does not read as a Client inventory: " + contents.problem);
    return kExitFailed;
  }
  const std::vector<WakeOutcome> outcomes = wake_pcs(contents.entries, wanted, directed, WakeSeams::system());
  int woken = 0;
  for (const WakeOutcome& o : outcomes) {
    print_outcome(o, a.json);
    woken += o.woken() ? 1 : 0;
  }
  if (woken == 0) return kExitFailed;
  return woken == static_cast<int>(outcomes.size()) ? kExitOk : kExitSome;
}

CommandRun define_wake(CLI::App& command) {
  auto a = std::make_shared<WakeArgs>();
  CLI::Option* group = command.add_option("--group", a->group, "the members of group NAME")->type_name("NAME");
  command.add_option("--client", a->clients, "the Client named X (repeat for more)")
      ->type_name("X")
      ->allow_extra_args(false)
      ->excludes(group);
  command
      .add_option("--directed-broadcast", a->directed,
                  "also send every packet to this broadcast address (a network behind a router; repeat for more)")
      ->type_name("ADDRESS")
      ->allow_extra_args(false);
  command.add_flag("--json", a->json, "print one JSON object per PC");
  command.footer(
      "Sends each PC a Wake-on-LAN magic packet (UDP port 9) to the broadcast address of the\n"
      "network it was last seen on, by the MAC address the Client inventory remembers\n"
      "('kestrelon-cli clients'). A PC the Controller has never listed cannot be woken.\n"
      "Whether a PC then boots into the Client or its own system is for the boot service\n"
      "to say: only PCs with a transfer waiting boot into the Client ('copy --wake').\n"
      "Exit code: 0 every packet went out; 3 some PCs could not be woken; 1 none.");
  return [a](const Args&) { return run_wake(*a); };
}

[[maybe_unused]] const bool registered = register_command(
    {"wake", "switch PCs on with Wake-on-LAN", SwitchWords::refused, define_wake});

}  // namespace

}  // namespace kestrelon::cli
