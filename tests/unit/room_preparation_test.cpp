// Preparing a room without a network: the pending-transfer marker that the boot
// service reads (and that a killed Controller leaves nothing in), the magic
// packets Wake-on-LAN sends and where to, and the protected Clients a Copy
// leaves out.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "app/pending_transfers.h"
#include "commands/protected_targets.h"
#include "commands/wake_pcs.h"
#include "net/wake_on_lan.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

MacAddress mac(int last) { return MacAddress({0x52, 0x54, 0, 0x4b, 0, static_cast<std::uint8_t>(last)}); }

std::size_t files_in(const std::filesystem::path& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

TEST(RoomPreparation, PendingMarksCountWhileTheirControllerRunsAndNotAfterItIsKilled) {
  test::TempFolder temp;
  const auto folder = temp / "pending";
  {
    PendingTransfers without(folder);
    EXPECT_NE(without.mark({{mac(1), 0, "PC-01"}}).find("no boot service"), std::string::npos)
        << "nobody to tell without the service's folder";
  }
  std::filesystem::create_directory(folder);
  {
    PendingTransfers run(folder);
    ASSERT_EQ(run.mark({{mac(1), 0, "PC-01"}, {mac(2), 0, "PC-02"}, {mac(3), 1000, "PC-03"}}), "");
    EXPECT_EQ(read_pending(folder, 999, true).size(), 3u);
    EXPECT_EQ(read_pending(folder, 1000, true).size(), 2u) << "PC-03's mark has run out";
    ASSERT_EQ(run.unmark({mac(1)}), "");  // its copy ended
    const auto left = read_pending(folder, 0, true);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], (PendingPc{mac(2), 0, "PC-02"}));
    // Another run marking the same PC for longer: listed once, the longer mark.
    PendingTransfers second(folder);
    ASSERT_EQ(second.mark({{mac(3), 0, "PC-03"}}), "");
    const auto both = read_pending(folder, 5000, true);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1].until, 0);
  }
  EXPECT_EQ(files_in(folder), 0u) << "runs that end take their files with them";

  // A Controller killed in the middle of a copy.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    PendingTransfers run(folder);
    const bool ok = run.mark({{mac(7), 0, "PC-07"}}).empty();
    const char c = ok ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  EXPECT_EQ(read_pending(folder, 0, true).size(), 1u);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_TRUE(read_pending(folder, 0, true).empty()) << "a killed Controller leaves no PC pending";
  EXPECT_EQ(files_in(folder), 0u) << "the reader removes what it left";

  EXPECT_EQ(parse_pending("# c\n52:54:00:4b:00:01 0 PC 01 with blanks\nzz 0 X\n52:54:00:4b:00:02 -1 Y\n"),
            (std::vector<PendingPc>{{mac(1), 0, "PC 01 with blanks"}}));
}

TEST(RoomPreparation, MagicPacketsGoToTheNetworkEachPcWasLastSeenOn) {
  const MagicPacket p = magic_packet(mac(9));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p[static_cast<std::size_t>(i)], 0xFF);
  for (int r = 0; r < 16; ++r)
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p[static_cast<std::size_t>(6 + r * 6 + i)], mac(9).bytes()[static_cast<std::size_t>(i)]);

  const Ipv4Address here(10, 1, 12, 1);
  std::vector<InventoryEntry> inventory = {
      {.name = "PC-01", .address = Ipv4Address(10, 1, 12, 101), .mac = mac(1), .interface_address = here,
       .broadcast = Ipv4Address(10, 1, 12, 255)},
      {.name = "PC-02", .address = Ipv4Address(10, 1, 13, 102), .mac = mac(2),
       .interface_address = Ipv4Address(10, 1, 13, 1), .broadcast = Ipv4Address(10, 1, 13, 255)},
      {.name = "NO-MAC", .address = Ipv4Address(127, 0, 0, 5), .interface_address = Ipv4Address(127, 0, 0, 1)},
  };
  struct Sent {
    MacAddress mac;
    Ipv4Address from, to;
  };
  std::vector<Sent> sent;
  const WakeSeams seams{
      .send = [&](const MacAddress& m, Ipv4Address from, Ipv4Address to) {
        sent.push_back({m, from, to});
        return to == Ipv4Address(192, 168, 9, 255) ? ENETUNREACH : 0;
      },
      // This machine's interface now has a /16: its broadcast address as it is now counts.
      .interface_with = [&](Ipv4Address a) -> std::optional<LocalInterface> {
        if (a != here) return std::nullopt;
        return LocalInterface{"eth0", here, Ipv4Address(255, 255, 0, 0), Ipv4Address(10, 1, 255, 255), true};
      }};
  const auto out = wake_pcs(inventory,
                            {{"pc-01", ""}, {"RENAMED", "010.001.013.102"}, {"NO-MAC", ""}, {"STRANGER", ""}},
                            {Ipv4Address(192, 168, 9, 255)}, seams);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0].sent_to, (std::vector<Ipv4Address>{Ipv4Address(10, 1, 255, 255)}));
  EXPECT_NE(out[0].problem.find("192.168.9.255"), std::string::npos) << "the directed broadcast failed";
  EXPECT_TRUE(out[1].woken()) << "found by the address the group stored";
  EXPECT_EQ(out[1].name, "PC-02");
  EXPECT_EQ(out[1].sent_to, (std::vector<Ipv4Address>{Ipv4Address(10, 1, 13, 255)})) << "its interface is gone";
  EXPECT_FALSE(out[2].woken());
  EXPECT_NE(out[2].problem.find("MAC address is not known"), std::string::npos);
  EXPECT_NE(out[3].problem.find("not in the Client inventory"), std::string::npos);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].from, here) << "leaves by the interface that heard it";
  EXPECT_EQ(sent[1].from, Ipv4Address()) << "a directed broadcast goes as routed";
  EXPECT_EQ(sent[2].mac, mac(2));
  EXPECT_EQ(sent[2].from, Ipv4Address());
}

TEST(RoomPreparation, ProtectedClientsAreFoundByNameOrByTheirOwnNetworkCard) {
  const std::vector<InventoryEntry> inventory = {
      {.name = "MASTER", .mac = mac(1), .is_protected = true},
      {.name = "SHARED", .mac = mac(5), .is_protected = true},
      {.name = "PC-02", .mac = mac(2)},
  };
  const std::vector<ListedClient> listed = {
      {"master", Ipv4Address(10, 0, 0, 1), std::nullopt, {}, {}},
      {"RENAMED-MASTER", Ipv4Address(10, 0, 0, 9), mac(1), {}, {}},
      {"PC-02", Ipv4Address(10, 0, 0, 2), mac(2), {}, {}},
      {"EMULATED-A", Ipv4Address(10, 0, 0, 5), mac(5), {}, {}},
      {"EMULATED-B", Ipv4Address(10, 0, 0, 6), mac(5), {}, {}},
  };
  const auto found = protected_targets(listed, listed, inventory);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "master");
  EXPECT_EQ(found[1].name, "RENAMED-MASTER");
  EXPECT_EQ(client_list_text(found), "master (10.0.0.1), RENAMED-MASTER (10.0.0.9)");
}

}  // namespace
}  // namespace kestrelon
