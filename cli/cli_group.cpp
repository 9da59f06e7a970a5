// kestrelon-cli group: the groups of Clients that the window's Save Group and
// Load Group dialogs keep, in the same file and by the same rules: list them,
// show one (with which members answer now), save the chosen Clients as one,
// delete one, and set the computer names its PCs get after a Copy.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/group_store.h"
#include "app/settings_store.h"
#include "app/switch_check.h"
#include "cli_commands.h"
#include "client_choice.h"
#include "commands/group_load.h"
#include "commands/save_group_dialog.h"
#include "console_ui.h"
#include "core_options.h"
#include "error_report.h"
#include "group_names.h"
#include "json_text.h"
#include "model/client_row_text.h"
#include "stop_signal.h"
#include "text_table.h"
#include "whole_number.h"

namespace kestrelon::cli {

namespace {

struct ListArgs {
  bool json = false;
};

struct ShowArgs {
  std::string name;
  bool json = false;
  int discover_seconds = 0;  // 0: the members only, no discovery
  bool loopback = false;
};

struct SaveArgs {
  std::string name;
  bool all = false;
  std::vector<std::string> clients;
  int disk = 0;  // 1-based; 0 = each Client's current choice (its first disk)
  bool replace = false;
  SessionArgs session;
};

struct DeleteArgs {
  std::string name;
};

// The file the window uses when started the same way.
ProfileStore profile_in_use() { return ProfileStore(ProfileStore::default_path(SettingsStore::default_folder())); }

// The Save Group rules' messages on standard error; the replace question is
// answered by --replace.
class ConsoleGroupPort final : public GroupPort {
 public:
  explicit ConsoleGroupPort(bool replace) : replace_(replace) {}
  void show_message(const std::string& text) override {
    report_error("group save", text);
  }
  bool ask_yes_no(const std::string& text) override {
    if (!replace_) report_error("group save", text + " (--replace replaces it)");
    return replace_;
  }

 private:
  bool replace_;
};

int run_list(const ListArgs& a) {
  ProfileStore profile = profile_in_use();
  const GroupStore store(profile);
  const std::vector<std::string> names = store.names();
  if (a.json) {
    Json groups = Json::array();
    for (const std::string& name : names)
      groups.push_back({{"name", name}, {"members", store.read(name).size()}});
    std::printf("%s\n", json_text(Json{{"groups", groups}}).c_str());
  } else {
    for (const std::string& name : names) std::printf("%s\n", printable(name).c_str());
  }
  return kExitOk;
}

// Reads the group's rows into `members`; false after a message when there is no
// such group.
bool read_members(const GroupStore& store, const std::string& name, CheckListModel& members, const char* command) {
  read_group_rows(store, name, members);
  if (store.find(name)) return true;
  report_error(command, "no group '" + printable(name) + "' in " + store.profile().path().string());
  return false;
}

int run_show(const ShowArgs& a, const Args& switch_words) {
  CheckListModel members;
  members.insert_client_columns();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.loopback, switch_words));
  const GroupStore store(core.profile());
  if (!read_members(store, a.name, members, "group show")) return kExitFailed;
  const bool discovered = a.discover_seconds > 0;
  if (discovered) {
    install_stop_signals();
    if (!core.start()) {
      ui.drain();
      return kExitFailed;
    }
    std::vector<std::string> wanted;
    for (int r = 0; r < members.row_count(); ++r) wanted.push_back(members.cell(r, 0));
    discover_clients(core, ui, wanted, a.discover_seconds);
    // The matching of Load Group: by address, MAC address or name.
    for (const MovedMember& m : load_group(core, members).moved)
      std::fprintf(stderr, "kestrelon-cli group show: %s\n", printable(moved_member_text(m)).c_str());
    core.shutdown();
    ui.drain();
  }
  const std::string group = *store.find(a.name);
  if (a.json) {
    Json list = Json::array();
    for (int r = 0; r < members.row_count(); ++r) {
      // As every JSON of the command line writes addresses: a plain dotted quad.
      const auto address = address_from_padded_text(members.cell(r, 1));
      Json m = {{"name", members.cell(r, 0)},
                {"address", address ? address->text() : members.cell(r, 1)},
                {"disks", character_count(members.cell(r, 2))},
                {"target", members.cell(r, 3)}};
      if (discovered) m["online"] = members.check_state(r) == kChecked;
      list.push_back(std::move(m));
    }
    std::printf("%s\n", json_text(Json{{"group", group}, {"members", list}}).c_str());
    return kExitOk;
  }
  std::vector<std::vector<std::string>> lines{{"Name", "IP Address", "Disk(s)", "Target"}};
  if (discovered) lines[0].push_back("Online");
  for (int r = 0; r < members.row_count(); ++r) {
    lines.push_back({printable(members.cell(r, 0)), printable(members.cell(r, 1)),
                     std::to_string(character_count(members.cell(r, 2))), printable(members.cell(r, 3))});
    if (discovered) lines.back().push_back(members.check_state(r) == kChecked ? "yes" : "no");
  }
  std::printf("Group %s:\n", printable(group).c_str());
  print_text_table(lines);
  return kExitOk;
}

int run_save(const SaveArgs& a, const Args& switch_words) {
  if (a.all == !a.clients.empty()) return usage_error("group save", "give either --all or one or more --client");
  if (a.name.find_first_not_of(" \t") == std::string::npos) return usage_error("group save", kEnterGroupNameText);
  if (!GroupStore::valid_name(a.name)) return usage_error("group save", kBadGroupNameText);

  install_stop_signals();
  ConsoleUi ui;
  ControllerCore core(ui, make_core_options(a.session.loopback, switch_words));
  ConsoleGroupPort port(a.replace);
  // Asked before discovering, so a name in use costs no waiting.
  if (!a.replace && GroupStore(core.profile()).find(a.name)) {
    port.ask_yes_no(kReplaceGroupText);
    return kExitFailed;
  }
  if (!core.start()) {
    ui.drain();
    return kExitFailed;
  }
  discover_clients(core, ui, a.all ? std::vector<std::string>{} : a.clients, a.session.discover_seconds);
  int exit_code = kExitFailed;
  if (!stop_requested() && report_missing("group save", check_clients(core, a.all, a.clients),
                                                 core.main_client_list().rows(), a.session.discover_seconds) &&
      report_lacking("group save", a.disk, choose_disk(core, a.disk, false))) {
    SaveGroupDialog rules(core, port);
    if (rules.save(a.name)) {
      int members = 0;
      core.main_client_list().rows().last_checked(&members);
      std::printf("Saved group %s with %d member(s) in %s.\n", printable(a.name).c_str(), members,
                  core.profile().path().c_str());
      exit_code = kExitOk;
    }
  }
  core.shutdown();
  ui.drain();
  return exit_code;
}

int run_delete(const DeleteArgs& a) {
  ProfileStore profile = profile_in_use();
  GroupStore store(profile);
  const std::optional<std::string> group = store.find(a.name);
  if (!group) {
    report_error("group delete", "no group '" + printable(a.name) + "' in " + profile.path().string());
    return kExitFailed;
  }
  if (!store.remove(*group)) {
    report_error("group delete", profile.path().string() + " could not be written");
    return kExitFailed;
  }
  std::printf("Deleted group %s.\n", printable(*group).c_str());
  return kExitOk;
}

CommandRun define_group(CLI::App& command) {
  command.require_subcommand(1);
  command.footer(
      "Groups are kept in kestreln.ini beside settings.ini in the settings folder, or beside the\n"
      "program when a kestreln.ini exists there; KESTRELON_PROFILE names another file.\n"
      "Group names do not depend on letter case: \"Lab A\" and \"lab a\" are one group.\n"
      "Name plans are kept beside them in names.ini.");

  auto list_args = std::make_shared<ListArgs>();
  CLI::App* list = command.add_subcommand("list", "list the groups, sorted");
  list->add_flag("--json", list_args->json, "print JSON");

  auto show_args = std::make_shared<ShowArgs>();
  CLI::App* show = command.add_subcommand("show", "list a group's members");
  show->add_option("NAME", show_args->name, "the group")->required();
  show->add_flag("--json", show_args->json, "print JSON");
  show->add_option("--discover-seconds", show_args->discover_seconds,
                   "discover for at most S seconds and tell which members answer")
      ->type_name("S")
      ->check(whole_number(1, 3600));
  show->add_flag("--loopback", show_args->loopback, "also open endpoints on loopback addresses");

  auto save_args = std::make_shared<SaveArgs>();
  CLI::App* save = command.add_subcommand("save", "save the chosen Clients, each with its target disk, as a group");
  save->add_option("NAME", save_args->name, "the group's name")->required();
  CLI::Option* client = save->add_option("--client", save_args->clients,
                                         "the Client named X or with address X (repeat for more)")
                            ->type_name("X")
                            ->allow_extra_args(false);
  save->add_flag("--all", save_args->all, "every Client discovered")->excludes(client);
  save->add_option("--disk", save_args->disk, "target disk N of every member (1 = the first disk)")
      ->type_name("N")
      ->check(whole_number(1, kMaxDisks));
  save->add_flag("--replace", save_args->replace, "replace a group of that name");
  add_session_options(*save, save_args->session);

  auto delete_args = std::make_shared<DeleteArgs>();
  CLI::App* remove = command.add_subcommand("delete", "delete a group");
  remove->add_option("NAME", delete_args->name, "the group")->required();

  auto names_args = std::make_shared<GroupNamesArgs>();
  CLI::App* names = command.add_subcommand(
      "names", "set or show the computer names the group's PCs get after a Copy (its name plan)");
  names->add_option("NAME", names_args->group, "the group")->required();
  names->add_option("--pattern", names_args->pattern,
                    "name the members without a name of their own P, numbered in the order of their MAC "
                    "addresses: {nn} is the number with at least two digits (ROOM12-PC{nn})")
      ->type_name("P");
  names->add_option("--first", names_args->first, "the pattern's first number (default 1)")
      ->type_name("N")
      ->check(whole_number(1, 9999));
  names->add_option("--name", names_args->names, "the PC with this card gets NAME (repeat for more)")
      ->type_name("MAC=NAME")
      ->allow_extra_args(false);
  names->add_option("--unname", names_args->unnamed, "forget the name given to this card (repeat for more)")
      ->type_name("MAC")
      ->allow_extra_args(false);
  names->add_flag("--no-pattern", names_args->no_pattern, "drop the pattern");
  names->add_flag("--clear", names_args->clear, "drop the whole plan: a Copy leaves the names as they are");
  names->add_flag("--json", names_args->json, "print JSON");

  return [=](const Args& switch_words) {
    // Only the commands that open the network take the Controller's switches.
    const bool networked = save->parsed() || (show->parsed() && show_args->discover_seconds > 0);
    if (!networked && !switch_words.empty()) {
      return usage_error("group", "takes the Controller's switches only to discover ('" + switch_words.front() + "')");
    }
    if (const std::string problem = switch_words_problem(switch_words); !problem.empty()) {
      return usage_error("group", problem);
    }
    if (list->parsed()) return run_list(*list_args);
    if (show->parsed()) return run_show(*show_args, switch_words);
    if (save->parsed()) return run_save(*save_args, switch_words);
    if (names->parsed()) return run_group_names(*names_args);
    return run_delete(*delete_args);
  };
}

[[maybe_unused]] const bool registered = register_command(
    {"group", "list, show, save or delete the groups of Clients, or set their PCs' computer names", SwitchWords::taken, define_group});

}  // namespace

}  // namespace kestrelon::cli
