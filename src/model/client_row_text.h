#pragma once
// The texts of a Client row and how they are read back: the disk marks, the target
// text "Disk n (sizeMb)", the padded address, and the row string that orders rows.
//
// Disk marks: one multiplication sign per disk, stored as UTF-8 (U+00D7, the bytes
// C3 97), so every front end shows the same character. A disk count read from a
// cell counts characters, not bytes: a lone legacy byte 0xD7 counts as one mark too.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/client_list_view.h"
#include "platform/ipv4_address.h"

namespace kestrelon {

inline constexpr std::string_view kDiskMark = "\xC3\x97";

// `count` disk marks; none for a count below 1.
std::string disk_marks(int count);

// Number of characters of a UTF-8 text: every byte that does not continue a
// multi-byte sequence starts one.
int character_count(std::string_view text);

// "Disk " + (disk index + 1) + " (" + size + "Mb)", e.g. "Disk 1 (2047Mb)".
std::string target_text(int disk_index, std::int64_t size_mb);

// The digit at position 5 of a target text, minus 1; -1 when there is no digit.
int disk_index_from_target(std::string_view target);

// The decimal value between the first "(" and the first "Mb" after it; 0 without "(".
int size_from_target(std::string_view target);

// Reads exactly the form "%03d.%03d.%03d.%03d"; anything else gives nullopt.
std::optional<Ipv4Address> address_from_padded_text(std::string_view text);

// The row's fields as its cells show them: name, address, number of disk marks,
// target disk and size from the target text.
ClientRowFields fields_from_cells(std::string_view name, std::string_view address, std::string_view marks,
                                  std::string_view target);

// name "|<1>|" address "|<2>|" disk count "|<3>|" disk index "|<4>|" size "|<5>|"
// then "Check" or "Uncheck". Rows are kept in ascending byte order of this string,
// compared as unsigned characters: upper case before lower case, and PC10 before
// PC1 because the name is followed by "|".
std::string row_string(const ClientRowFields& fields, bool checked);

}  // namespace kestrelon
