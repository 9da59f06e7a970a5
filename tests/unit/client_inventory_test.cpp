// The Client inventory: what a sighting changes, the bound on its size, a
// protection set while a Controller keeps writing, a damaged file left alone,
// and the text forms it reads (MAC addresses, the neighbour table).
#include "app/client_inventory.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/text_file.h"
#include "platform/neighbour_table.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

MacAddress mac(int last) { return MacAddress({0x52, 0x54, 0, 0x4b, 0, static_cast<std::uint8_t>(last)}); }

ListedClient seen(const std::string& name, Ipv4Address address, std::optional<MacAddress> m) {
  return {name, address, m, Ipv4Address(10, 1, 12, 1), Ipv4Address(10, 1, 12, 255)};
}

TEST(ClientInventory, SightingsKeepOneEntryPerNameWithItsLatestFacts) {
  std::vector<InventoryEntry> entries;
  EXPECT_EQ(note_sighting(entries, seen("PC-04", Ipv4Address(10, 1, 12, 104), mac(4)), 100), SightingChange::facts);
  EXPECT_EQ(note_sighting(entries, seen("PC-04", Ipv4Address(10, 1, 12, 104), mac(4)), 100), SightingChange::none);
  EXPECT_EQ(note_sighting(entries, seen("PC-04", Ipv4Address(10, 1, 12, 104), mac(4)), 160),
            SightingChange::last_seen);
  // A new address, seen without a neighbour entry: the MAC address stays known.
  EXPECT_EQ(note_sighting(entries, seen("pc-04", Ipv4Address(10, 1, 12, 131), std::nullopt), 200),
            SightingChange::facts);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "pc-04") << "the spelling it answers with now";
  EXPECT_EQ(entries[0].address, Ipv4Address(10, 1, 12, 131));
  EXPECT_EQ(entries[0].mac, mac(4));
  EXPECT_EQ(entries[0].last_seen, 200);

  // Full: the entry seen longest ago that is not protected gives way.
  entries.clear();
  for (std::size_t i = 0; i < ClientInventory::kMaxEntries; ++i) {
    note_sighting(entries, seen("PC-" + std::to_string(i), Ipv4Address(10, 2, 0, 1), std::nullopt),
                  static_cast<std::int64_t>(1000 + i));
  }
  entries[0].is_protected = true;
  note_sighting(entries, seen("NEW", Ipv4Address(10, 3, 0, 1), std::nullopt), 99999);
  EXPECT_EQ(entries.size(), ClientInventory::kMaxEntries);
  EXPECT_GE(find_entry(entries, "PC-0"), 0) << "protected entries stay";
  EXPECT_EQ(find_entry(entries, "PC-1"), -1);
  EXPECT_GE(find_entry(entries, "NEW"), 0);
}

TEST(ClientInventory, AProtectionSetMeanwhileSurvivesTheControllersNextWrite) {
  test::TempFolder folder;
  const ClientInventory inventory(folder / "state" / ClientInventory::kFileName);
  ASSERT_EQ(inventory.update([](std::vector<InventoryEntry>& e) {
    note_sighting(e, seen("MASTER", Ipv4Address(10, 1, 12, 10), mac(1)), 1'800'000'000);
    return true;
  }), "");
  // `clients protect` in another process.
  ASSERT_EQ(inventory.update([](std::vector<InventoryEntry>& e) {
    e[static_cast<std::size_t>(find_entry(e, "master"))].is_protected = true;
    return true;
  }), "");
  // The Controller notes a new address.
  ASSERT_EQ(inventory.update([](std::vector<InventoryEntry>& e) {
    note_sighting(e, seen("MASTER", Ipv4Address(10, 1, 12, 11), std::nullopt), 1'800'000'060);
    return true;
  }), "");
  const ClientInventory::Contents c = inventory.read();
  ASSERT_EQ(c.entries.size(), 1u);
  EXPECT_TRUE(c.entries[0].is_protected);
  EXPECT_EQ(c.entries[0].address, Ipv4Address(10, 1, 12, 11));
  EXPECT_EQ(c.entries[0].mac, mac(1));
  EXPECT_EQ(c.entries[0].last_seen, 1'800'000'060);
  EXPECT_EQ(utc_time_text(1'800'000'060), "2027-01-15T08:01:00Z");
  EXPECT_EQ(parse_utc_time("2027-01-15T08:01:00Z"), 1'800'000'060);

  // A file that is not an inventory is reported and never written over.
  const std::string damaged = "{\"clients\": [ {\"name\": \"MAS";
  ASSERT_EQ(replace_text_file(inventory.file(), damaged), 0);
  EXPECT_NE(inventory.read().problem, "");
  const std::string problem = inventory.update([](std::vector<InventoryEntry>&) { return true; });
  EXPECT_NE(problem.find("left as it is"), std::string::npos) << problem;
  EXPECT_EQ(read_text_file(inventory.file()), damaged);
  // Entries that do not read are left out, the others kept.
  std::string why;
  int skipped = 0;
  const auto entries =
      parse_inventory(R"({"clients":[{"name":"A","mac":"zz"},{"address":"1.2.3.4"},7,{"name":"B"}]})", why, &skipped);
  ASSERT_TRUE(entries);
  EXPECT_EQ(entries->size(), 2u);
  EXPECT_EQ(skipped, 2);
  EXPECT_FALSE((*entries)[0].mac);
}

TEST(ClientInventory, MacAddressesReadFromTheNeighbourTableAndTheirTextForms) {
  EXPECT_EQ(MacAddress::parse("52:54:00:4B:00:0a"), mac(10));
  EXPECT_EQ(MacAddress::parse("52-54-00-4b-00-0a"), mac(10));
  EXPECT_EQ(MacAddress::parse("5254004b000a"), mac(10));
  for (const char* bad : {"52:54:00:4b:00", "52:54-00:4b:00:0a", "52:54:00:4b:00:0g", "", "52:54:00:4b:00:0a:"})
    EXPECT_FALSE(MacAddress::parse(bad)) << bad;
  EXPECT_EQ(mac(10).text(), "52:54:00:4b:00:0a");
  EXPECT_EQ(mac(10).hyphen_text(), "52-54-00-4b-00-0a");

  const auto table = parse_neighbour_table(
      "IP address       HW type     Flags       HW address            Mask     Device\n"
      "10.47.0.2        0x1         0x2         52:54:00:4b:00:02     *        eth0\n"
      "10.47.0.3        0x1         0x0         00:00:00:00:00:00     *        eth0\n"  // no answer yet
      "10.47.0.4        0x1         0x2         52:54:00:4b:00:04     *        eth1\n"
      "10.47.0.4        0x1         0x2         52:54:00:4b:00:05     *        eth0\n"
      "garbage line\n");
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(find_neighbour(table, Ipv4Address(10, 47, 0, 2), "eth0"), mac(2));
  EXPECT_EQ(find_neighbour(table, Ipv4Address(10, 47, 0, 2), ""), mac(2));
  EXPECT_FALSE(find_neighbour(table, Ipv4Address(10, 47, 0, 3), "eth0"));
  EXPECT_EQ(find_neighbour(table, Ipv4Address(10, 47, 0, 4), "eth1"), mac(4));
  EXPECT_FALSE(find_neighbour(table, Ipv4Address(10, 47, 0, 4), "")) << "two networks, two machines";
}

}  // namespace
}  // namespace kestrelon
