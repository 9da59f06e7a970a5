// The window's part of imaging a room, against reference Client processes:
// View > History... with "Check the failed Clients" choosing them and the
// image for another Copy; the question naming a protected Client before a Copy
// (No leaves it out); the live per-PC table beside the Transfer dialog while
// the copy runs; Load Group with "Wake the PCs" naming the member it cannot
// wake and following the others in the status bar; and a Schedule that starts
// once 2 of the room's 3 PCs are there, the third reported in the journal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
#include <wx/radiobut.h>
#include <wx/spinctrl.h>
#include <wx/statusbr.h>

#include "app/transfer_journal.h"
#include "commands/protected_targets.h"
#include "desktop_rig.h"
#include "dialogs/history_dlg.h"
#include "dialogs/live_targets_dlg.h"
#include "dialogs/load_group_dlg.h"
#include "dialogs/missing_members_dlg.h"
#include "dialogs/schedule_dlg.h"
#include "dialogs/timed_message_dlg.h"
#include "dialogs/transfer_dlg.h"
#include "fast_wall_clock.h"
#include "gui_steps.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/main_frame.h"
#include "ui/room_ids.h"
#include "ui/shadow_view.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

CLiveTargetsDlg* LiveTable() {
  for (wxWindow* top : wxTopLevelWindows)
    if (auto* d = dynamic_cast<CLiveTargetsDlg*>(top); d != nullptr && d->IsShown()) return d;
  return nullptr;
}

wxString Cell(wxWindow* dialog, int list_id, long row, int column) {
  auto* list = static_cast<wxListCtrl*>(dialog->FindWindow(list_id));
  return row < list->GetItemCount() ? list->GetItemText(row, column) : wxString();
}

bool ClickEntry(wxListBox* list, const std::string& text) {
  const int wanted = list->FindString(wxString::FromUTF8(text), true);
  for (int y = 1; wanted != wxNOT_FOUND && y < list->GetClientSize().y; y += 2) {
    if (list->HitTest(wxPoint(10, y)) == wanted) {
      ClickAt(list, wxPoint(10, y));
      return true;
    }
  }
  return false;
}

// Room-PC1 protected or not, in the inventory the window reads.
void Protect(ControllerCore& core, bool on) {
  core.inventory().update([on](std::vector<InventoryEntry>& entries) {
    const int i = find_entry(entries, "Room-PC1");
    if (i >= 0) {
      entries[static_cast<std::size_t>(i)].is_protected = on;
    } else {
      entries.push_back({.name = "Room-PC1", .address = Ipv4Address(127, 0, 0, 51), .is_protected = on});
    }
    return true;
  });
}

const JournalRecord* Target(const JournalRecord& record, const std::string& name) {
  for (const JournalRecord& t : record["targets"])
    if (t.value("name", "") == name) return &t;
  return nullptr;
}

TEST(RoomWindow, HistoryRetriesTheFailedAProtectedPcIsAskedForAndAScheduleWaitsForTheRoom) {
  KESTRELON_REQUIRE_REFERENCE_CLIENTS();
  DesktopRig rig({{"Room-PC1", "127.0.0.51", {64}}, {"Room-PC2", "127.0.0.52", {64}}});
  ASSERT_TRUE(rig.ok());
  rig.Services().SetScheduleClock(FastWallClock(10));
  const fs::path image = rig.Images() / "room.krn";
  write_file(image.string(), image_bytes({.length = 3u << 20, .partition_count = 1, .full_sectors = {16384},
                                          .data_sectors = {8192}}));
  const TransferJournal journal(TransferJournal::default_file());
  // Last night's copy of this image: Room-PC2 was woken and failed.
  ASSERT_TRUE(journal.append(JournalRecord::parse(
      R"({"kind":"copy","program":"kestrelon-cli","started":"2026-05-01T02:00:03+02:00","result":"partial",
          "image":")" + image.string() + R"(","targets":[
          {"name":"Room-PC1","address":"127.0.0.51","outcome":"done"},
          {"name":"Room-PC2","address":"127.0.0.52","outcome":"failed","reason":"fell silent",
           "woken":true,"booted_after_seconds":12.5}]})")));
  Protect(rig.Core(), true);
  // The question about Room-PC1 is answered No, then Yes; every other message OK.
  std::vector<int> protected_answers = {wxID_NO, wxID_YES};
  rig.Dialogs().SetAnswer([&](wxDialog* dialog) -> int {
    if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) {
      if (!box->GetMessage().StartsWith("Protected Clients") || protected_answers.empty()) return wxID_OK;
      const int answer = protected_answers.front();
      protected_answers.erase(protected_answers.begin());
      return answer;
    }
    return dynamic_cast<CMissingMembersDlg*>(dialog) ? wxID_OK : wxID_NONE;
  });
  const DialogLog& log = rig.Dialogs();
  const auto history = [] { return OpenDialog<CHistoryDlg>(); };

  wxRect transfer_at, live_at;
  std::vector<std::vector<std::string>> live_rows;
  ASSERT_TRUE(RunSteps({
      {"two Clients listed", [&] { return rig.Rows().row_count() == 2; }, 15000},
      Settle(),
      Do("View > History...",
         [&] { rig.Frame()->GetEventHandler()->QueueEvent(new wxCommandEvent(wxEVT_MENU, ids::kViewHistory)); }),
      {"History open", [&] { return history() != nullptr; }},
      Placed(),
      {"last night's copy chosen, its PCs shown",
       [&] { return Cell(history(), ids::kHistoryPcs, 1, 0) == "Room-PC2"; }},
      Do("press Check the failed Clients",
         [&] { rig.ClickWindow(history()->FindWindow(ids::kHistoryCheckFailed)); }),
      {"History closed", [&] { return !log.Of<CHistoryDlg>(false).empty(); }},
      {"the image chosen", [&] { return rig.ImageList()->GetStringSelection() == "room.krn"; }},
  }));
  EXPECT_EQ(rig.Rows().check_state(0), kUnchecked) << "Room-PC1 finished";
  EXPECT_EQ(rig.Rows().check_state(1), kChecked) << "Room-PC2 is tried again";
  EXPECT_TRUE(rig.View()->FindWindow(ids::kCopy)->IsThisEnabled());

  // Room-PC1 checked too: it is protected, so the Copy asks, and No leaves it out.
  ASSERT_TRUE(RunSteps({
      Do("check Room-PC1", [&] { rig.ClickRow(0); }),
      {"both checked", [&] { return rig.Rows().check_state(0) == kChecked; }},
      Do("press Copy", [&] { rig.ClickButton(ids::kCopy); }),
      {"Transfer dialog open", [&] { return OpenDialog<CTransferDlg>() != nullptr; }, 10000},
      {"the live table beside it", [&] {
         CLiveTargetsDlg* live = LiveTable();
         const CTransferDlg* transfer = OpenDialog<CTransferDlg>();
         if (live == nullptr || transfer == nullptr) return false;
         transfer_at = transfer->GetScreenRect();
         live_at = live->GetScreenRect();
         return true;
       }},
      {"the copy ends", [&] {
         if (const CLiveTargetsDlg* live = LiveTable()) live_rows = live->rows().rows();
         return !log.Of<CTransferDlg>(false).empty();
       }, 60000},
      {"the live table goes with it", [&] { return LiveTable() == nullptr; }},
      {"the timed message closes by itself", [&] { return !log.Of<CTimedMessageDlg>(false).empty(); }, 20000},
      {"the Clients are listed again", [&] { return rig.Rows().row_count() == 2; }, 15000},
  }));
  ASSERT_FALSE(log.Messages().empty());
  EXPECT_EQ(log.Messages().front(),
            protected_question({{.name = "Room-PC1", .address = Ipv4Address(127, 0, 0, 51)}}));
  EXPECT_FALSE(live_at.Intersects(transfer_at)) << "beside the Transfer dialog, not over it";
  // Each PC's step as it was last shown, the one left out with why.
  ASSERT_EQ(live_rows.size(), 2u);
  std::sort(live_rows.begin(), live_rows.end());
  EXPECT_EQ(live_rows[0], (std::vector<std::string>{"Room-PC1", "127.0.0.51", "skipped", kProtectedReason}));
  EXPECT_EQ(live_rows[1][0], "Room-PC2");
  EXPECT_NE(live_rows[1][2], "skipped");
  EXPECT_TRUE(SameBytes(rig.Store("Room-PC2") / "room.krn", image));
  EXPECT_FALSE(fs::exists(rig.Store("Room-PC1") / "room.krn")) << "the protected PC was left out";
  JournalRecord copied = journal.read().records.back();
  ASSERT_NE(Target(copied, "Room-PC1"), nullptr) << copied.dump();
  EXPECT_EQ((*Target(copied, "Room-PC1"))["reason"], kProtectedReason);
  EXPECT_EQ((*Target(copied, "Room-PC2"))["outcome"], "done");

  // The room's group has a third PC that is switched off and was never listed.
  {
    GroupStore groups(rig.Core().profile());
    ASSERT_EQ(groups.save("Room", {{"Room-PC1", "127.000.000.051", 1, 0, 64},
                                   {"Room-PC2", "127.000.000.052", 1, 0, 64},
                                   {"Room-PC3", "127.000.000.053", 1, 0, 64}}),
              GroupStore::SaveResult::saved);
  }
  const auto load_group = [] { return OpenDialog<CLoadGroupDlg>(); };
  const auto schedule = [] { return OpenDialog<CScheduleDlg>(); };
  wxString status_line, room_status;
  ASSERT_TRUE(RunSteps({
      Do("press Load Group", [&] { rig.ClickButton(ids::kLoadGroup); }),
      {"Load Group open", [&] { return load_group() != nullptr; }},
      Placed(),
      {"choose Room", [&] { return ClickEntry(load_group()->Groups(), "Room"); }},
      {"chosen", [&] { return load_group()->LoadButton()->IsEnabled(); }},
      Do("tick Wake the PCs", [&] { rig.ClickWindow(load_group()->WakeBox()); }),
      {"ticked", [&] { return load_group()->WakeBox()->GetValue(); }},
      Do("press Load Group", [&] { rig.ClickWindow(load_group()->LoadButton()); }),
      {"loaded", [&] { return !log.Of<CLoadGroupDlg>(false).empty(); }},
      {"the status bar follows the room", [&] {
         status_line = rig.Frame()->GetStatusBar()->GetStatusText(CMainFrame::kOutcomePane);
         return status_line.StartsWith("2 of 3 PCs ready; waiting for Room-PC3");
       }},
      Do("press Schedule", [&] { rig.ClickButton(ids::kSchedule); }),
      {"the countdown opens", [&] { return schedule() != nullptr; }},
      Placed(),
      Do("at least 2 PCs", [&] {
         static_cast<wxSpinCtrl*>(schedule()->FindWindow(ids::kMinClients))->SetValue(2);
       }),
      Do("choose the delay", [&] { rig.ClickWindow(schedule()->FindWindow(CScheduleDlg::kDelayRadio)); }),
      {"delay chosen",
       [&] { return static_cast<wxRadioButton*>(schedule()->FindWindow(CScheduleDlg::kDelayRadio))->GetValue(); }},
      Do("one minute up", [&] { ClickSpinUp(schedule()->FindWindow(CScheduleDlg::kDelaySpin)); }),
      {"Start enabled", [&] { return schedule()->FindWindow(CScheduleDlg::kStart)->IsEnabled(); }},
      Do("press Start", [&] { rig.ClickWindow(schedule()->FindWindow(CScheduleDlg::kStart)); }),
      {"the room's choices are fixed", [&] { return !schedule()->FindWindow(ids::kMinClients)->IsEnabled(); }},
      {"the countdown ends with 2 of 3 there", [&] { return log.Of<CScheduleDlg>(false).size() == 1; }, 30000},
      {"the copy runs to its end", [&] { return log.Of<CTransferDlg>(false).size() == 2; }, 60000},
      {"the timed message closes by itself", [&] { return log.Of<CTimedMessageDlg>(false).size() == 2; }, 20000},
  }));
  Protect(rig.Core(), false);
  const std::vector<std::string> messages = log.Messages();
  EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                          [](const std::string& m) { return m.rfind("Not woken: Room-PC3 (", 0) == 0; }),
            1)
      << "Room-PC3 was never listed: it cannot be woken";
  EXPECT_EQ(log.Of<CMissingMembersDlg>(true).size(), 0u) << "woken members are awaited, not listed as failed";
  // As the countdown closed: who came, who not.
  room_status = log.Of<CScheduleDlg>(false).at(0).texts[ids::kRoomStatus];
  EXPECT_TRUE(room_status.StartsWith("2 of 3 PCs ready; waiting for Room-PC3")) << room_status;
  EXPECT_EQ(log.Of<CTransferDlg>(false).size(), 2u);
  EXPECT_TRUE(SameBytes(rig.Store("Room-PC1") / "room.krn", image)) << "Yes: the protected PC too";
  const JournalRecord scheduled = journal.read().records.back();
  ASSERT_NE(Target(scheduled, "Room-PC3"), nullptr) << scheduled.dump();
  EXPECT_EQ((*Target(scheduled, "Room-PC3"))["outcome"], "skipped");
  EXPECT_EQ((*Target(scheduled, "Room-PC3"))["reason"].get<std::string>().rfind("offline: ", 0), 0u)
      << scheduled.dump();
  EXPECT_EQ((*Target(scheduled, "Room-PC2"))["outcome"], "done");
}

}  // namespace
}  // namespace kestrelon::test
