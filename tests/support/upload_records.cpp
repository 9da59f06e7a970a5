#include "support/upload_records.h"

namespace kestrelon::test {

Bytes record_head(std::uint16_t type, std::uint8_t filler) {
  Bytes b(8, filler);
  b[6] = static_cast<std::uint8_t>(type >> 8);
  b[7] = static_cast<std::uint8_t>(type);
  return b;
}

Bytes data_record_claiming(std::int16_t claimed_length, const Bytes& data) {
  Bytes b = record_head(11);
  const auto l = static_cast<std::uint16_t>(claimed_length);
  b.push_back(static_cast<std::uint8_t>(l));  // little-endian, unlike the type
  b.push_back(static_cast<std::uint8_t>(l >> 8));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes data_record(const Bytes& data) { return data_record_claiming(static_cast<std::int16_t>(data.size()), data); }
Bytes mark_record() { return record_head(12); }
Bytes seek_mark_record() { return record_head(13); }
Bytes end_record() { return record_head(14); }
Bytes swap_mark_record() { return record_head(15); }

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes counting(std::size_t n, std::uint8_t first) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(first + i);
  return b;
}

}  // namespace kestrelon::test
