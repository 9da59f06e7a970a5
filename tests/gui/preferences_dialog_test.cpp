// The Preferences dialog on a Controller with two interfaces (two loopback
// addresses in this test's private network), driven with simulated clicks: no
// interface left is refused and Cancel then changes nothing; switching one off
// stores it, empties the client list for a fresh discovery, and no discovery
// request leaves by it afterwards (watched on the wire); the options take effect,
// and sector-by-sector copying is off again after a restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <wx/checkbox.h>

#include "app/controller_core.h"
#include "app/program_settings.h"
#include "controls/check_list_ctrl.h"
#include "desktop_rig.h"
#include "dialogs/preferences_dlg.h"
#include "gui_steps.h"
#include "net/byte_order.h"
#include "net/wire_format.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"
#include "support/temp_folder.h"
#include "support/udp_peer.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"
#include "ui/wx_user_messages.h"
#include "window_setup.h"

namespace kestrelon::test {
namespace {

const Ipv4Address kFirst(127, 0, 0, 1);
const Ipv4Address kSecond(127, 0, 0, 2);

CPreferencesDlg* OpenPreferences() {
  for (wxWindow* top : wxTopLevelWindows)
    if (auto* d = dynamic_cast<CPreferencesDlg*>(top); d && d->IsModal()) return d;
  return nullptr;
}

class PreferencesDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
    ASSERT_TRUE(wire_.ok());
    ASSERT_TRUE(announcer_.ok());
    options_ = LoopbackCoreOptions(folder_.path());
    options_.addresses = [] { return AddressList{0, {kFirst, kSecond}}; };
    ASSERT_TRUE(window_.Start(options_));
    ASSERT_EQ(window_.core->endpoints().open_count(), 2);
  }

  CheckListModel& Rows() { return window_.core->main_client_list().rows(); }
  std::optional<std::string> Setting(const char* name) {
    std::string text;
    if (window_.core->settings().read_setting(kSettingsSection, name, text, "") != 0) return std::nullopt;
    return text;
  }
  // The interfaces that the discovery requests heard since the last call left
  // by, as the address each carries.
  std::vector<Ipv4Address> DiscoversHeard() {
    std::vector<Ipv4Address> from;
    while (const auto r = wire_.receive(0)) {
      if (wire::opcode_of(r->bytes) == wire::OP_DISCOVER)
        from.push_back(Ipv4Address(read_be32(r->bytes, wire::kDiscoverAddressOffset)));
    }
    return from;
  }

  Step Open() {
    return {"open the Preferences", [this] {
              wxTheApp->CallAfter([this] { interfaces_changed_ = window_.services->RunPreferences(window_.frame); });
              return true;
            }};
  }
  Step Opened() {
    return {"the Preferences open", [this] { return (dialog_ = OpenPreferences()) != nullptr; }};
  }
  Step ClickInterface(int row) {
    return {"click interface " + std::to_string(row), [this, row] {
              CCheckListCtrl* list = dialog_->Interfaces();
              const wxRect r = list->RowRect(row);
              if (r.IsEmpty()) return false;
              ClickAt(list, wxPoint(r.x + 30, r.y + r.height / 2));
              return true;
            }};
  }
  Step Click(int id, const std::string& name) {
    return {"click " + name, [this, id] {
              wxWindow* w = dialog_->FindWindow(id);
              ClickAt(w, wxPoint(w->GetSize().x / 2, w->GetSize().y / 2));
              return true;
            }};
  }
  Step Closed() {
    return {"the Preferences closed", [] { return OpenPreferences() == nullptr; }, 8000};
  }
  bool Checked(int id) { return static_cast<wxCheckBox*>(dialog_->FindWindow(id))->GetValue(); }

  TempFolder folder_;
  UdpPeer wire_{kFirst, wire::kControlPort, wire::kControlGroup};
  ScriptedAnnouncer announcer_{kFirst, {announcing_client(Ipv4Address(127, 0, 0, 31), "lab-pc", 1)}};
  CoreOptions options_;
  WindowOverCore<DesktopServices> window_;
  CPreferencesDlg* dialog_ = nullptr;
  bool interfaces_changed_ = false;
};

TEST_F(PreferencesDialog, SwitchesAnInterfaceOffOnlyWhileAnotherStaysOn) {
  DialogLog log;
  log.SetAnswer(AnswerInformationAndMessages);
  ASSERT_TRUE(RunSteps({
      {"the Client listed", [&] { return Rows().row_count() == 1; }, 10000},
      Settle(),
      {"check it", [&] {
         const wxRect r = window_.frame->View()->ClientList()->RowRect(0);
         ClickAt(window_.frame->View()->ClientList(), wxPoint(r.x + 30, r.y + r.height / 2));
         return true;
       }},
      {"checked", [&] { return Rows().check_state(0) == kChecked; }},
      Open(),
      Opened(),
      Settle(),
      {"both interfaces listed and checked, the options as stored", [&] {
         const CheckListModel& rows = dialog_->Rules().interfaces();
         EXPECT_EQ(rows.row_count(), 2);
         EXPECT_EQ(rows.cell(0, 0), "127.000.000.001");
         EXPECT_EQ(rows.cell(1, 0), "127.000.000.002");
         EXPECT_EQ(rows.check_state(0), kChecked);
         EXPECT_EQ(rows.check_state(1), kChecked);
         EXPECT_FALSE(Checked(ids::kKeepPartitionSize));
         EXPECT_TRUE(Checked(ids::kUniqueSid));
         EXPECT_FALSE(Checked(ids::kSectorBySector));
         return true;
       }},
      ClickInterface(0),
      Pause(500),
      ClickInterface(1),
      Click(ids::kKeepPartitionSize, "Keep partition size"),
      {"both unchecked", [&] {
         const CheckListModel& rows = dialog_->Rules().interfaces();
         return rows.last_checked() == -1 && Checked(ids::kKeepPartitionSize);
       }},
      Click(wxID_OK, "OK"),
      {"refused with the message", [&] { return !log.Messages().empty(); }},
      {"still open", [&] { return OpenPreferences() == dialog_; }},
      Click(wxID_CANCEL, "Cancel"),
      Closed(),
  }));
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"At least one interface must be configured."});
  EXPECT_FALSE(interfaces_changed_);
  EXPECT_FALSE(window_.core->endpoints().disabled(0));
  EXPECT_FALSE(window_.core->endpoints().disabled(1));
  EXPECT_FALSE(window_.core->program_options().keep_partition_size);
  EXPECT_EQ(Setting(kSettingDisabledInterfaces), std::nullopt);
  EXPECT_EQ(Setting(kSettingKeepPartitionSize), std::nullopt);
  EXPECT_EQ(Rows().check_state(0), kChecked) << "the client list is left as it was";

  // The second interface off, partition sizes kept, sector by sector forced.
  ASSERT_TRUE(RunSteps({
      Open(),
      Opened(),
      Settle(),
      ClickInterface(1),
      Click(ids::kKeepPartitionSize, "Keep partition size"),
      Click(ids::kSectorBySector, "Force sector-by-sector copying"),
      {"chosen", [&] {
         return dialog_->Rules().interfaces().check_state(1) == kUnchecked && Checked(ids::kKeepPartitionSize) &&
                Checked(ids::kSectorBySector);
       }},
      {"drain the wire", [&] {
         DiscoversHeard();
         return true;
       }},
      Click(wxID_OK, "OK"),
      Closed(),
      {"the Client listed afresh, unchecked", [&] { return Rows().row_count() == 1; }, 5000},
      Pause(2500),
  }));
  EXPECT_TRUE(interfaces_changed_);
  EXPECT_EQ(Rows().check_state(0), kUnchecked) << "the list and the targets were emptied and filled again";
  EXPECT_FALSE(window_.core->endpoints().disabled(0));
  EXPECT_TRUE(window_.core->endpoints().disabled(1));
  EXPECT_EQ(Setting(kSettingDisabledInterfaces), "127.000.000.002;");
  EXPECT_EQ(Setting(kSettingKeepPartitionSize), "1");
  EXPECT_EQ(Setting(kSettingSid), "1");
  EXPECT_EQ(window_.core->program_options(),
            (ProgramOptions{.keep_partition_size = true, .unique_sid = true, .sector_by_sector = true}));
  const std::vector<Ipv4Address> heard = DiscoversHeard();
  EXPECT_GE(heard.size(), 3u) << "the rediscovery and one a second since";
  EXPECT_EQ(std::count(heard.begin(), heard.end(), kFirst), static_cast<long>(heard.size()))
      << "no request left by the switched-off interface";

  // A restart reads the stored options: sector-by-sector is off again.
  WxUserMessages restart_messages;
  ControllerCore restarted(restart_messages, options_);
  EXPECT_EQ(restarted.program_options(),
            (ProgramOptions{.keep_partition_size = true, .unique_sid = true, .sector_by_sector = false}));
}

}  // namespace
}  // namespace kestrelon::test
