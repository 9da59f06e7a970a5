#pragma once
// Linux swap's header, made again for a swap partition a restore has moved or
// resized: the header's fields say how many pages the area has, and the system
// that mounts swap by UUID or label (its fstab, its resume setting) must still
// find it. The UUID and label are kept, the size is the partition's, the list of
// bad pages is emptied; the rest of the area holds nothing worth keeping.
#include <cstdint>
#include <span>

namespace kestrelon::client {

// `head`: the partition's first bytes, at least one page, holding a swap header
// made for `page_size` (file_system_probe.h); rewritten in place for a
// partition of `partition_bytes`. False (nothing changed) when it holds none or
// the partition is too small for swap.
bool remake_swap_header(std::span<std::uint8_t> head, std::size_t page_size, std::uint64_t partition_bytes);

}  // namespace kestrelon::client
