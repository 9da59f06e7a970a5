// The drive and partition dialog from the main form, against a reference Client
// (a kestrelon-client process with two virtual disks, the second holding an
// extended partition with logical partitions) and a scripted Client announcing
// type bytes the reference Client never announces (an extended container 0x05
// inside the extended partition, and 0x00). Then the window's Create from the
// Client whose second disk was chosen uploads that disk, and after "Keep
// partition size" is switched on in the Preferences the window's Copy weighs an
// image's full sizes against that disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include <wx/uiaction.h>

#include <wx/checkbox.h>
#include <wx/listbox.h>

#include "controls/check_list_ctrl.h"
#include "desktop_rig.h"
#include "dialogs/drive_dlg.h"
#include "dialogs/low_disk_space_dlg.h"
#include "dialogs/preferences_dlg.h"
#include "dialogs/receive_image_dlg.h"
#include "dialogs/receiving_dlg.h"
#include "dialogs/transfer_dlg.h"
#include "gui_steps.h"
#include "support/image_files.h"
#include "transfer/image_file.h"
#include "ui/command_ids.h"
#include "ui/desktop_services.h"
#include "ui/main_frame.h"
#include "ui/shadow_view.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

CDriveDlg* OpenDriveDialog() {
  for (wxWindow* top : wxTopLevelWindows)
    if (auto* d = dynamic_cast<CDriveDlg*>(top); d && d->IsModal()) return d;
  return nullptr;
}

std::vector<std::string> Row(const CheckListModel& list, int row) {
  std::vector<std::string> cells;
  for (int c = 0; c < static_cast<int>(list.columns().size()); ++c) cells.push_back(list.cell(row, c));
  return cells;
}

PartitionEntry Partition(std::uint8_t number, std::uint8_t type, std::uint8_t logical, std::uint32_t sectors) {
  PartitionEntry p;
  p.number = number;
  p.type = type;
  p.logical = logical;
  p.size_sectors = sectors;
  return p;
}

// The scripted Client: a first disk with one NTFS partition, a second with a
// primary Linux partition, an extended container and an entry of type 0x00.
AnnounceSpec TypedClient() {
  AnnounceSpec s;
  s.address = Ipv4Address(127, 0, 0, 21);
  s.name = "typed-pc";
  s.disks = {make_disk(1 << 21, 1), make_disk(4194304, 3)};
  s.disks[0].bios_number = 0x80;
  s.disks[0].partitions[0] = Partition(1, 0x07, 0, 1 << 21);
  s.disks[1].bios_number = 0x81;
  s.disks[1].partitions[0] = Partition(1, 0x83, 0, 1 << 20);
  s.disks[1].partitions[1] = Partition(5, 0x05, 1, 3 << 20);
  s.disks[1].partitions[2] = Partition(6, 0x00, 1, 1 << 20);
  return s;
}

class DriveDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    KESTRELON_REQUIRE_REFERENCE_CLIENTS();
    // Disk 2: partition 1, then the extended partition 2 holding logical partitions 5 and 6.
    rig_ = std::make_unique<DesktopRig>(
        std::vector<ReferenceMachine>{{.name = "lab-pc",
                                       .address = "127.0.0.11",
                                       .disks_mb = {64, 128},
                                       .partitionings = {"", "label: dos\\n,32M,83\\n,,5\\n,40M,83\\n,,b\\n"}},
                                      {.name = "vault-pc", .address = "127.0.0.12", .disks_mb = {64}}},
        TuningValues{}, std::vector<AnnounceSpec>{TypedClient()});
    ASSERT_TRUE(rig_->ok());
    rig_->Dialogs().SetAnswer(AnswerInformationAndMessages);
  }

  CheckListModel& Rows() { return rig_->Rows(); }
  const ClientRecord* Record(const std::string& name) {
    const ClientTables& tables = rig_->Core().tables();
    for (int i = 0; i < tables.client_count; ++i)
      if (tables.clients[static_cast<std::size_t>(i)].name_text() == name)
        return &tables.clients[static_cast<std::size_t>(i)];
    return nullptr;
  }
  static Step ClickListRow(std::function<CCheckListCtrl*()> list, int row, bool twice = false) {
    return {"click row " + std::to_string(row), [=] {
              CCheckListCtrl* l = list();
              if (!l) return false;
              const wxRect r = l->RowRect(row);
              if (r.IsEmpty()) return false;
              ClickAt(l, wxPoint(r.x + 30, r.y + r.height / 2), twice);
              return true;
            }};
  }
  Step ClickMainRow(int row, bool twice = false) {
    return ClickListRow([this] { return rig_->View()->ClientList(); }, row, twice);
  }
  static Step ClickDriveRow(int row) {
    return ClickListRow([] { return OpenDriveDialog() ? OpenDriveDialog()->Drives() : nullptr; }, row);
  }
  static Step ClickButtonOf(std::function<wxWindow*()> parent, int id, const std::string& name) {
    return {"click " + name, [=] {
              wxWindow* p = parent();
              wxWindow* b = p ? p->FindWindow(id) : nullptr;
              if (!b) return false;
              ClickAt(b, wxPoint(b->GetSize().x / 2, b->GetSize().y / 2));
              return true;
            }};
  }
  static Step ClickDialogButton(int id, const std::string& name) {
    return ClickButtonOf([] { return OpenDriveDialog(); }, id, name);
  }
  static Step DialogClosed() {
    return {"drive dialog closed", [] { return OpenDriveDialog() == nullptr; }, 8000};
  }

  std::unique_ptr<DesktopRig> rig_;
};

TEST_F(DriveDialog, ChoosesTheSecondDiskThatTheWindowsCreateAndCopyThenUse) {
  const DialogLog& log = rig_->Dialogs();
  CDriveDlg* dialog = nullptr;
  const auto drives = [&]() -> CheckListModel& { return dialog->Choice().drives(); };
  ASSERT_TRUE(RunSteps({
      {"the Clients listed", [&] { return Rows().row_count() == 3; }, 15000},
      Settle(),
      {"rows in name order", [&] {
         return Rows().cell(0, 0) == "lab-pc" && Rows().cell(1, 0) == "typed-pc" && Rows().cell(2, 0) == "vault-pc";
       }},
      ClickMainRow(0, true),
      {"the double click opens the dialog", [&] { return (dialog = OpenDriveDialog()) != nullptr; }},
      Settle(),
      {"first disk checked and listed", [&] {
         EXPECT_EQ(dialog->GetTitle(), "lab-pc: Drive");
         EXPECT_EQ(drives().row_count(), 2);
         EXPECT_EQ(Row(drives(), 0), (std::vector<std::string>{"1", "64 Mb"}));
         EXPECT_EQ(Row(drives(), 1), (std::vector<std::string>{"2", "128 Mb"}));
         EXPECT_EQ(drives().check_state(0), kChecked);
         EXPECT_EQ(drives().selected_row(), 0);
         const CheckListModel& partitions = dialog->Choice().partitions();
         EXPECT_EQ(partitions.row_count(), 1);
         EXPECT_EQ(Row(partitions, 0), (std::vector<std::string>{"1", "Linux", "No", "Primary", "63"}));
         return true;
       }},
      ClickDriveRow(1),
      {"the second disk checked, its partitions listed", [&] {
         const CheckListModel& partitions = dialog->Choice().partitions();
         if (partitions.row_count() != 3) return false;
         EXPECT_EQ(drives().check_state(0), kUnchecked);
         EXPECT_EQ(drives().check_state(1), kChecked);
         EXPECT_EQ(Row(partitions, 0), (std::vector<std::string>{"1", "Linux", "No", "Primary", "32"}));
         EXPECT_EQ(Row(partitions, 1), (std::vector<std::string>{"5", "Linux", "No", "Extended", "40"}));
         EXPECT_EQ(Row(partitions, 2), (std::vector<std::string>{"6", "Fat32", "No", "Extended", "53"}));
         return true;
       }},
      {"the Up key", [&] {
         wxUIActionSimulator().Char(WXK_UP);
         return true;
       }},
      {"the highlight moves, the check and the partitions stay", [&] {
         if (drives().selected_row() != 0) return false;
         EXPECT_EQ(drives().check_state(1), kChecked);
         EXPECT_EQ(dialog->Choice().partitions().row_count(), 3);
         EXPECT_EQ(dialog->Choice().partitions().cell(1, 0), "5");
         return true;
       }},
      ClickDialogButton(wxID_OK, "OK"),
      DialogClosed(),
      {"the target column shows the second disk", [&] {
         EXPECT_EQ(Rows().cell(0, 3), "Disk 2 (128Mb)");
         EXPECT_EQ(Rows().check_state(0), kUnchecked) << "a double click leaves the check mark";
         return Record("lab-pc") && Record("lab-pc")->selected_disk == 1;
       }},
  }));

  // "Info..." on the scripted Client: its first disk is checked; the second lists
  // the type bytes by name. OK with no drive checked is refused; Cancel keeps the
  // first disk.
  ASSERT_TRUE(RunSteps({
      ClickMainRow(1),
      ClickButtonOf([this] { return rig_->View(); }, ids::kClientInfo, "Info..."),
      {"Info... opens the dialog", [&] { return (dialog = OpenDriveDialog()) != nullptr; }},
      Settle(),
      {"first disk checked", [&] {
         EXPECT_EQ(dialog->GetTitle(), "typed-pc: Drive");
         EXPECT_EQ(dialog->Choice().partitions().cell(0, 1), "NTFS");
         return drives().check_state(0) == kChecked && drives().selected_row() == 0;
       }},
      ClickDriveRow(1),
      {"the type bytes named", [&] {
         const CheckListModel& partitions = dialog->Choice().partitions();
         if (partitions.row_count() != 3) return false;
         EXPECT_EQ(Row(partitions, 1), (std::vector<std::string>{"5", "Extended", "No", "Extended", "1536"}));
         EXPECT_EQ(Row(partitions, 2), (std::vector<std::string>{"6", "Unknown", "No", "Extended", "512"}));
         return true;
       }},
      Pause(500),  // two clicks on one spot within ~400 ms would make a double click
      ClickDriveRow(1),
      {"no drive checked", [&] { return drives().last_checked() == -1 && drives().selected_row() == 1; }},
      ClickDialogButton(wxID_OK, "OK"),
      {"OK refused with a message", [&] { return !log.Messages().empty(); }},
      {"the dialog stays", [&] {
         EXPECT_EQ(log.Messages(), std::vector<std::string>{DriveChoice::kNoDriveCheckedText});
         return OpenDriveDialog() == dialog;
       }},
      ClickDialogButton(wxID_CANCEL, "Cancel"),
      DialogClosed(),
      {"Cancel changed nothing", [&] {
         EXPECT_EQ(Rows().cell(1, 3), "Disk 1 (1024Mb)");
         return Record("typed-pc") && Record("typed-pc")->selected_disk == 0;
       }},
  }));

  // The window's Create from lab-pc reads its second disk: the image holds that
  // disk's three partitions.
  const fs::path created = rig_->Images() / "lab-pc.krn";
  ASSERT_TRUE(RunSteps(Join({{
      Do("check lab-pc alone", [&] {
         Rows().uncheck_all();
         rig_->ClickRow(0);
       }),
      {"lab-pc checked", [&] { return Rows().check_state(0) == kChecked; }},
      Do("press Create", [&] { rig_->ClickButton(ids::kCreate); })}, SaveAs(log, created), {
      {"Receiving Disk Image open", [&] { return OpenDialog<CReceiveImageDlg>() != nullptr; }, 10000},
      Placed(),
      Do("press Receive Image", [&] { rig_->ClickWindow(OpenDialog<CReceiveImageDlg>()->FindWindow(wxID_OK)); }),
      {"the upload ends", [&] { return !log.Of<CReceivingDlg>(false).empty(); }, 30000},
      Settle(),
  }})));
  EXPECT_EQ(log.Of<CReceiveImageDlg>(true).at(0).texts.at(CReceiveImageDlg::kImageSize), "125Mb");
  ImageFile image;
  ASSERT_EQ(image.open(created.string()), 0);
  const SummaryRead summary = image.read_summary();
  ASSERT_TRUE(summary.summary) << summary.error;
  EXPECT_EQ(summary.summary->count, 3);
  EXPECT_EQ(summary.summary->full_sectors[0], 65536u);
  EXPECT_EQ(summary.summary->full_sectors[1], 81920u);
  EXPECT_EQ(summary.summary->full_sectors[2], 108544u);

  // "Keep partition size" switched on in the Preferences counts from the next
  // Copy: an image whose partitions hold 1 MiB of data but span 100 MiB fits the
  // 128 MiB of the disk chosen for lab-pc, not vault-pc's 64 MiB.
  write_file((rig_->Images() / "wide.krn").string(), image_bytes({.length = 1u << 20,
                                                                   .description = "wide",
                                                                   .partition_count = 1,
                                                                   .full_sectors = {204800},
                                                                   .data_sectors = {2048}}));
  CPreferencesDlg* preferences = nullptr;
  ASSERT_TRUE(RunSteps({
      Do("open the Preferences", [&] { wxTheApp->CallAfter([&] { rig_->Services().RunPreferences(rig_->Frame()); }); }),
      {"the Preferences open", [&] { return (preferences = OpenDialog<CPreferencesDlg>()) != nullptr; }},
      Placed(),
      Do("click Keep partition size", [&] { rig_->ClickWindow(preferences->FindWindow(ids::kKeepPartitionSize)); }),
      {"checked", [&] {
         return static_cast<wxCheckBox*>(preferences->FindWindow(ids::kKeepPartitionSize))->GetValue();
       }},
      Do("press OK", [&] { rig_->ClickWindow(preferences->FindWindow(wxID_OK)); }),
      {"the Preferences closed", [&] { return !log.Of<CPreferencesDlg>(false).empty(); }, 8000},
      Do("click the wide image", [&] {
         rig_->View()->FillImageList("*.krn");
         rig_->ClickImage(rig_->ImageList()->FindString("wide.krn"));
       }),
      {"wide.krn selected", [&] { return rig_->ImageList()->GetStringSelection() == "wide.krn"; }},
      Do("check vault-pc too", [&] { rig_->ClickRow(2); }),
      {"lab-pc and vault-pc checked",
       [&] { return Rows().check_state(0) == kChecked && Rows().check_state(2) == kChecked; }},
      Do("press Copy", [&] { rig_->ClickButton(ids::kCopy); }),
      {"the low-disk-space list opens", [&] { return OpenDialog<CLowDiskSpaceDlg>() != nullptr; }, 10000},
      Placed(),
      Do("press Uncheck", [&] {
         const CLowDiskSpaceDlg* d = OpenDialog<CLowDiskSpaceDlg>();
         EXPECT_EQ(d->Rows().row_count(), 1);
         EXPECT_EQ(d->Rows().cell(0, 0), "vault-pc");
         EXPECT_EQ(d->Rows().cell(0, 3), "Disk 1 (64Mb)");
         rig_->ClickWindow(d->FindWindow(CLowDiskSpaceDlg::kUncheck));
       }),
      {"the list closes", [&] { return !log.Of<CLowDiskSpaceDlg>(false).empty(); }, 8000},
  }));
  EXPECT_TRUE(rig_->Core().program_options().keep_partition_size);
  EXPECT_TRUE(log.Of<CTransferDlg>(true).empty()) << "no copy after the list";
  EXPECT_EQ(Rows().check_state(0), kChecked);
  EXPECT_EQ(Rows().check_state(2), kUnchecked);
}

}  // namespace
}  // namespace kestrelon::test
