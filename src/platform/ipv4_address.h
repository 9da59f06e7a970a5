#pragma once
// An IPv4 address held with the first octet in the most significant byte, so the
// value written big-endian is the address as it travels on the wire.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelon {

class Ipv4Address {
 public:
  constexpr Ipv4Address() = default;
  constexpr explicit Ipv4Address(std::uint32_t host_order) : value_(host_order) {}
  constexpr Ipv4Address(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
      : value_((std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) | (std::uint32_t{c} << 8) | d) {}

  constexpr std::uint32_t value() const { return value_; }
  constexpr std::uint8_t octet(int i) const {
    return static_cast<std::uint8_t>(value_ >> (24 - 8 * i));
  }
  constexpr bool is_zero() const { return value_ == 0; }
  constexpr bool is_loopback() const { return octet(0) == 127; }

  // The Controller's own text form: "%03d.%03d.%03d.%03d", e.g. 192.168.001.010.
  std::string padded_text() const;
  // The usual dotted form, e.g. 192.168.1.10.
  std::string text() const;

  // Reads either form (leading zeros allowed); nullopt for anything else.
  static std::optional<Ipv4Address> parse(std::string_view text);

  // The address in network order as a sockets interface holds it.
  std::uint32_t network_order() const;
  static Ipv4Address from_network_order(std::uint32_t n);

  friend constexpr bool operator==(Ipv4Address, Ipv4Address) = default;
  friend constexpr auto operator<=>(Ipv4Address, Ipv4Address) = default;

 private:
  std::uint32_t value_ = 0;
};

}  // namespace kestrelon
