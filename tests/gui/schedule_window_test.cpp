// The Schedule button of the main window against reference Client processes: the
// Copy command's checks before the countdown, Cancel starting nothing, and a
// one-minute delay set with the spin arrow ending in the whole Copy, byte for
// byte. The countdown's wall clock runs ten times faster than real time.
#include <gtest/gtest.h>

#include <filesystem>

#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include "desktop_rig.h"
#include "dialogs/schedule_dlg.h"
#include "dialogs/timed_message_dlg.h"
#include "dialogs/transfer_dlg.h"
#include "fast_wall_clock.h"
#include "gui_steps.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/shadow_view.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int CheckedRows(CheckListModel& rows) {
  int n = 0;
  rows.last_checked(&n);
  return n;
}

wxString DelayText() {
  return static_cast<wxTextCtrl*>(OpenDialog<CScheduleDlg>()->FindWindow(CScheduleDlg::kDelayEdit))->GetValue();
}

TEST(ScheduleWindow, ChecksFirstCancelStartsNothingAndADelayEndsInTheCopy) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  if (ReferenceClients::Program().empty()) GTEST_SKIP() << "SKIPPED: no reference Client";
  DesktopRig rig({{"Lab-1", "127.0.0.41", {64}}, {"Lab-2", "127.0.0.42", {64}}});
  ASSERT_TRUE(rig.ok());
  rig.Services().SetScheduleClock(FastWallClock(10));
  const fs::path image = rig.Images() / "evening.krn";
  write_file(image.string(), image_bytes({.length = 3u << 20,
                                          .description = "evening",
                                          .partition_count = 1,
                                          .full_sectors = {16384},
                                          .data_sectors = {8192}}));
  // Message boxes are answered unseen; every other dialog is shown.
  rig.Dialogs().SetAnswer(
      [](wxDialog* dialog) { return dynamic_cast<wxMessageDialogBase*>(dialog) ? wxID_OK : wxID_NONE; });
  const DialogLog& log = rig.Dialogs();

  // Nothing checked: refused before the countdown opens.
  ASSERT_TRUE(RunSteps({
      {"two Clients listed", [&] { return rig.Rows().row_count() == 2; }, 15000},
      Settle(),
      Do("click the image", [&] {
         rig.View()->FillImageList("*.krn");
         rig.ClickImage(0);
       }),
      {"Schedule enabled", [&] { return rig.View()->FindWindow(ids::kSchedule)->IsThisEnabled(); }},
      Do("press Schedule", [&] { rig.ClickButton(ids::kSchedule); }),
      {"refused", [&] { return !log.Messages().empty(); }},
  }));
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"No clients have been checked (discovered) !"});
  EXPECT_TRUE(log.Of<CScheduleDlg>(true).empty());

  // Cancel: no Copy.
  ASSERT_TRUE(RunSteps({
      Do("Select All", [&] { rig.ClickButton(ids::kSelectAll); }),
      {"two checked", [&] { return CheckedRows(rig.Rows()) == 2; }},
      Do("press Schedule", [&] { rig.ClickButton(ids::kSchedule); }),
      {"the countdown opens", [&] { return OpenDialog<CScheduleDlg>() != nullptr; }},
      Pause(500),
      Do("press Cancel", [&] { rig.ClickWindow(OpenDialog<CScheduleDlg>()->FindWindow(wxID_CANCEL)); }),
      {"closed", [&] { return !log.Of<CScheduleDlg>(false).empty(); }},
      Pause(1000),
  }));
  EXPECT_TRUE(log.Of<CTransferDlg>(true).empty());
  for (const char* name : {"Lab-1", "Lab-2"}) EXPECT_FALSE(fs::exists(rig.Store(name) / "evening.krn")) << name;
  EXPECT_EQ(CheckedRows(rig.Rows()), 2) << "the checks stay for the next try";

  // A one-minute delay, then the Copy as the Copy button runs it.
  SteadyTime started{};
  ASSERT_TRUE(RunSteps({
      Do("press Schedule again", [&] { rig.ClickButton(ids::kSchedule); }),
      {"the countdown opens", [&] { return OpenDialog<CScheduleDlg>() != nullptr; }},
      Pause(500),
      Do("choose the delay", [&] { rig.ClickWindow(OpenDialog<CScheduleDlg>()->FindWindow(CScheduleDlg::kDelayRadio)); }),
      {"delay chosen",
       [&] {
         return static_cast<wxRadioButton*>(OpenDialog<CScheduleDlg>()->FindWindow(CScheduleDlg::kDelayRadio))
             ->GetValue();
       }},
      Do("one minute up", [&] { ClickSpinUp(OpenDialog<CScheduleDlg>()->FindWindow(CScheduleDlg::kDelaySpin)); }),
      {"00:01", [&] { return DelayText() == "00:01"; }},
      {"Start enabled", [&] { return OpenDialog<CScheduleDlg>()->FindWindow(CScheduleDlg::kStart)->IsEnabled(); }},
      Do("press Start", [&] {
         started = std::chrono::steady_clock::now();
         rig.ClickWindow(OpenDialog<CScheduleDlg>()->FindWindow(CScheduleDlg::kStart));
       }),
      {"the countdown ends itself", [&] { return log.Of<CScheduleDlg>(false).size() == 2; }, 30000},
      {"Transfer dialog open", [&] { return OpenDialog<CTransferDlg>() != nullptr; }, 10000},
      {"the copy runs to its end", [&] { return !log.Of<CTransferDlg>(false).empty(); }, 60000},
      {"the timed message closes by itself", [&] { return !log.Of<CTimedMessageDlg>(false).empty(); }, 20000},
      {"the Clients are listed again", [&] { return rig.Rows().row_count() == 2; }, 15000},
  }));

  // Sixty seconds of the fast clock are six real ones; the Copy began after them.
  EXPECT_GT(log.Of<CScheduleDlg>(false).at(1).at - started, 5s);
  EXPECT_GE(log.Of<CTransferDlg>(true).at(0).at, log.Of<CScheduleDlg>(false).at(1).at);
  EXPECT_EQ(log.Of<CTransferDlg>(false).at(0).texts.at(progress_ids::kPercentage), "100%");
  EXPECT_EQ(log.Messages().size(), 1u) << log.Messages().back();
  for (const char* name : {"Lab-1", "Lab-2"}) EXPECT_TRUE(SameBytes(rig.Store(name) / "evening.krn", image)) << name;
}

}  // namespace
}  // namespace kestrelon::test
