// The main form against Clients on the network: a scripted announcer answers the
// Controller's discovery requests on loopback inside this test's private network.
// Listing, check marks, the enabling of Create and client Info at their recompute
// points only, the drive selection routing, and shutdown with Clients announcing.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <string>
#include <memory>

#include <wx/headerctrl.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include "app/controller_core.h"
#include "controls/check_list_ctrl.h"
#include "fake_view_services.h"
#include "gui_steps.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"
#include "support/temp_folder.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/idle_time_work.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"
#include "ui/wx_user_messages.h"
#include "window_setup.h"

namespace kestrelon::test {
namespace {

const Ipv4Address kLoopback(127, 0, 0, 1);
constexpr std::uint32_t kSectorsPerMb = 2048;

AnnounceSpec Client(const std::string& name, std::uint8_t last_octet, std::vector<std::uint32_t> disk_mb) {
  AnnounceSpec client;
  client.address = Ipv4Address(127, 0, 0, last_octet);
  client.name = name;
  for (std::uint32_t mb : disk_mb) client.disks.push_back(make_disk(mb * kSectorsPerMb, 2));
  return client;
}

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// Threads of this program's own making: they carry the program's name, while the
// toolkit names the threads it starts when it needs them ("gmain", "gdbus", ...).
int ThreadCount() {
  const std::string own = ReadLine("/proc/self/comm");
  int n = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (const dirent* e = ::readdir(dir))
      if (e->d_name[0] != '.' && ReadLine(std::string("/proc/self/task/") + e->d_name + "/comm") == own) ++n;
    ::closedir(dir);
  }
  return n;
}

// Records the drive selection instead of running the drive dialog, and chooses the
// second disk.
class RecordingDesktopServices : public DesktopServices {
 public:
  using DesktopServices::DesktopServices;
  std::vector<std::string> dialogs;

 protected:
  bool RunDriveDialog(const ClientRecord& client, int& chosen_disk) override {
    dialogs.push_back(client.name_text());
    if (client.disk_count < 2) return false;
    chosen_disk = 1;
    return true;
  }
};

class ClientList : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
    announcer_ = std::make_unique<ScriptedAnnouncer>(
        kLoopback, std::vector<AnnounceSpec>{Client("pc2", 13, {1023, 4095}), Client("PC10", 12, {100, 200, 300}),
                                             Client("Alpha", 11, {2047})});
    ASSERT_TRUE(announcer_->ok());
    threads_before_ = ThreadCount();
    CoreOptions options = LoopbackCoreOptions(folder_.path());
    // Long lock waits: a shutdown that ran one out would take at least this long.
    options.shutdown_wait = std::chrono::seconds(60);
    ASSERT_TRUE(window_.Start(std::move(options)));
  }

  CheckListModel& Rows() { return window_.core->main_client_list().rows(); }
  CCheckListCtrl* List() { return window_.frame->View()->ClientList(); }
  bool Enabled(int id) { return window_.frame->View()->FindWindow(id)->IsThisEnabled(); }
  wxPoint RowPoint(int row) {
    const wxRect r = List()->RowRect(row);
    return {r.x + 40, r.y + r.height / 2};
  }
  Step ClickRow(int row, bool twice = false) {
    return {"click row " + std::to_string(row), [this, row, twice] {
              ClickAt(List(), RowPoint(row), twice);
              return true;
            }};
  }
  Step ClickButton(int id) {
    return {"click button " + std::to_string(id), [this, id] {
              wxWindow* b = window_.frame->View()->FindWindow(id);
              ClickAt(b, wxPoint(b->GetSize().x / 2, b->GetSize().y / 2));
              return true;
            }};
  }
  Step ListFilled() {
    return {"three Clients listed", [this] { return Rows().row_count() == 3; }, 10000};
  }

  TempFolder folder_;
  std::unique_ptr<ScriptedAnnouncer> announcer_;
  WindowOverCore<RecordingDesktopServices> window_;
  int threads_before_ = 0;
};

TEST_F(ClientList, ListsDiscoveredClientsSortedWithTheirColumns) {
  ASSERT_TRUE(RunSteps({ListFilled(), Settle()}));
  const std::vector<std::vector<std::string>> expected = {
      {"Alpha", "127.000.000.011", "\xC3\x97", "Disk 1 (2047Mb)"},
      {"PC10", "127.000.000.012", "\xC3\x97\xC3\x97\xC3\x97", "Disk 1 (100Mb)"},
      {"pc2", "127.000.000.013", "\xC3\x97\xC3\x97", "Disk 1 (1023Mb)"}};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column) {
      EXPECT_EQ(Rows().cell(row, column), expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
      EXPECT_EQ(List()->DrawnCellText(row, column).utf8_string(),
                expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
    }
  // Each column as wide as its header text plus 90, 45, 45 and 75 pixels.
  wxClientDC dc(List());
  dc.SetFont(List()->GetFont());
  const std::pair<const char*, int> columns[] = {{"Name", 90}, {"IP Address", 45}, {"Disk(s)", 45}, {"Target", 75}};
  for (int c : {0, 2, 3})
    EXPECT_EQ(List()->ColumnWidth(c), dc.GetTextExtent(columns[c].first).x + columns[c].second) << columns[c].first;
  // The address column also holds a whole address with its margins.
  EXPECT_EQ(List()->ColumnWidth(1), std::max(dc.GetTextExtent("IP Address").x + 45,
                                             dc.GetTextExtent("000.000.000.000").x + 12));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(Rows().check_state(row), kUnchecked);
  EXPECT_FALSE(Enabled(ids::kCreate));
  EXPECT_FALSE(Enabled(ids::kClientInfo));
}

TEST_F(ClientList, CreateFollowsTheCheckMarksOnlyAtTheRecomputePoints) {
  ASSERT_TRUE(RunSteps({ListFilled(), Settle(), ClickRow(0),
                        {"Alpha checked, Create and Info enabled", [&] {
                           return Rows().check_state(0) == kChecked && Enabled(ids::kCreate) &&
                                  Enabled(ids::kClientInfo);
                         }},
                        Pause(500), ClickRow(2),
                        {"two checked: Create disabled", [&] {
                           return Rows().check_state(2) == kChecked && !Enabled(ids::kCreate);
                         }},
                        Pause(500), ClickButton(ids::kDeselectAll),
                        {"none checked", [&] {
                           return Rows().check_state(0) == kUnchecked && Rows().check_state(2) == kUnchecked &&
                                  !Enabled(ids::kCreate);
                         }},
                        ClickButton(ids::kSelectAll),
                        {"all checked", [&] {
                           int n = 0;
                           Rows().last_checked(&n);
                           return n == 3 && !Enabled(ids::kCreate);
                         }},
                        ClickButton(ids::kDeselectAll), Pause(500), ClickRow(1),
                        {"one checked again", [&] { return Enabled(ids::kCreate); }}}));

  // A check mark set by anything else is seen at the next recompute point only.
  Rows().check(2);
  EXPECT_TRUE(Enabled(ids::kCreate));
  // File > Discover empties and refills the list but recomputes nothing.
  wxCommandEvent discover(wxEVT_MENU, ids::kFileDiscover);
  window_.frame->GetEventHandler()->ProcessEvent(discover);
  EXPECT_EQ(Rows().row_count(), 0);
  EXPECT_TRUE(Enabled(ids::kCreate));
  EXPECT_TRUE(Enabled(ids::kClientInfo));
  ASSERT_TRUE(RunSteps({ListFilled(), Settle()}));
  EXPECT_TRUE(Enabled(ids::kCreate));
  ASSERT_TRUE(RunSteps({Pause(500), ClickRow(0),
                        {"recomputed", [&] { return Rows().check_state(0) == kChecked && Enabled(ids::kCreate); }}}));
  int checked = 0;
  Rows().last_checked(&checked);
  EXPECT_EQ(checked, 1);
}

TEST_F(ClientList, DoubleClickLeavesTheCheckMarkAndRoutesToTheDriveSelection) {
  ASSERT_TRUE(RunSteps({ListFilled(), Settle(), ClickRow(1, true),
                        {"drive selection for PC10", [&] { return window_.services->dialogs.size() == 1; }}, Settle()}));
  EXPECT_EQ(window_.services->dialogs[0], "PC10");
  EXPECT_EQ(Rows().check_state(1), kUnchecked);
  EXPECT_EQ(Rows().selected_row(), 1);
  // The routing stored the chosen second disk and rewrote the row.
  EXPECT_EQ(Rows().cell(1, 3), "Disk 2 (200Mb)");
  EXPECT_TRUE(Enabled(ids::kClientInfo));

  // The client Info button routes the same way.
  ASSERT_TRUE(RunSteps({ClickButton(ids::kClientInfo), {"again", [&] { return window_.services->dialogs.size() == 2; }}}));
  EXPECT_EQ(window_.services->dialogs[1], "PC10");
}

TEST_F(ClientList, ShutdownWithClientsStillAnnouncingLeavesNoThreadBehind) {
  ASSERT_TRUE(RunSteps({ListFilled()}));
  EXPECT_GT(ThreadCount(), threads_before_);  // the receive thread runs
  // File > Exit closes the main window; then the program shuts the core down.
  wxCommandEvent exit_command(wxEVT_MENU, ids::kAppExit);
  window_.frame->GetEventHandler()->ProcessEvent(exit_command);
  window_.frame = nullptr;
  window_.idle.reset();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunSteps({Settle()}));
  window_.core->shutdown();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::seconds(30)) << "no lock wait ran out";
  EXPECT_GE(announcer_->discovers_heard(), 1);
  EXPECT_EQ(ThreadCount(), threads_before_);
}

// The form with a fake behind it: what the form does on its own.
TEST(ClientListForm, DriveSelectionForAnUnknownAddressSaysTheListIsNotUpdated) {
  FakeViewServices services;
  services.drive_selection_finds_client = false;
  auto* frame = new CMainFrame(services);
  frame->View()->InitialUpdate();
  frame->Show();
  services.rows.append_client_row({"Ghost", "010.000.000.001", 1, 0, 10});
  services.rows.select_row(0);
  wxTEST_DIALOG(frame->View()->DriveSelection(),
                wxExpectModal<wxMessageDialog>(wxID_OK).Describe("ERROR: List is not updated. Can't find client !"));
  ASSERT_EQ(services.drive_selections.size(), 1u);
  EXPECT_EQ(services.drive_selections[0], "010.000.000.001");

  // Save Group with nothing checked: the message, no dialog.
  wxTEST_DIALOG(frame->View()->SaveGroup(), wxExpectModal<wxMessageDialog>(wxID_OK).Describe("no Client checked"));
  EXPECT_EQ(services.group_saves, 0);
  services.rows.check(0);
  frame->View()->SaveGroup();
  EXPECT_EQ(services.group_saves, 1);
  frame->Destroy();
  RunSteps({Settle()});
}

TEST(ClientListForm, ColumnsWiderThanTheListScrollSideways) {
  FakeViewServices services;
  auto* frame = new CMainFrame(services);
  frame->View()->InitialUpdate();
  frame->Show();
  services.rows.append_client_row({"PC-01", "010.000.000.001", 2, 1, 4095});
  CCheckListCtrl* list = frame->View()->ClientList();
  ASSERT_TRUE(RunSteps({{"smallest form", [&] {
                           frame->SetClientSize(578, 420);
                           return true;
                         }},
                        Settle(), {"list narrower than its columns", [&] {
                                     return list->GetClientSize().x < list->TotalColumnWidth();
                                   }}}));
  EXPECT_TRUE(list->HorizontalScrollShown());
  list->ScrollHorizontally(100000);
  const int visible = list->GetClientSize().x;
  EXPECT_GE(list->HorizontalOffset(), list->TotalColumnWidth() - visible);
  EXPECT_GT(list->HorizontalOffset(), 0);
  ASSERT_TRUE(RunSteps({{"wide form", [&] {
                           frame->SetClientSize(1100, 700);
                           return true;
                         }},
                        Settle(), {"list wider than its columns", [&] {
                                     return list->GetClientSize().x > list->TotalColumnWidth();
                                   }}}));
  EXPECT_FALSE(list->HorizontalScrollShown());
  EXPECT_EQ(list->HorizontalOffset(), 0);
  frame->Destroy();
  RunSteps({Settle()});
}

TEST(ClientListForm, LongNameIsShortenedInItsColumnAndListClosesAfterItsWait) {
  FakeViewServices services;
  auto* frame = new CMainFrame(services);
  frame->View()->InitialUpdate();
  frame->Show();
  services.rows.append_client_row({"LABORATORY-WORKSTATION-NUMBER-0017-EAST-WING", "010.000.000.001", 1, 0, 10});
  ASSERT_TRUE(RunSteps({Settle()}));
  CCheckListCtrl* list = frame->View()->ClientList();
  const wxString drawn = list->DrawnCellText(0, 0);
  EXPECT_TRUE(drawn.EndsWith("...")) << drawn;
  EXPECT_TRUE(wxString("LABORATORY-WORKSTATION-NUMBER-0017-EAST-WING").StartsWith(drawn.BeforeLast('.').BeforeLast('.').BeforeLast('.')));
  const auto start = std::chrono::steady_clock::now();
  frame->Destroy();
  RunSteps({Settle()});
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(took.count(), CCheckListCtrl::kCloseWaitMs);
}

}  // namespace
}  // namespace kestrelon::test
