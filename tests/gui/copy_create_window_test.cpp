// Copy and Create from the main window against reference Client processes: the
// real buttons, the real dialogs driven by simulated clicks and keys, the real
// wire. Only the file information and message boxes are answered by the dialog
// log without being shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include <wx/filedlg.h>
#include <wx/listbox.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <nlohmann/json.hpp>

#include "app/transfer_journal.h"
#include "desktop_rig.h"
#include "controls/check_list_ctrl.h"
#include "dialogs/drive_dlg.h"
#include "dialogs/failed_clients_dlg.h"
#include "dialogs/file_info_dlg.h"
#include "dialogs/low_disk_space_dlg.h"
#include "dialogs/receive_image_dlg.h"
#include "dialogs/receiving_dlg.h"
#include "dialogs/timed_message_dlg.h"
#include "dialogs/transfer_dlg.h"
#include "gui_steps.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;
namespace progress = progress_ids;
using namespace std::chrono_literals;

int CheckedRows(CheckListModel& rows) {
  int n = 0;
  rows.last_checked(&n);
  return n;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CopyCreateWindow, CreateWithDescriptionThenCopyToThreeClientsByteForByte) {
  KESTRELON_REQUIRE_REFERENCE_CLIENTS();
  DesktopRig rig({{"Source", "127.0.0.11", {48}, 6}, {"Target-A", "127.0.0.12", {64}}, {"Target-B", "127.0.0.13", {64}}});
  ASSERT_TRUE(rig.ok());
  const fs::path saved = rig.Folder() / "saved";
  fs::create_directories(saved);
  // Typed without its extension: the default one is added.
  const fs::path typed = saved / "lab";
  long style = 0;
  wxString wildcard, proposed;
  rig.Dialogs().SetAnswer([&](wxDialog* dialog) {
    if (auto* files = dynamic_cast<wxFileDialog*>(dialog)) {
      style = files->GetWindowStyle();
      wildcard = files->GetWildcard();
      proposed = files->GetFilename();
    }
    return AnswerInformationAndMessages(dialog);
  });
  const std::string description = "lab image term two";
  const DialogLog& log = rig.Dialogs();

  ASSERT_TRUE(RunSteps(Join({{
      {"three Clients listed", [&] { return rig.Rows().row_count() == 3; }, 15000},
      Settle(),
      Do("check Source", [&] { rig.ClickRow(0); }),
      {"Create enabled", [&] { return rig.View()->FindWindow(ids::kCreate)->IsThisEnabled(); }},
      Do("press Create", [&] { rig.ClickButton(ids::kCreate); })}, SaveAs(log, typed), {
      {"Receiving Disk Image open", [&] { return OpenDialog<CReceiveImageDlg>() != nullptr; }, 10000},
      Placed(),
      Do("type the description", [&] {
         rig.ClickWindow(OpenDialog<CReceiveImageDlg>()->Description());
         wxUIActionSimulator().Text(description.c_str());
       }),
      {"description typed", [&] { return OpenDialog<CReceiveImageDlg>()->Description()->GetValue() == description; }},
      Do("press Receive Image", [&] { rig.ClickWindow(OpenDialog<CReceiveImageDlg>()->FindWindow(wxID_OK)); }),
      {"the upload ends", [&] { return !log.Of<CReceivingDlg>(false).empty(); }, 30000},
      Settle(),
      Do("click the new image", [&] { rig.ClickImage(0); }),
      {"image selected", [&] { return rig.ImageList()->GetSelection() == 0; }},
      Do("press file Info", [&] { rig.ClickButton(ids::kFileInfo); }),
      {"file information shown", [&] { return !log.Of<CFileInfoDlg>(true).empty(); }},
  }})));

  // The save-file dialog as the Create command asks for it.
  EXPECT_TRUE(style & wxFD_SAVE);
  EXPECT_TRUE(style & wxFD_OVERWRITE_PROMPT);
  EXPECT_EQ(wildcard, "Kestrelon(*.KRN)|*.krn;*.KRN");
  EXPECT_EQ(proposed, "Source");
  // The Receiving Disk Image dialog: the Client, 47 MiB of partition, slider at 9.
  const DialogRecord asked = log.Of<CReceiveImageDlg>(true).at(0);
  EXPECT_EQ(asked.title, "Receiving Disk Image");
  EXPECT_EQ(asked.texts.at(CReceiveImageDlg::kClientName), "Source");
  EXPECT_EQ(asked.texts.at(CReceiveImageDlg::kClientAddress), "127.000.000.011");
  EXPECT_EQ(asked.texts.at(CReceiveImageDlg::kImageSize), "47Mb");
  EXPECT_EQ(asked.texts.at(CReceiveImageDlg::kCompression), "9");
  EXPECT_EQ(log.Of<CReceiveImageDlg>(false).at(0).texts.at(CReceiveImageDlg::kCompression), "9");
  // The Receiving dialog: the uploading Client, a compressed image.
  const DialogRecord received = log.Of<CReceivingDlg>(false).at(0);
  EXPECT_EQ(received.title, "Receiving");
  EXPECT_EQ(received.texts.at(progress::kClient), "Source");
  EXPECT_TRUE(received.texts.at(progress::kFile).StartsWith("lab.krn  ("));
  EXPECT_TRUE(received.texts.at(progress::kFile).EndsWith(" Mb compressed)")) << received.texts.at(progress::kFile);
  // The chosen folder is the image folder now, listing the new image alone.
  EXPECT_EQ(FolderNames(saved), std::vector<std::string>{"lab.krn"});
  EXPECT_EQ(rig.View()->ImageFolder(), saved.string());
  ASSERT_EQ(rig.ImageList()->GetCount(), 1u);
  EXPECT_EQ(rig.ImageList()->GetString(0), "lab.krn");
  EXPECT_EQ(log.Of<CFileInfoDlg>(true).at(0).texts.at(ids::kFileInfoText).AfterLast('\n'), description);
  EXPECT_TRUE(log.Messages().empty());
  rig.ExpectNoDiscoveryWhileOpen(typeid(CReceivingDlg));

  std::vector<wxString> client_texts;
  ASSERT_TRUE(RunSteps({
      Do("check Target-A", [&] { rig.ClickRow(1); }),
      Pause(500),
      Do("check Target-B", [&] { rig.ClickRow(2); }),
      {"three checked", [&] { return CheckedRows(rig.Rows()) == 3; }},
      Do("press Copy", [&] { rig.ClickButton(ids::kCopy); }),
      {"Transfer dialog open", [&] { return OpenDialog<CTransferDlg>() != nullptr; }, 10000},
      {"the copy runs to its end", [&] {
         if (const CTransferDlg* d = OpenDialog<CTransferDlg>()) {
           const wxString text = d->Controls().Text(progress::kClient);
           if (client_texts.empty() || client_texts.back() != text) client_texts.push_back(text);
         }
         return !log.Of<CTransferDlg>(false).empty();
       },
       60000},
      {"the timed message closes by itself", [&] { return !log.Of<CTimedMessageDlg>(false).empty(); }, 20000},
      {"the Clients are listed again, unchecked",
       [&] { return rig.Rows().row_count() == 3 && CheckedRows(rig.Rows()) == 0; }, 15000},
  }));

  ASSERT_FALSE(client_texts.empty());
  EXPECT_EQ(client_texts.front(), "Working...");
  const DialogRecord ended = log.Of<CTransferDlg>(false).at(0);
  EXPECT_EQ(ended.title, "Transfer");
  const wxString acker = ended.texts.at(progress::kClient);
  EXPECT_TRUE(acker == "Source (127.000.000.011)" || acker == "Target-A (127.000.000.012)" ||
              acker == "Target-B (127.000.000.013)")
      << acker;
  EXPECT_EQ(ended.texts.at(progress::kPercentage), "100%");
  EXPECT_EQ(ended.texts.at(progress::kBar), "1000");
  EXPECT_TRUE(ended.texts.at(progress::kFile).StartsWith("lab.krn  (")) << ended.texts.at(progress::kFile);

  const DialogRecord timed = log.Of<CTimedMessageDlg>(true).at(0);
  EXPECT_EQ(timed.texts.at(CTimedMessageDlg::kText), "Restoring Connections...");
  const auto shown = log.Of<CTimedMessageDlg>(false).at(0).at - timed.at;
  EXPECT_GT(shown, 7s);
  EXPECT_LT(shown, 12s);

  EXPECT_TRUE(log.Of<CFailedClientsDlg>(true).empty());
  EXPECT_TRUE(log.Messages().empty());
  for (const char* name : {"Source", "Target-A", "Target-B"})
    EXPECT_TRUE(SameBytes(rig.Store(name) / "lab.krn", saved / "lab.krn")) << name;
  rig.ExpectNoDiscoveryWhileOpen(typeid(CTransferDlg));

  // The window's Create and Copy are in the transfer journal, as the command line's are.
  const TransferJournal::Contents journal = TransferJournal(TransferJournal::default_file()).read();
  ASSERT_GE(journal.records.size(), 2u) << TransferJournal::default_file();
  const JournalRecord& create = journal.records[journal.records.size() - 2];
  const JournalRecord& copy = journal.records.back();
  for (const JournalRecord* r : {&create, &copy}) {
    EXPECT_EQ(r->value("program", ""), "kestrelon");
    EXPECT_EQ(r->value("image", ""), (saved / "lab.krn").string());
    EXPECT_EQ(r->value("result", ""), "succeeded") << r->dump();
    EXPECT_EQ(r->value("bytes", 0u), fs::file_size(saved / "lab.krn"));
  }
  EXPECT_EQ(create.value("kind", ""), "create");
  ASSERT_EQ(create["targets"].size(), 1u);
  EXPECT_EQ(create["targets"][0].value("address", ""), "127.0.0.11");
  EXPECT_EQ(copy.value("kind", ""), "copy");
  EXPECT_EQ(copy["targets"].size(), 3u);
}

TEST(CopyCreateWindow, TooSmallDiskIsUncheckedAndASilentClientIsListedAsFailed) {
  KESTRELON_REQUIRE_REFERENCE_CLIENTS();
  TuningValues tuning;
  // A silent acknowledging Client is replaced after four empty windows.
  tuning.window_full_timeouts = 4;
  DesktopRig rig({{"Alpha", "127.0.0.21", {64}},
                  {"Bravo", "127.0.0.22", {64}, 0, {"--silent-after 400"}},
                  {"Small", "127.0.0.23", {16}}},
                 tuning);
  ASSERT_TRUE(rig.ok());
  // 32 MiB in one partition: more than the 16 MiB disk holds.
  const fs::path image = rig.Images() / "pattern.krn";
  write_file(image.string(), image_bytes({.length = 4u << 20,
                                          .description = "pattern",
                                          .partition_count = 1,
                                          .full_sectors = {65536},
                                          .data_sectors = {65536}}));
  const DialogLog& log = rig.Dialogs();
  rig.Dialogs().SetAnswer(AnswerInformationAndMessages);

  // Copy without a checked Client: the Transfer dialog closes at once after the
  // message; the timed message follows and the keyboard closes it.
  ASSERT_TRUE(RunSteps({
      {"three Clients listed", [&] { return rig.Rows().row_count() == 3; }, 15000},
      Settle(),
      Do("click the image", [&] {
         rig.View()->FillImageList("*.krn");
         rig.ClickImage(0);
       }),
      {"Copy enabled", [&] { return rig.View()->FindWindow(ids::kCopy)->IsThisEnabled(); }},
      Do("press Copy", [&] { rig.ClickButton(ids::kCopy); }),
      {"the timed message opens", [&] { return OpenDialog<CTimedMessageDlg>() != nullptr; }, 10000},
      Settle(),
      PressKey(WXK_ESCAPE),
      {"Escape closes it", [&] { return !log.Of<CTimedMessageDlg>(false).empty(); }, 2000},
  }));
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"No clients have been checked (discovered) !"});
  ASSERT_EQ(log.Of<CTransferDlg>(false).size(), 1u);
  EXPECT_LT(log.Of<CTransferDlg>(false)[0].at - log.Of<CTransferDlg>(true)[0].at, 2s);

  ASSERT_TRUE(RunSteps({
      {"the Clients are listed again", [&] { return rig.Rows().row_count() == 3; }, 15000},
      Settle(),
      Do("Select All", [&] { rig.ClickButton(ids::kSelectAll); }),
      {"three checked", [&] { return CheckedRows(rig.Rows()) == 3; }},
      Do("press Copy", [&] { rig.ClickButton(ids::kCopy); }),
      {"the low-disk-space list opens", [&] { return OpenDialog<CLowDiskSpaceDlg>() != nullptr; }},
      Placed(),
      Do("press Uncheck", [&] {
         const CLowDiskSpaceDlg* d = OpenDialog<CLowDiskSpaceDlg>();
         EXPECT_EQ(d->GetTitle(), "List Of Clients With Insufficient Disk Space");
         EXPECT_EQ(d->Rows().row_count(), 1);
         EXPECT_EQ(d->Rows().cell(0, 0), "Small");
         EXPECT_EQ(d->Rows().cell(0, 3), "Disk 1 (16Mb)");
         // Unchecked while the list was built.
         EXPECT_EQ(rig.Rows().check_state(2), kUnchecked);
         EXPECT_EQ(CheckedRows(rig.Rows()), 2);
         rig.ClickWindow(d->FindWindow(CLowDiskSpaceDlg::kUncheck));
       }),
      {"the list closes", [&] { return !log.Of<CLowDiskSpaceDlg>(false).empty(); }, 8000},
      Pause(300),
  }));
  EXPECT_EQ(log.Of<CTransferDlg>(true).size(), 1u) << "no copy after the list";
  EXPECT_EQ(rig.Rows().cell(2, 0), "Small");
  EXPECT_EQ(rig.Rows().check_state(2), kUnchecked);

  ASSERT_TRUE(RunSteps({
      Do("press Copy again", [&] { rig.ClickButton(ids::kCopy); }),
      {"Transfer dialog open", [&] { return OpenDialog<CTransferDlg>() != nullptr; }, 10000},
      Pause(300),
      PressKey(WXK_RETURN),
      Pause(500),
      Do("Enter left the copy running", [&] {
         EXPECT_NE(OpenDialog<CTransferDlg>(), nullptr);
         EXPECT_EQ(log.Of<CTransferDlg>(false).size(), 1u);
       }),
      {"the failed Clients are listed", [&] { return OpenDialog<CFailedClientsDlg>() != nullptr; }, 40000},
      Placed(),
      Do("press OK", [&] {
         const CFailedClientsDlg* d = OpenDialog<CFailedClientsDlg>();
         EXPECT_EQ(d->GetTitle(), "List of failed Clients");
         EXPECT_EQ(d->Rows().row_count(), 1);
         EXPECT_EQ(d->Rows().cell(0, 0), "Bravo");
         EXPECT_EQ(d->Rows().cell(0, 1), "127.000.000.022");
         EXPECT_EQ(d->Rows().columns().at(4).header, "Reason");
         EXPECT_EQ(d->Rows().cell(0, 4).rfind("not done 5 s after the first Client finished", 0), 0u)
             << d->Rows().cell(0, 4);
         // Said before the list waits for the user.
         EXPECT_EQ(rig.Frame()->GetStatusBar()->GetStatusText(CMainFrame::kOutcomePane).BeforeFirst('('),
                   "Copied pattern.krn to 1 of 2 Clients; not done: Bravo ");
         rig.ClickWindow(d->FindWindow(wxID_OK));
       }),
      {"the Transfer dialog ends", [&] { return log.Of<CTransferDlg>(false).size() == 2; }, 8000},
      {"the timed message closes by itself", [&] { return log.Of<CTimedMessageDlg>(false).size() == 2; }, 20000},
      {"the Clients are listed again", [&] { return rig.Rows().row_count() == 3; }, 15000},
  }));

  EXPECT_EQ(log.Messages().back(), "1 clients did not complete the transfer!");
  EXPECT_EQ(log.Messages().size(), 2u);
  EXPECT_EQ(log.Of<CFailedClientsDlg>(true).size(), 1u) << "listed once, by the supervision";
  EXPECT_TRUE(SameBytes(rig.Store("Alpha") / "pattern.krn", image));
  EXPECT_FALSE(SameBytes(rig.Store("Bravo") / "pattern.krn", image));
  EXPECT_TRUE(FolderNames(rig.Store("Small")).empty());
  rig.ExpectNoDiscoveryWhileOpen(typeid(CTransferDlg));
}

// During a Create no discovery request goes out; one that runs longer than a
// Client's five-second lifetime (its source falls silent until the inactivity
// time ends it) leaves every other Client as the user left it: listed all along,
// unchecked, on the disk chosen for it.
TEST(CopyCreateWindow, ALongCreateLeavesTheOtherClientsAsTheUserLeftThem) {
  KESTRELON_REQUIRE_REFERENCE_CLIENTS();
  TuningValues tuning;
  tuning.create_inactivity_ms = 6500;
  DesktopRig rig({{"Other", "127.0.0.41", {32, 64}}, {"Source", "127.0.0.42", {32}, 0, {"--silent-after 3"}}}, tuning);
  ASSERT_TRUE(rig.ok());
  rig.Dialogs().SetAnswer(AnswerInformationAndMessages);
  const DialogLog& log = rig.Dialogs();
  const fs::path saved = rig.Folder() / "saved";
  fs::create_directories(saved);
  const auto click_row = [](CCheckListCtrl* list, int row, bool twice) {
    const wxRect r = list->RowRect(row);
    ClickAt(list, wxPoint(r.x + 40, r.y + r.height / 2), twice);
  };
  int fewest_rows = 2;
  auto watched = std::make_shared<std::optional<SteadyTime>>();
  const auto watch_rows = [&] { fewest_rows = std::min(fewest_rows, rig.Rows().row_count()); };
  ASSERT_TRUE(RunSteps(Join({{
      {"two Clients listed", [&] { return rig.Rows().row_count() == 2; }, 15000},
      Settle(),
      Do("double-click Other", [&] { click_row(rig.View()->ClientList(), 0, true); }),
      {"its drives shown", [&] { return OpenDialog<CDriveDlg>() != nullptr; }},
      Placed(),
      Do("check its second drive", [&] { click_row(OpenDialog<CDriveDlg>()->Drives(), 1, false); }),
      Pause(300),
      Do("press OK", [&] { rig.ClickWindow(OpenDialog<CDriveDlg>()->FindWindow(wxID_OK)); }),
      {"Other on its second disk", [&] { return rig.Rows().cell(0, 3) == "Disk 2 (64Mb)"; }, 10000},
      Do("check Source", [&] { rig.ClickRow(1); }),
      {"Create enabled", [&] { return rig.View()->FindWindow(ids::kCreate)->IsThisEnabled(); }},
      Do("press Create", [&] { rig.ClickButton(ids::kCreate); })}, SaveAs(log, saved / "long.krn"), {
      {"Receiving Disk Image open", [&] { return OpenDialog<CReceiveImageDlg>() != nullptr; }, 10000},
      Placed(),
      Do("press Receive Image", [&] { rig.ClickWindow(OpenDialog<CReceiveImageDlg>()->FindWindow(wxID_OK)); }),
      {"the silence ends the Create", [&] {
         watch_rows();
         return !log.Of<CReceivingDlg>(false).empty();
       }, 20000},
      {"the rows watched 3 s more", [&] {
         watch_rows();
         if (!*watched) *watched = std::chrono::steady_clock::now();
         return std::chrono::steady_clock::now() - **watched > 3s;
       }},
  }})));
  EXPECT_EQ(fewest_rows, 2) << "Clients expired after the Create";
  EXPECT_EQ(rig.Rows().cell(0, 0), "Other");
  EXPECT_EQ(rig.Rows().cell(0, 3), "Disk 2 (64Mb)");
  EXPECT_EQ(rig.Rows().check_state(0), kUnchecked);
  EXPECT_EQ(rig.Rows().check_state(1), kChecked);
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"The client did not complete the transfer!"});
  const wxString outcome = rig.Frame()->GetStatusBar()->GetStatusText(CMainFrame::kOutcomePane);
  EXPECT_TRUE(outcome.StartsWith("Create of long.krn from Source failed: fell silent")) << outcome;
}

TEST(CopyCreateWindow, CancelOrSilenceDuringCreateKeepsTheEarlierImageAndLeavesNoFile) {
  KESTRELON_REQUIRE_REFERENCE_CLIENTS();
  TuningValues tuning;
  tuning.create_inactivity_ms = 3000;
  // Uploads three blocks of every Create, then stays silent.
  DesktopRig rig({{"Slow", "127.0.0.31", {32}, 0, {"--silent-after 3"}}}, tuning);
  ASSERT_TRUE(rig.ok());
  const fs::path saved = rig.Folder() / "saved";
  fs::create_directories(saved);
  { std::ofstream(saved / "Slow.krn") << "an earlier image"; }
  rig.Dialogs().SetAnswer(AnswerInformationAndMessages);
  const DialogLog& log = rig.Dialogs();

  ASSERT_TRUE(RunSteps(Join({{
      {"the Client listed", [&] { return rig.Rows().row_count() == 1; }, 15000},
      Settle(),
      Do("check it", [&] { rig.ClickRow(0); }),
      Do("press Create", [&] { rig.ClickButton(ids::kCreate); })},
      // The real dialog asks whether to replace it; this path is typed with its
      // extension, so the answer is the dialog's own.
      SaveAs(log, saved / "Slow.krn"), {
      Pause(800),
      Do("confirm replacing it", [&] {
         // Still asking: the dialog did not take the name of an existing file at once.
         EXPECT_TRUE(log.IsOpen<wxFileDialog>());
         EXPECT_EQ(OpenDialog<CReceiveImageDlg>(), nullptr);
         wxUIActionSimulator().Char(WXK_RETURN);
       }),
      {"Receiving Disk Image open", [&] { return OpenDialog<CReceiveImageDlg>() != nullptr; }, 10000},
      Placed(),
      Do("press Receive Image", [&] { rig.ClickWindow(OpenDialog<CReceiveImageDlg>()->FindWindow(wxID_OK)); }),
      {"Receiving open", [&] { return OpenDialog<CReceivingDlg>() != nullptr; }},
      Pause(300),
      PressKey(WXK_RETURN),
      Pause(400),
      Do("press Cancel, Enter having left it open", [&] {
         CReceivingDlg* d = OpenDialog<CReceivingDlg>();
         EXPECT_NE(d, nullptr);
         if (d) rig.ClickWindow(d->FindWindow(wxID_CANCEL));
       }),
      {"the Create ends", [&] { return !log.Of<CReceivingDlg>(false).empty(); }, 5000},
      Settle(),
  }})));
  EXPECT_TRUE(log.Messages().empty()) << log.Messages().front();
  EXPECT_EQ(FolderNames(saved), std::vector<std::string>{"Slow.krn"});
  EXPECT_EQ(FileText(saved / "Slow.krn"), "an earlier image");
  EXPECT_EQ(rig.View()->ImageFolder(), saved.string());
  ASSERT_EQ(rig.ImageList()->GetCount(), 1u);

  // Silence ends the second Create; a new name leaves no file either.
  ASSERT_TRUE(RunSteps(Join({{
      Do("press Create", [&] { rig.ClickButton(ids::kCreate); })}, SaveAs(log, saved / "Fresh.krn"), {
      {"Receiving Disk Image open", [&] { return OpenDialog<CReceiveImageDlg>() != nullptr; }, 10000},
      Placed(),
      Do("press Receive Image", [&] { rig.ClickWindow(OpenDialog<CReceiveImageDlg>()->FindWindow(wxID_OK)); }),
      {"the silence ends the Create", [&] { return log.Of<CReceivingDlg>(false).size() == 2; }, 15000},
  }})));
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"The client did not complete the transfer!"});
  EXPECT_EQ(FolderNames(saved), std::vector<std::string>{"Slow.krn"});
  EXPECT_EQ(FileText(saved / "Slow.krn"), "an earlier image");
  rig.ExpectNoDiscoveryWhileOpen(typeid(CReceivingDlg));
}

}  // namespace
}  // namespace kestrelon::test
