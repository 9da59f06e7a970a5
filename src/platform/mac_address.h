#pragma once
// A network card's hardware (MAC) address: six bytes, shown as "52:54:00:4b:00:01".
// The Controller learns it for each listed Client from the neighbour table, keeps
// it in the Client inventory, wakes PCs with it and tells the boot service which
// PCs have a transfer waiting.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelon {

class MacAddress {
 public:
  using Bytes = std::array<std::uint8_t, 6>;

  constexpr MacAddress() = default;
  constexpr explicit MacAddress(const Bytes& bytes) : bytes_(bytes) {}

  const Bytes& bytes() const { return bytes_; }
  // All zero: what a neighbour entry without an answer shows.
  bool is_zero() const;
  // The group bit is set: never a single card's address.
  bool is_multicast() const { return (bytes_[0] & 1) != 0; }

  // "52:54:00:4b:00:01", lower case.
  std::string text() const;
  // "52-54-00-4b-00-01", the form network boot scripts name files by.
  std::string hyphen_text() const;

  // Six two-digit hex bytes separated by ":" or "-" (one kind throughout), or
  // twelve hex digits without separators; either letter case.
  static std::optional<MacAddress> parse(std::string_view text);

  friend bool operator==(const MacAddress&, const MacAddress&) = default;
  friend auto operator<=>(const MacAddress&, const MacAddress&) = default;

 private:
  Bytes bytes_{};
};

}  // namespace kestrelon
