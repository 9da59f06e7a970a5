// The Preferences' rules on a Controller with two interfaces (two loopback
// addresses in this test's private network): the interface list, the refused
// OK that changes nothing, and the valid OK that stores, switches interfaces and
// rediscovers, seen on the wire.
#include "commands/preferences.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/controller_core.h"
#include "app/program_settings.h"
#include "net/byte_order.h"
#include "net/wire_format.h"
#include "support/private_network.h"
#include "support/recording_ui.h"
#include "support/scripted_announcer.h"
#include "support/temp_folder.h"
#include "support/udp_peer.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kFirst(127, 0, 0, 1);
const Ipv4Address kSecond(127, 0, 0, 2);

class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  void start(const std::string& disabled = "") {
    CoreOptions o;
    o.addresses = [] { return AddressList{0, {kFirst, kSecond}}; };
    o.settings_folder = temp / "settings";
    o.profile_file = temp / "kestreln.ini";
    if (!disabled.empty()) {
      SettingsStore(o.settings_folder, KESTRELON_FILE_VERSION).write_setting(kSettingsSection,
                                                                              kSettingDisabledInterfaces, disabled);
    }
    core = std::make_unique<ControllerCore>(ui, o);
    ASSERT_TRUE(core->start());
    ASSERT_EQ(core->endpoints().open_count(), 2);
  }
  std::optional<std::string> setting(const char* name) {
    std::string text;
    if (core->settings().read_setting(kSettingsSection, name, text, "") != 0) return std::nullopt;
    return text;
  }
  // The interface each discovery request heard on the control group left by, as
  // the address it carries.
  std::vector<Ipv4Address> discovers_heard(int quiet_ms) {
    std::vector<Ipv4Address> from;
    for (const auto& r : wire.receive_all(quiet_ms)) {
      if (wire::opcode_of(r.bytes) == wire::OP_DISCOVER)
        from.push_back(Ipv4Address(read_be32(r.bytes, wire::kDiscoverAddressOffset)));
    }
    return from;
  }
  void listen_until_listed(int clients) {
    for (int i = 0; i < 300 && core->main_client_list().row_count() < clients; ++i) {
      core->registry().discover(false);
      core->idle_pass();
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(core->main_client_list().row_count(), clients);
  }

  test::TempFolder temp;
  test::RecordingUi ui;
  test::UdpPeer wire{kFirst, wire::kControlPort, wire::kControlGroup};
  std::unique_ptr<ControllerCore> core;
};

TEST_F(PreferencesTest, ListsEveryOpenInterfaceCheckedUnlessDisabled) {
  start("127.000.000.002;");
  Preferences preferences(*core);
  const CheckListModel& rows = preferences.interfaces();
  ASSERT_EQ(rows.columns().size(), 1u);
  EXPECT_EQ(rows.columns()[0].header, "IP Address");
  EXPECT_EQ(rows.columns()[0].extra_width(), 600);
  ASSERT_EQ(rows.row_count(), 2);
  EXPECT_EQ(rows.cell(0, 0), "127.000.000.001");
  EXPECT_EQ(rows.check_state(0), kChecked);
  EXPECT_EQ(rows.cell(1, 0), "127.000.000.002");
  EXPECT_EQ(rows.check_state(1), kUnchecked);
  EXPECT_EQ(preferences.options, core->program_options());
}

TEST_F(PreferencesTest, UncheckingEveryInterfaceIsRefusedAndChangesNothing) {
  start();
  const ProgramOptions before = core->program_options();
  Preferences preferences(*core);
  preferences.options.keep_partition_size = true;
  preferences.options.sector_by_sector = true;
  preferences.interfaces().uncheck_all();
  EXPECT_EQ(preferences.ok(), std::string("At least one interface must be configured."));

  // As if Cancel followed: both interfaces still send, nothing was applied or stored.
  EXPECT_FALSE(core->endpoints().disabled(0));
  EXPECT_FALSE(core->endpoints().disabled(1));
  EXPECT_EQ(core->program_options(), before);
  EXPECT_EQ(setting(kSettingDisabledInterfaces), std::nullopt);
  EXPECT_EQ(setting(kSettingKeepPartitionSize), std::nullopt);
  discovers_heard(100);
  core->registry().discover(false);
  const auto heard = discovers_heard(200);
  EXPECT_EQ(heard.size(), 2u);
  EXPECT_NE(std::find(heard.begin(), heard.end(), kSecond), heard.end());
}

TEST_F(PreferencesTest, ValidOkStoresAndRediscoversThroughTheInterfacesLeft) {
  test::ScriptedAnnouncer clients(kFirst, {test::announcing_client(Ipv4Address(127, 0, 3, 1), "lab-pc", 1)});
  start();
  listen_until_listed(1);

  // Only the options change: stored, applied, and the list is left as it is.
  {
    Preferences preferences(*core);
    preferences.options = {.keep_partition_size = true, .unique_sid = false, .sector_by_sector = true};
    EXPECT_EQ(preferences.ok(), std::nullopt);
    EXPECT_EQ(preferences.changes(), 0);
  }
  EXPECT_EQ(core->program_options(),
            (ProgramOptions{.keep_partition_size = true, .unique_sid = false, .sector_by_sector = true}));
  EXPECT_EQ(setting(kSettingKeepPartitionSize), "1");
  EXPECT_EQ(setting(kSettingSid), "0");
  EXPECT_EQ(setting(kSettingDisabledInterfaces), "");
  EXPECT_EQ(core->main_client_list().row_count(), 1) << "no rediscovery without a change of interfaces";

  // The second interface switched off: stored, the list emptied, and discovery
  // requests leave by the first interface only.
  discovers_heard(100);
  {
    Preferences preferences(*core);
    preferences.interfaces().uncheck(1);
    EXPECT_EQ(preferences.ok(), std::nullopt);
    EXPECT_EQ(preferences.changes(), 1);
  }
  EXPECT_EQ(core->main_client_list().row_count(), 0);
  EXPECT_EQ(core->tables().client_count, 0);
  EXPECT_FALSE(core->endpoints().disabled(0));
  EXPECT_TRUE(core->endpoints().disabled(1));
  EXPECT_EQ(setting(kSettingDisabledInterfaces), "127.000.000.002;");
  for (int i = 0; i < 3; ++i) core->registry().discover(false);
  EXPECT_EQ(discovers_heard(200), std::vector<Ipv4Address>(4, kFirst)) << "the rediscovery and three more";
  listen_until_listed(1);

  // Switched on again: the list is emptied once more and both interfaces send.
  {
    Preferences preferences(*core);
    EXPECT_EQ(preferences.interfaces().check_state(1), kUnchecked);
    preferences.interfaces().check(1);
    EXPECT_EQ(preferences.ok(), std::nullopt);
    EXPECT_EQ(preferences.changes(), 1);
  }
  EXPECT_EQ(core->main_client_list().row_count(), 0);
  EXPECT_EQ(setting(kSettingDisabledInterfaces), "");
  const auto heard = discovers_heard(200);
  EXPECT_NE(std::find(heard.begin(), heard.end(), kSecond), heard.end());
}

}  // namespace
}  // namespace kestrelon
