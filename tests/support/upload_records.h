#pragma once
// Upload stream records built by hand, as a Client puts them into its Create
// data packets. Independent of the receive engine's own parsing.
#include <cstdint>
#include <vector>

namespace kestrelon::test {

using Bytes = std::vector<std::uint8_t>;

// An 8-byte record head of the given type; bytes 0 to 5 carry `filler`, which the
// Controller does not examine.
Bytes record_head(std::uint16_t type, std::uint8_t filler = 0xA5);
Bytes data_record(const Bytes& data);
// A data record whose length field says `claimed_length` whatever data follows.
Bytes data_record_claiming(std::int16_t claimed_length, const Bytes& data);
Bytes mark_record();
Bytes seek_mark_record();
Bytes swap_mark_record();
Bytes end_record();

Bytes join(std::initializer_list<Bytes> parts);
// `n` bytes counting up from `first`.
Bytes counting(std::size_t n, std::uint8_t first = 0);

}  // namespace kestrelon::test
