// The main form against running reference Clients (kestrelon-client processes
// with virtual disks) on loopback inside this test's private network.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include <wx/filefn.h>

#include "app/controller_core.h"
#include "controls/check_list_ctrl.h"
#include "gui_steps.h"
#include "reference_clients.h"
#include "support/private_network.h"
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

TEST(ReferenceClients, AreListedSortedWithTheirDisksAndTakeCheckMarks) {
  KESTRELON_REQUIRE_REFERENCE_CLIENTS();

  TempFolder folder;
  ReferenceClients clients;
  std::string error;
  ASSERT_TRUE(clients.Start(folder.path(),
                            {{"lab-pc-2", "127.0.0.12", {64}}, {"LAB-PC-10", "127.0.0.13", {32, 128}},
                             {"Bench", "127.0.0.11", {256}}},
                            error))
      << error;

  WxUserMessages messages;
  auto core = std::make_unique<ControllerCore>(messages, LoopbackCoreOptions(folder.path()));
  DesktopServices services(*core);
  auto* frame = ShowMainWindow(services);
  ASSERT_TRUE(core->start());
  auto idle = std::make_unique<IdleTimeWork>([&] { core->idle_pass(); });
  CheckListModel& rows = core->main_client_list().rows();
  CCheckListCtrl* list = frame->View()->ClientList();

  const bool listed = RunSteps({{"three Clients listed", [&] { return rows.row_count() == 3; }, 15000}, Settle()});
  EXPECT_TRUE(listed);
  if (listed) {
    const std::vector<std::vector<std::string>> expected = {
        {"Bench", "127.000.000.011", "\xC3\x97", "Disk 1 (256Mb)"},
        {"LAB-PC-10", "127.000.000.013", "\xC3\x97\xC3\x97", "Disk 1 (32Mb)"},
        {"lab-pc-2", "127.000.000.012", "\xC3\x97", "Disk 1 (64Mb)"}};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c)
        EXPECT_EQ(rows.cell(r, c), expected[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    const wxRect row1 = list->RowRect(1);
    EXPECT_TRUE(RunSteps({{"click LAB-PC-10", [&] {
                             ClickAt(list, wxPoint(row1.x + 40, row1.y + row1.height / 2));
                             return true;
                           }},
                          {"checked, Create enabled", [&] {
                             return rows.check_state(1) == kChecked &&
                                    frame->View()->FindWindow(ids::kCreate)->IsThisEnabled();
                           }}}));
  }

  idle.reset();
  frame->Destroy();
  RunSteps({Settle()});
  core->shutdown();
}

}  // namespace
}  // namespace kestrelon::test
