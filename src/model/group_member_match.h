#pragma once
// Which listed Client is which member of a group. A group keeps each member's
// name and the address it had when the group was saved; on a network whose
// addresses come from DHCP a PC answers at another address the next week, and
// another PC may answer at its old one. A member is found:
//   1. by MAC address (the one the Client inventory remembers for the member's
//      name): the one listed Client with it (or, when several Clients share one
//      network card, the one of them with the member's name);
//   2. else by name: the one listed Client of that name, wherever it answers;
//   3. else at its stored address, as the groups file alone has it (a PC renamed
//      at the same address), unless the MAC addresses of the two are known and
//      differ, or the Client there is another member that has moved there.
// As in the groups file, a member found at an address checks every row with
// that address. A member found at another address than its stored one has
// moved: the front ends say so ("PC-04 now answers at 10.1.12.131"), and the next
// save of the group writes the new address.
#include <optional>
#include <string>
#include <vector>

#include "platform/mac_address.h"

namespace kestrelon {

struct MatchCandidate {
  std::string name;
  std::string address;  // the padded text, as rows and group entries show it
  std::optional<MacAddress> mac;
};

enum class MatchedBy { none, mac, name, address };

struct MemberMatch {
  std::vector<int> rows;  // indexes into the listed Clients; empty when not on the network
  MatchedBy by = MatchedBy::none;
  bool moved = false;  // found at another address than the stored one
  bool found() const { return !rows.empty(); }
};

// One result per member, in member order.
std::vector<MemberMatch> match_group_members(const std::vector<MatchCandidate>& listed,
                                             const std::vector<MatchCandidate>& members);

}  // namespace kestrelon
