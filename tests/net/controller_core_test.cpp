// The start-up and shutdown core over real UDP on loopback, with a scripted set of
// Clients answering its discovery requests.
#include "app/controller_core.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <thread>

#include "app/program_settings.h"
#include "support/private_network.h"
#include "support/recording_ui.h"
#include "support/scripted_announcer.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

const Ipv4Address kLoopback(127, 0, 0, 1);

test::AnnounceSpec client(int n, const std::string& name, int disks = 1) {
  return test::announcing_client(Ipv4Address(127, 0, 1, static_cast<std::uint8_t>(n)), name, disks);
}

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  CoreOptions options(TuningValues tuning = {}) {
    CoreOptions o;
    o.addresses = [] { return AddressList{0, {kLoopback}}; };
    o.clock = &clock;
    o.tuning = tuning;
    o.settings_folder = temp / "settings";
    o.profile_file = temp / "kestreln.ini";
    o.shutdown_wait = 300ms;
    return o;
  }

  // Runs idle passes until the list has `rows` rows or the limit passes.
  bool wait_for_rows(ControllerCore& core, int rows, std::chrono::milliseconds limit = 30s) {
    const auto end = Steady::now() + limit;
    while (Steady::now() < end) {
      core.idle_pass();
      if (core.main_client_list().row_count() == rows) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  test::TempFolder temp;
  test::RecordingUi ui;
  ManualClock clock{5000};
};

TEST_F(CoreTest, StartDiscoversAndListsTheClientsSorted) {
  test::ScriptedAnnouncer clients(kLoopback, {client(1, "pc2", 2), client(2, "PC10"), client(3, "Alpha")});
  ASSERT_TRUE(clients.ok());
  ControllerCore core(ui, options());
  ASSERT_TRUE(core.start());
  ASSERT_TRUE(wait_for_rows(core, 3));
  const CheckListModel& rows = core.main_client_list().rows();
  EXPECT_EQ(rows.cell(0, 0), "Alpha");
  EXPECT_EQ(rows.cell(1, 0), "PC10");
  EXPECT_EQ(rows.cell(2, 0), "pc2");
  EXPECT_EQ(rows.cell(2, 1), "127.000.001.001");
  EXPECT_EQ(rows.cell(2, 3), "Disk 1 (1024Mb)");
  EXPECT_EQ(core.tables().client_count, 3);
  EXPECT_TRUE(ui.messages().empty());
}

TEST_F(CoreTest, DiscoverWithClearEmptiesEverythingAndTheListRefills) {
  test::ScriptedAnnouncer clients(kLoopback, {client(1, "a"), client(2, "b")});
  ControllerCore core(ui, options());
  ASSERT_TRUE(core.start());
  ASSERT_TRUE(wait_for_rows(core, 2));
  core.main_client_list().rows().check(0);
  core.main_client_list().rebuild_target_table(true);
  ASSERT_EQ(core.tables().target_count, 1);

  clients.set_clients({client(2, "b"), client(3, "c")});
  const int heard_before = clients.discovers_heard();
  ASSERT_EQ(core.registry().discover(true), 1);
  // Cleared at once; the announces the request brings may already be in the table.
  EXPECT_EQ(core.main_client_list().row_count(), 0);
  EXPECT_EQ(core.tables().target_count, 0);
  ASSERT_TRUE(wait_for_rows(core, 2));
  EXPECT_EQ(clients.discovers_heard(), heard_before + 1) << "the list refilled from this one request's answers";
  const CheckListModel& rows = core.main_client_list().rows();
  EXPECT_EQ(rows.cell(0, 0), "b");
  EXPECT_EQ(rows.cell(1, 0), "c");
  EXPECT_EQ(rows.check_state(0), kUnchecked);  // the target table went with the clear
}

TEST_F(CoreTest, PeriodicDiscoveryKeepsClientsAndSilenceDropsThem) {
  test::ScriptedAnnouncer clients(kLoopback, {client(1, "stays"), client(2, "leaves")});
  ControllerCore core(ui, options());
  ASSERT_TRUE(core.start());
  ASSERT_TRUE(wait_for_rows(core, 2));
  clients.set_clients({client(1, "stays")});
  for (int second = 0; second < 6; ++second) {
    clock.advance(1000);
    const int heard = clients.discovers_heard();
    core.registry().discover(false);
    while (clients.discovers_heard() == heard) std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(30ms);  // the announces travel back
    core.idle_pass();
  }
  EXPECT_EQ(core.main_client_list().row_count(), 1);
  EXPECT_EQ(core.main_client_list().rows().cell(0, 0), "stays");
}

TEST_F(CoreTest, DisabledInterfacesSettingSilencesThatInterface) {
  SettingsStore settings(temp / "settings", KESTRELON_FILE_VERSION);
  write_disabled_interfaces(settings, "127.000.000.001;");
  test::ScriptedAnnouncer clients(kLoopback, {client(1, "unheard")});
  ControllerCore core(ui, options());
  ASSERT_TRUE(core.start());
  EXPECT_TRUE(core.endpoints().disabled(0));
  core.registry().discover(false);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(clients.discovers_heard(), 0);
  core.idle_pass();
  EXPECT_EQ(core.main_client_list().row_count(), 0);
}

TEST_F(CoreTest, MulticastTimeToLiveComesFromTheTuningValues) {
  TuningValues tuning;
  tuning.multicast_ttl = 4;
  ControllerCore core(ui, options(tuning));
  ASSERT_TRUE(core.start());
  int ttl = 0;
  socklen_t len = sizeof ttl;
  ASSERT_EQ(::getsockopt(core.endpoints().socket_descriptor(0), IPPROTO_IP, IP_MULTICAST_TTL, &ttl, &len), 0);
  EXPECT_EQ(ttl, 4);
}

TEST_F(CoreTest, SecondStartOpensNothingMore) {
  ControllerCore core(ui, options());
  ASSERT_TRUE(core.start());
  EXPECT_TRUE(core.start());
  EXPECT_EQ(core.endpoints().open_count(), 1);
  core.shutdown();
  EXPECT_FALSE(core.start());
  EXPECT_EQ(core.endpoints().open_count(), 0);
}

TEST_F(CoreTest, StartFailsWhenNoAddressCanBeFound) {
  CoreOptions o = options();
  o.addresses = [] { return AddressList{5, {}}; };
  ControllerCore core(ui, o);
  EXPECT_FALSE(core.start());
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_EQ(ui.messages()[0], "Invalid or missing TCP/IP configuration (5)");
}

TEST_F(CoreTest, ShutdownCompletesWhileAnotherThreadHoldsTheClientTableLock) {
  test::ScriptedAnnouncer clients(kLoopback, {client(1, "busy")});
  ControllerCore core(ui, options());
  ASSERT_TRUE(core.start());
  ASSERT_TRUE(wait_for_rows(core, 1));
  core.locks().client_table.acquire();  // never given back by its holder
  const auto start = Steady::now();
  core.shutdown();
  const auto took = Steady::now() - start;
  EXPECT_LT(took, 60s) << "the wait for the held lock has a limit";
  EXPECT_GE(took, 300ms);  // the wait for the held lock ran out
  EXPECT_EQ(core.endpoints().open_count(), 0);
  EXPECT_EQ(core.locks().worker.count(), 1);
  EXPECT_EQ(core.locks().receive.count(), 1);
  EXPECT_EQ(core.locks().client_table.count(), 1);
  core.shutdown();  // a second call does nothing
}

TEST_F(CoreTest, ShutdownWithClientsStillAnnouncingIsQuick) {
  test::ScriptedAnnouncer clients(kLoopback, {client(1, "a"), client(2, "b"), client(3, "c")});
  // Each lock's wait is long here: a shutdown that ran one out would take at
  // least this long, one that needed none ends long before.
  CoreOptions o = options();
  o.shutdown_wait = 60s;
  ControllerCore core(ui, o);
  ASSERT_TRUE(core.start());
  for (int i = 0; i < 20; ++i) core.registry().discover(false);
  const auto start = Steady::now();
  core.shutdown();
  EXPECT_LT(Steady::now() - start, 30s) << "no lock was held: no wait ran out";
  EXPECT_EQ(core.endpoints().open_count(), 0);
}

}  // namespace
}  // namespace kestrelon
