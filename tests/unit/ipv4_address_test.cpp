#include "platform/ipv4_address.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrelon {
namespace {

TEST(Ipv4Address, TextForms) {
  const Ipv4Address a(192, 168, 1, 10);
  EXPECT_EQ(a.padded_text(), "192.168.001.010");
  EXPECT_EQ(a.text(), "192.168.1.10");
  EXPECT_EQ(a.octet(0), 192);
  EXPECT_EQ(a.octet(3), 10);
  EXPECT_EQ(Ipv4Address(10, 0, 0, 5).padded_text(), "010.000.000.005");
}

TEST(Ipv4Address, ParsesBothFormsAndRejectsTheRest) {
  EXPECT_EQ(Ipv4Address::parse("192.168.001.020"), Ipv4Address(192, 168, 1, 20));
  EXPECT_EQ(Ipv4Address::parse("10.0.0.5"), Ipv4Address(10, 0, 0, 5));
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", "a.b.c.d", "1..2.3", "1000.1.1.1"}) {
    EXPECT_FALSE(Ipv4Address::parse(bad)) << bad;
  }
}

TEST(Ipv4Address, NetworkOrderRoundTrip) {
  const Ipv4Address a(1, 2, 3, 4);
  EXPECT_EQ(Ipv4Address::from_network_order(a.network_order()), a);
  const std::uint32_t n = a.network_order();
  unsigned char b[4];
  std::memcpy(b, &n, 4);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[3], 4);
}

}  // namespace
}  // namespace kestrelon
