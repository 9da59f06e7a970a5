#pragma once
// Groups as rows of check lists, for the Save Group and Load Group dialogs and the
// command line: the members a save takes from the main client list, the rows a
// stored group shows, and loading a group into the main client list.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/check_list_model.h"
#include "model/group_entry.h"
#include "net/client_record.h"
#include "platform/mac_address.h"

namespace kestrelon {

// The members a save writes: the fields of every checked row, as its cells show
// them, in row order. These are the rows the target table is rebuilt from (rows
// whose address is in the padded form), and what the rows show is written even for
// a selected disk the Client does not have.
std::vector<ClientRowFields> checked_members(const CheckListModel& rows);

// Appends an unchecked row showing `entry`: its name and address, one disk mark
// per disk (at most the four a Client can have), and the target text "Disk " +
// (selected disk + 1) + " (" + size + "Mb)" with the size field as stored.
void append_group_row(CheckListModel& rows, const GroupEntry& entry);

// What loading knows of MAC addresses: the listed Client's at a row's address
// text, and the one the Client inventory remembers for a member's name. Either
// may be empty (nothing known: members are then found by address and name).
struct GroupMacs {
  std::function<std::optional<MacAddress>(const std::string& address_text)> of_row;
  std::function<std::optional<MacAddress>(const std::string& member_name)> of_member;
};

// A member found at another address than the one the group stores.
struct MovedMember {
  std::string name;
  std::string stored_address;  // padded texts
  std::string address;
};

// Loads a group whose entries are the rows of `members` into the main client
// list. The caller has unchecked both lists and holds the client table lock.
// Each member's Client is found as match_group_members says (its stored
// address, else its MAC address, else its name); that main row is checked and
// takes the member's target text (with several members on one row the last one
// wins); each Client of the client table at that row's address gets the member's
// selected disk (the digit after "Disk ", minus 1); the member's row is checked.
// The members left unchecked are not on the network. Returns the members that
// answer at another address now; `found_rows`, when given, receives each
// member's (first) main row, -1 for those not on the network.
std::vector<MovedMember> load_group_rows(CheckListModel& main, CheckListModel& members, ClientTables& tables,
                                         const GroupMacs& macs = {}, std::vector<int>* found_rows = nullptr);

// Appends the four cell texts of every unchecked row of `from` to `to`, in order.
void append_unchecked_rows(const CheckListModel& from, CheckListModel& to);

}  // namespace kestrelon
