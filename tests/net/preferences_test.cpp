// The Preferences' rules on a Controller with two interfaces (two loopback
// addresses in this test's private network), where the window's test does not
// go: an interface switched off at start, options changed alone, and an
// interface switched on again, seen on the wire.
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

TEST_F(PreferencesTest, OptionsAloneAreStoredWithoutRediscoveryAndADisabledInterfaceComesBack) {
  test::ScriptedAnnouncer clients(kFirst, {test::announcing_client(Ipv4Address(127, 0, 3, 1), "lab-pc", 1)});
  start("127.000.000.002;");
  listen_until_listed(1);
  {
    Preferences preferences(*core);
    const CheckListModel& rows = preferences.interfaces();
    ASSERT_EQ(rows.row_count(), 2);
    EXPECT_EQ(rows.columns()[0].header, "IP Address");
    EXPECT_EQ(rows.columns()[0].extra_width(), 600);
    EXPECT_EQ(rows.cell(1, 0), "127.000.000.002");
    EXPECT_EQ(rows.check_state(0), kChecked);
    EXPECT_EQ(rows.check_state(1), kUnchecked) << "switched off by the setting";
    preferences.options = {.keep_partition_size = true, .unique_sid = false, .sector_by_sector = true};
    EXPECT_EQ(preferences.ok(), std::nullopt);
    EXPECT_EQ(preferences.changes(), 0);
  }
  EXPECT_EQ(core->program_options(),
            (ProgramOptions{.keep_partition_size = true, .unique_sid = false, .sector_by_sector = true}));
  EXPECT_EQ(setting(kSettingKeepPartitionSize), "1");
  EXPECT_EQ(setting(kSettingSid), "0");
  EXPECT_EQ(setting(kSettingDisabledInterfaces), "127.000.000.002;");
  EXPECT_EQ(core->main_client_list().row_count(), 1) << "no rediscovery without a change of interfaces";

  discovers_heard(100);
  {
    Preferences preferences(*core);
    preferences.interfaces().check(1);
    EXPECT_EQ(preferences.ok(), std::nullopt);
    EXPECT_EQ(preferences.changes(), 1);
  }
  EXPECT_EQ(core->main_client_list().row_count(), 0) << "emptied for a fresh discovery";
  EXPECT_EQ(setting(kSettingDisabledInterfaces), "");
  const auto heard = discovers_heard(200);
  EXPECT_EQ(heard.size(), 2u);
  EXPECT_NE(std::find(heard.begin(), heard.end(), kSecond), heard.end());
  listen_until_listed(1);
}

}  // namespace
}  // namespace kestrelon
