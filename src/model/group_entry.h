#pragma once
// One member of a saved group as the groups file holds it: the value
// "name,address,disk count,selected disk,size in Mb" of one numbered key. The
// group store writes and reads these; the group dialogs and the command line turn
// them into Client rows.
//
// A Client name may itself contain commas. It is written unchanged, so files stay
// what other readers of the groups file expect, and reading finds where the name
// ends: at the first comma that is followed by an address in its padded form and
// two decimal numbers, each ended by a comma. For an entry whose name has no comma
// that is exactly its first comma, so an entry splits at its first four commas and
// the size field keeps whatever follows, commas included. An entry in which no
// comma is followed so (written by hand) also splits at its first four commas.
#include <string>
#include <string_view>

#include "net/client_list_view.h"

namespace kestrelon {

// The five fields as texts, as read from the file: the size field is "the rest of
// the entry" and need not be a number.
struct GroupEntry {
  std::string name;
  std::string address;
  std::string disk_count;
  std::string disk_index;
  std::string size;

  bool operator==(const GroupEntry&) const = default;
};

// "%s,%s,%s,%s,%s" of the row fields. Line breaks in the name, which no line of
// the file can hold, become "?".
std::string format_group_entry(const ClientRowFields& fields);

// Splits an entry as described above. Missing fields are empty.
GroupEntry parse_group_entry(std::string_view entry);

}  // namespace kestrelon
