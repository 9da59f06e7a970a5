// kestrelon-cli clients: the Client inventory that every Controller run keeps
// beside the transfer journal (each PC it has listed, with its address, MAC
// address, when it was last seen and the last image it received), and the mark
// that protects a PC from being overwritten by a Copy.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "app/client_inventory.h"
#include "app/transfer_journal.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "error_report.h"
#include "text_table.h"

namespace kestrelon::cli {

namespace {

struct ClientsArgs {
  bool json = false;
};

struct ProtectArgs {
  std::string client;
};

ClientInventory inventory_in_use() { return ClientInventory(ClientInventory::beside(TransferJournal::default_file())); }

// Local time "2026-05-01 02:00", or "" for never.
std::string local_minutes(std::int64_t seconds) {
  if (seconds <= 0) return "";
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

int run_list(const ClientsArgs& a) {
  const ClientInventory inventory = inventory_in_use();
  const ClientInventory::Contents contents = inventory.read();
  if (!contents.problem.empty()) {
    report_error("clients", inventory.file().string() + " does not read as a Client inventory: " + contents.problem);
    return kExitFailed;
  }
  if (a.json) {
    std::printf("%s", inventory_text(contents.entries, -1).c_str());
    return kExitOk;
  }
  if (contents.entries.empty()) {
    std::fprintf(stderr, "kestrelon-cli clients: no Client listed yet (%s)\n", inventory.file().c_str());
    return kExitOk;
  }
  std::vector<std::vector<std::string>> lines{
      {"Name", "IP Address", "MAC Address", "Last seen", "Last image", "Protected"}};
  for (const InventoryEntry& e : contents.entries) {
    lines.push_back({printable(e.name), e.address.is_zero() ? "" : e.address.text(), e.mac ? e.mac->text() : "",
                     local_minutes(e.last_seen),
                     e.last_image.empty() ? "" : printable(e.last_image) + " (" + local_minutes(e.last_image_at) + ")",
                     e.is_protected ? "yes" : ""});
  }
  print_text_table(lines);
  return kExitOk;
}

// The entries `wanted` names: its name, else its MAC address, else the one entry
// last seen at that address.
std::vector<std::size_t> named_entries(const std::vector<InventoryEntry>& entries, const std::string& wanted) {
  if (const int i = find_entry(entries, wanted); i >= 0) return {static_cast<std::size_t>(i)};
  std::vector<std::size_t> found;
  if (const auto mac = MacAddress::parse(wanted)) {
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].mac == mac) found.push_back(i);
    return found;
  }
  if (const auto address = Ipv4Address::parse(wanted)) {
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].address == *address) found.push_back(i);
    if (found.size() > 1) found.clear();
  }
  return found;
}

int run_protect(const ProtectArgs& a, bool protect) {
  const char* command = protect ? "clients protect" : "clients unprotect";
  const ClientInventory inventory = inventory_in_use();
  std::vector<std::string> names;
  const std::string problem = inventory.update([&](std::vector<InventoryEntry>& entries) {
    for (std::size_t i : named_entries(entries, a.client)) {
      entries[i].is_protected = protect;
      names.push_back(entries[i].name);
    }
    return !names.empty();
  });
  if (!problem.empty()) {
    report_error(command, problem);
    return kExitFailed;
  }
  if (names.empty()) {
    report_error(command, "no Client '" + printable(a.client) + "' in " + inventory.file().string() +
                              " (a Client is added when a Controller lists it; 'kestrelon-cli clients' shows them)");
    return kExitFailed;
  }
  for (const std::string& name : names) {
    if (protect) {
      std::printf("%s is protected: a Copy leaves it out unless --include-protected.\n", printable(name).c_str());
    } else {
      std::printf("%s is no longer protected.\n", printable(name).c_str());
    }
  }
  return kExitOk;
}

CommandRun define_clients(CLI::App& command) {
  auto list_args = std::make_shared<ClientsArgs>();
  command.require_subcommand(0, 1);
  command.add_flag("--json", list_args->json, "print the inventory as one JSON object");
  auto protect_args = std::make_shared<ProtectArgs>();
  CLI::App* protect =
      command.add_subcommand("protect", "protect a Client: a Copy leaves it out unless --include-protected");
  protect->add_option("NAME", protect_args->client, "the Client's name (or MAC address)")->required();
  auto unprotect_args = std::make_shared<ProtectArgs>();
  CLI::App* unprotect = command.add_subcommand("unprotect", "take a Client's protection away");
  unprotect->add_option("NAME", unprotect_args->client, "the Client's name (or MAC address)")->required();
  command.footer(
      "Every Controller run (the window or kestrelon-cli) notes each Client it lists in\n"
      "clients.json beside the transfer journal ($XDG_STATE_HOME/kestrelon, or\n"
      "~/.local/state/kestrelon): name, address, MAC address (from the neighbour table),\n"
      "when it was last seen and the last image it received whole. Groups find their\n"
      "members by it when addresses change, and 'wake' and 'copy --wake' wake PCs by it.");
  return [=](const Args&) {
    if (protect->parsed()) return run_protect(*protect_args, true);
    if (unprotect->parsed()) return run_protect(*unprotect_args, false);
    return run_list(*list_args);
  };
}

[[maybe_unused]] const bool registered = register_command(
    {"clients", "list the PCs this Controller has seen; protect or unprotect one", SwitchWords::refused,
     define_clients});

}  // namespace

}  // namespace kestrelon::cli
