// Save Group and Load Group through the main window against reference Clients on
// loopback: a group saved from three checked rows (one on its second disk) checks
// the same rows again with their target disks, a member that went offline is
// listed in "List of failed Clients", and the replace and delete flows show
// their messages.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include <wx/button.h>
#include <wx/listbox.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/testing.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include "app/controller_core.h"
#include "app/text_file.h"
#include "commands/group_port.h"
#include "controls/check_list_ctrl.h"
#include "dialogs/load_group_dlg.h"
#include "dialogs/missing_members_dlg.h"
#include "dialogs/save_group_dlg.h"
#include "gui_steps.h"
#include "model/client_row_text.h"
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

// Stands in for the drive dialog: the user picks the Client's last disk. The
// choice is stored as the drive dialog's OK stores it.
class LastDiskServices : public DesktopServices {
 public:
  using DesktopServices::DesktopServices;

 protected:
  bool RunDriveDialog(const ClientRecord& client, int& chosen_disk) override {
    chosen_disk = client.disk_count - 1;
    return true;
  }
};

// The ids of the dialogs shown modally, in order (message boxes answered by
// wxTEST_DIALOG never reach it).
class ShownDialogs : public wxModalDialogHook {
 public:
  ShownDialogs() { Register(); }
  ~ShownDialogs() override { Unregister(); }
  std::vector<int> ids;

 protected:
  int Enter(wxDialog* dialog) override {
    ids.push_back(dialog->GetId());
    return wxID_NONE;
  }
  void Exit(wxDialog*) override {}
};

// A message box with exactly this text, answered with `answer`.
class ExpectMessage : public wxExpectModalBase<wxMessageDialog, ExpectMessage> {
 public:
  ExpectMessage(std::string text, int answer) : text_(std::move(text)), answer_(answer) {}

 protected:
  int OnInvoked(wxMessageDialog* dialog) const override {
    EXPECT_EQ(dialog->GetMessage().utf8_string(), text_);
    return answer_;
  }

 private:
  std::string text_;
  int answer_;
};

template <typename Dialog>
Dialog* Open(int id) {
  auto* dialog = dynamic_cast<Dialog*>(wxWindow::FindWindowById(id));
  return dialog != nullptr && dialog->IsModal() ? dialog : nullptr;
}

// A button pressed as its click would press it, in this call: what it shows
// modally is shown inside the caller's wxTEST_DIALOG.
void Press(wxButton* button) {
  wxCommandEvent click(wxEVT_BUTTON, button->GetId());
  click.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(click);
}

void ClickCentre(wxWindow* window) { ClickAt(window, wxPoint(window->GetSize().x / 2, window->GetSize().y / 2)); }

// Clicks the entry of a list box that shows `text`; false while it is not shown.
bool ClickEntry(wxListBox* list, const std::string& text) {
  const int wanted = list->FindString(wxString::FromUTF8(text), true);
  if (wanted == wxNOT_FOUND) return false;
  for (int y = 1; y < list->GetClientSize().y; y += 2) {
    if (list->HitTest(wxPoint(10, y)) == wanted) {
      ClickAt(list, wxPoint(10, y));
      return true;
    }
  }
  return false;
}

void Append(std::vector<Step>& steps, std::vector<Step> more) {
  for (Step& step : more) steps.push_back(std::move(step));
}

std::vector<int> CheckStates(const CheckListModel& rows) {
  std::vector<int> states;
  for (int r = 0; r < rows.row_count(); ++r) states.push_back(rows.check_state(r));
  return states;
}

class GroupDialogs : public ::testing::Test {
 protected:
  // Listed in this order: Bench, LAB-PC-10, Spare, lab-pc-2.
  void SetUp() override {
    KESTRELON_REQUIRE_REFERENCE_CLIENTS();
    std::string error;
    ASSERT_TRUE(clients_.Start(folder_.path(),
                               {{"lab-pc-2", "127.0.0.12", {64}},
                                {"LAB-PC-10", "127.0.0.13", {32, 128}},
                                {"Bench", "127.0.0.11", {256}},
                                {"Spare", "127.0.0.14", {16}}},
                               error))
        << error;
  }

  // The window over a started core.
  void StartWindow() {
    ASSERT_TRUE(window_.Start(LoopbackCoreOptions(folder_.path())));
  }

  // kestrelon-cli with the window's files, run to its end; its exit status, and
  // its output (standard error included) in `output`.
  int Cli(const std::string& args, std::string& output) const {
    const std::string command = "KESTRELON_PROFILE='" + profile_.string() + "' KESTRELON_SETTINGS_DIR='" +
                                folder_.path().string() + "' " + KESTRELON_CLI_PATH + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    output.clear();
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  CheckListModel& Rows() { return window_.core->main_client_list().rows(); }
  std::string ProfileText() const { return read_text_file(profile_).value_or("<missing>"); }
  const ClientRecord* Client(const std::string& name) {
    for (int i = 0; i < window_.core->tables().client_count; ++i)
      if (window_.core->tables().clients[static_cast<std::size_t>(i)].name_text() == name)
        return &window_.core->tables().clients[static_cast<std::size_t>(i)];
    return nullptr;
  }

  Step Listed(int rows) {
    return {std::to_string(rows) + " Clients listed", [this, rows] { return Rows().row_count() == rows; }, 15000};
  }
  Step ClickRow(int row, bool twice = false) {
    return {"click row " + std::to_string(row), [this, row, twice] {
              const wxRect r = window_.frame->View()->ClientList()->RowRect(row);
              ClickAt(window_.frame->View()->ClientList(), wxPoint(r.x + 40, r.y + r.height / 2), twice);
              return true;
            }};
  }
  Step ClickFormButton(int id) {
    return {"click form button " + std::to_string(id), [this, id] {
              ClickCentre(window_.frame->View()->FindWindow(id));
              return true;
            }};
  }
  // Opens Load Group, chooses `group` in its list and presses Load Group.
  std::vector<Step> LoadSteps(const std::string& group) {
    return {ClickFormButton(ids::kLoadGroup),
            {"Load Group open", [] { return Open<CLoadGroupDlg>(ids::kLoadGroupDialog) != nullptr; }},
            Settle(),
            {"choose " + group, [group] { return ClickEntry(Open<CLoadGroupDlg>(ids::kLoadGroupDialog)->Groups(), group); }},
            {group + " chosen", [group] {
               CLoadGroupDlg* d = Open<CLoadGroupDlg>(ids::kLoadGroupDialog);
               return d->NameText()->GetLabel().utf8_string() == group && d->LoadButton()->IsEnabled();
             }},
            {"click Load Group", [] {
               ClickCentre(Open<CLoadGroupDlg>(ids::kLoadGroupDialog)->LoadButton());
               return true;
             }}};
  }
  // Opens Save Group, lets `inspect` look at it, types `name` and presses Save Group.
  std::vector<Step> SaveSteps(const std::string& name, std::function<void(CSaveGroupDlg*)> inspect = {}) {
    return {ClickFormButton(ids::kSaveGroup),
            {"Save Group open", [] { return Open<CSaveGroupDlg>(ids::kSaveGroupDialog) != nullptr; }},
            Settle(),
            {"type the name", [name, inspect] {
               CSaveGroupDlg* d = Open<CSaveGroupDlg>(ids::kSaveGroupDialog);
               if (inspect) inspect(d);
               ClickCentre(d->NameEdit());
               wxUIActionSimulator().Text(name.c_str());
               return true;
             }},
            {"name typed, Save Group enabled", [name] {
               CSaveGroupDlg* d = Open<CSaveGroupDlg>(ids::kSaveGroupDialog);
               return d->NameEdit()->GetValue().utf8_string() == name && d->SaveButton()->IsEnabled();
             }},
            {"click Save Group", [] {
               ClickCentre(Open<CSaveGroupDlg>(ids::kSaveGroupDialog)->SaveButton());
               return true;
             }},
            Closed(ids::kSaveGroupDialog, "Save Group closed")};
  }
  static Step Closed(int id, const char* name) {
    return {name, [id] { return wxWindow::FindWindowById(id) == nullptr; }, 15000};
  }

  TempFolder folder_;
  std::filesystem::path profile_ = folder_ / "kestreln.ini";
  ReferenceClients clients_;
  WindowOverCore<LastDiskServices> window_;
};

TEST_F(GroupDialogs, SavedGroupChecksTheSameRowsWithTheirDisksAndListsAMemberThatWentOffline) {
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  ShownDialogs shown;
  std::vector<std::string> contents;
  int targets_saved = -1;
  int targets_loaded = -1;
  std::vector<Step> steps = {
      Listed(4), Settle(),
      // LAB-PC-10's second disk, as the drive selection stores it (double click).
      ClickRow(1, true),
      {"LAB-PC-10 on its second disk", [&] { return Rows().cell(1, 3) == "Disk 2 (128Mb)"; }},
      Pause(600), ClickRow(0), Pause(600), ClickRow(1), Pause(600), ClickRow(3),
      {"three checked", [&] { return CheckStates(Rows()) == std::vector<int>{kChecked, kChecked, kUnchecked, kChecked}; }}};
  Append(steps, SaveSteps("Lab A", [&](CSaveGroupDlg* d) {
           for (int r = 0; r < d->ContentsRows().row_count(); ++r) contents.push_back(d->ContentsRows().cell(r, 3));
           EXPECT_FALSE(d->SaveButton()->IsEnabled()) << "disabled while the name is empty";
         }));
  // The target table follows the check marks at a save, and at a load the marks
  // it replaces.
  const auto target_count = [this](int& into) {
    return Do("note the target table", [this, &into] { into = window_.core->tables().target_count; });
  };
  Append(steps, {target_count(targets_saved), ClickFormButton(ids::kDeselectAll),
                 {"nothing checked", [&] { return CheckStates(Rows()) == std::vector<int>(4, kUnchecked); }}});
  Append(steps, LoadSteps("Lab A"));
  steps.push_back(Closed(ids::kLoadGroupDialog, "Load Group closed"));
  steps.push_back(target_count(targets_loaded));
  ASSERT_TRUE(RunSteps(std::move(steps)));
  EXPECT_EQ(targets_saved, 3);
  EXPECT_EQ(targets_loaded, 0);

  EXPECT_EQ(contents, (std::vector<std::string>{"Disk 1 (256Mb)", "Disk 2 (128Mb)", "Disk 1 (64Mb)"}));
  EXPECT_EQ(ProfileText(),
            "[Lab A]\n"
            "0=Bench,127.000.000.011,1,0,256\n"
            "1=LAB-PC-10,127.000.000.013,2,1,128\n"
            "2=lab-pc-2,127.000.000.012,1,0,64\n");
  EXPECT_EQ(CheckStates(Rows()), (std::vector<int>{kChecked, kChecked, kUnchecked, kChecked}));
  EXPECT_EQ(Rows().cell(0, 3), "Disk 1 (256Mb)");
  EXPECT_EQ(Rows().cell(1, 3), "Disk 2 (128Mb)");
  EXPECT_EQ(Rows().cell(3, 3), "Disk 1 (64Mb)");
  ASSERT_NE(Client("LAB-PC-10"), nullptr);
  EXPECT_EQ(Client("LAB-PC-10")->selected_disk, 1);
  EXPECT_EQ(shown.ids, (std::vector<int>{ids::kSaveGroupDialog, ids::kLoadGroupDialog})) << "no member was missing";

  // lab-pc-2 leaves the network; loading the group again lists it.
  clients_.Stop(0);
  shown.ids.clear();
  std::vector<std::string> missing;
  std::string missing_title;
  steps = {ClickFormButton(ids::kDeselectAll), Listed(3)};
  Append(steps, LoadSteps("Lab A"));
  steps.push_back({"List of failed Clients open", [] {
                     return Open<CMissingMembersDlg>(ids::kFailedClientsDialog) != nullptr;
                   }});
  steps.push_back(Settle());
  steps.push_back({"read it and press OK", [&] {
                     CMissingMembersDlg* d = Open<CMissingMembersDlg>(ids::kFailedClientsDialog);
                     missing_title = d->GetTitle().utf8_string();
                     for (int r = 0; r < d->Rows().row_count(); ++r)
                       for (int c = 0; c < 4; ++c) missing.push_back(d->Rows().cell(r, c));
                     ClickCentre(d->FindWindow(wxID_OK));
                     return true;
                   }});
  steps.push_back(Closed(ids::kLoadGroupDialog, "Load Group closed"));
  ASSERT_TRUE(RunSteps(std::move(steps)));
  EXPECT_EQ(missing_title, "List of failed Clients");
  EXPECT_EQ(missing, (std::vector<std::string>{"lab-pc-2", "127.000.000.012", disk_marks(1), "Disk 1 (64Mb)"}));
  EXPECT_EQ(shown.ids, (std::vector<int>{ids::kLoadGroupDialog, ids::kFailedClientsDialog}));
  // Bench, LAB-PC-10 (on its second disk) and Spare are listed now.
  EXPECT_EQ(CheckStates(Rows()), (std::vector<int>{kChecked, kChecked, kUnchecked}));
  EXPECT_EQ(Rows().cell(1, 3), "Disk 2 (128Mb)");
  EXPECT_EQ(Client("LAB-PC-10")->selected_disk, 1) << "listed afresh on its first disk, then loaded";
}

TEST_F(GroupDialogs, ReplaceAsksFirstAndDeleteTurnsCancelIntoClose) {
  // A file written by hand, in the example form.
  { std::ofstream(profile_) << "[Lab A]\r\n0=Bench,127.000.000.011,1,0,256\r\n[Room 2]\r\n0=Spare,127.000.000.014,1,0,16\r\n"; }
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  std::vector<std::string> groups_listed;
  std::string file_after_no;
  ASSERT_TRUE(RunSteps(
      {Listed(4), Settle(), ClickRow(2), Pause(600), ClickRow(3),
       {"two checked", [&] { return CheckStates(Rows()) == std::vector<int>{kUnchecked, kUnchecked, kChecked, kChecked}; }},
       ClickFormButton(ids::kSaveGroup),
       {"Save Group open", [] { return Open<CSaveGroupDlg>(ids::kSaveGroupDialog) != nullptr; }},
       Settle(),
       {"choose Lab A", [&] {
          CSaveGroupDlg* d = Open<CSaveGroupDlg>(ids::kSaveGroupDialog);
          groups_listed.clear();
          for (const wxString& s : d->Groups()->GetStrings()) groups_listed.push_back(s.utf8_string());
          return ClickEntry(d->Groups(), "Lab A");
        }},
       {"its preview and name shown", [] {
          CSaveGroupDlg* d = Open<CSaveGroupDlg>(ids::kSaveGroupDialog);
          return d->PreviewRows().row_count() == 1 && d->PreviewRows().cell(0, 0) == "Bench" &&
                 d->NameEdit()->GetValue() == "Lab A" && d->SaveButton()->IsEnabled();
        }},
       {"the existing name: No keeps the dialog and the file", [&] {
          CSaveGroupDlg* d = Open<CSaveGroupDlg>(ids::kSaveGroupDialog);
          wxTEST_DIALOG(Press(d->SaveButton()), ExpectMessage(kReplaceGroupText, wxID_NO));
          file_after_no = ProfileText();
          return true;
        }},
       {"blanks only: asked for a name", [] {
          CSaveGroupDlg* d = Open<CSaveGroupDlg>(ids::kSaveGroupDialog);
          EXPECT_NE(d, nullptr) << "open after No";
          d->NameEdit()->SetValue("   ");
          wxTEST_DIALOG(Press(d->SaveButton()), ExpectMessage(kEnterGroupNameText, wxID_OK));
          return true;
        }},
       {"another spelling of the name: Yes replaces", [] {
          CSaveGroupDlg* d = Open<CSaveGroupDlg>(ids::kSaveGroupDialog);
          EXPECT_NE(d, nullptr) << "open after the message";
          d->NameEdit()->SetValue("lab a");
          wxTEST_DIALOG(Press(d->SaveButton()), ExpectMessage(kReplaceGroupText, wxID_YES));
          return true;
        }},
       Closed(ids::kSaveGroupDialog, "Save Group closed")}));
  EXPECT_EQ(groups_listed, (std::vector<std::string>{"Lab A", "Room 2"}));
  EXPECT_EQ(file_after_no,
            "[Lab A]\r\n0=Bench,127.000.000.011,1,0,256\r\n[Room 2]\r\n0=Spare,127.000.000.014,1,0,16\r\n");
  EXPECT_EQ(ProfileText(),
            "[Room 2]\n0=Spare,127.000.000.014,1,0,16\n"
            "[lab a]\n0=Spare,127.000.000.014,1,0,16\n1=lab-pc-2,127.000.000.012,1,0,64\n");

  std::vector<Step> steps = LoadSteps("Room 2");
  steps.pop_back();  // Delete Group instead
  steps.push_back({"click Delete Group", [] {
                     CLoadGroupDlg* d = Open<CLoadGroupDlg>(ids::kLoadGroupDialog);
                     EXPECT_EQ(d->PreviewRows().row_count(), 1);
                     EXPECT_EQ(d->CancelButton()->GetLabel(), "Cancel");
                     ClickCentre(d->DeleteButton());
                     return true;
                   }});
  steps.push_back({"deleted: Close, nothing chosen", [] {
                     CLoadGroupDlg* d = Open<CLoadGroupDlg>(ids::kLoadGroupDialog);
                     return d->CancelButton()->GetLabel() == "Close" && d->Groups()->GetCount() == 1 &&
                            d->Groups()->GetString(0) == "lab a" && d->NameText()->GetLabel().empty() &&
                            d->PreviewRows().row_count() == 0 && !d->LoadButton()->IsEnabled() &&
                            !d->DeleteButton()->IsEnabled();
                   }});
  steps.push_back({"click Close", [] {
                     ClickCentre(Open<CLoadGroupDlg>(ids::kLoadGroupDialog)->CancelButton());
                     return true;
                   }});
  steps.push_back(Closed(ids::kLoadGroupDialog, "Load Group closed"));
  ASSERT_TRUE(RunSteps(std::move(steps)));
  EXPECT_EQ(ProfileText(), "[lab a]\n0=Spare,127.000.000.014,1,0,16\n1=lab-pc-2,127.000.000.012,1,0,64\n");
  // Closing after a deletion loads nothing: the check marks are as they were.
  EXPECT_EQ(CheckStates(Rows()), (std::vector<int>{kUnchecked, kUnchecked, kChecked, kChecked}));
  EXPECT_EQ(window_.idle->ModalDialogsOpen(), 0);
}

// Load Group opens with no group chosen, though the toolkit's list takes its first
// entry as it takes the keyboard focus. Cancel takes the dialog off the screen at
// once; a click on the main window during the list's closing wait, made through
// the X server by another program, is dropped rather than delivered afterwards.
TEST_F(GroupDialogs, LoadGroupStartsWithNothingChosenAndItsClosingLetsNoClickThrough) {
  { std::ofstream(profile_) << "[Lab A]\n0=Bench,127.000.000.011,1,0,256\n[Room 2]\n0=Spare,127.000.000.014,1,0,16\n"; }
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  const std::filesystem::path clicked = folder_ / "clicked";
  bool clicked_in_wait = false;
  ASSERT_TRUE(RunSteps({
      Listed(4), Settle(), ClickFormButton(ids::kLoadGroup),
      {"Load Group open", [] { return Open<CLoadGroupDlg>(ids::kLoadGroupDialog) != nullptr; }},
      Pause(500),
      {"nothing chosen", [] {
         const CLoadGroupDlg* d = Open<CLoadGroupDlg>(ids::kLoadGroupDialog);
         EXPECT_EQ(d->Groups()->GetCount(), 2u);
         EXPECT_EQ(d->Groups()->GetSelection(), wxNOT_FOUND);
         EXPECT_TRUE(d->NameText()->GetLabel().empty());
         EXPECT_EQ(d->PreviewRows().row_count(), 0);
         EXPECT_FALSE(d->LoadButton()->IsEnabled());
         EXPECT_FALSE(d->DeleteButton()->IsEnabled());
         return true;
       }},
      Do("click Bench's row from outside once the dialog is off the screen; press Cancel", [&] {
         CCheckListCtrl* list = window_.frame->View()->ClientList();
         const wxRect r = list->RowRect(0);
         const wxPoint at = list->ClientToScreen(wxPoint(r.x + 40, r.y + r.height / 2));
         wxExecute(wxString::Format("sh -c 'for i in $(seq 150); do xdotool search --onlyvisible --name "
                                    "\"^Load Group$\" >/dev/null || break; sleep 0.02; done; "
                                    "xdotool mousemove %d %d click 1 && touch %s'",
                                    at.x, at.y, clicked.string()),
                   wxEXEC_ASYNC);
         ClickCentre(Open<CLoadGroupDlg>(ids::kLoadGroupDialog)->CancelButton());
       }),
      Closed(ids::kLoadGroupDialog, "the list's wait over"),
      Do("note whether the click came first", [&] { clicked_in_wait = std::filesystem::exists(clicked); }),
      Pause(1000),
  }));
  EXPECT_TRUE(clicked_in_wait) << "the dialog stayed on the screen through the wait";
  EXPECT_EQ(Rows().check_state(0), kUnchecked) << "the click went through to the main window";
  EXPECT_EQ(ProfileText(), "[Lab A]\n0=Bench,127.000.000.011,1,0,256\n[Room 2]\n0=Spare,127.000.000.014,1,0,16\n");
}

TEST_F(GroupDialogs, AGroupSavedByTheCommandLineLoadsInTheWindowAndTheOtherWayRound) {
  std::string out;
  ASSERT_EQ(Cli("group save 'From CLI' --client LAB-PC-10 --disk 2 --loopback --discover-seconds 15", out), 0) << out;
  ASSERT_NO_FATAL_FAILURE(StartWindow());
  std::vector<Step> steps = {Listed(4), Settle()};
  Append(steps, LoadSteps("From CLI"));
  Append(steps, {Closed(ids::kLoadGroupDialog, "Load Group closed"),
                 {"LAB-PC-10 checked on its second disk", [&] {
                    return CheckStates(Rows()) == std::vector<int>{kUnchecked, kChecked, kUnchecked, kUnchecked} &&
                           Rows().cell(1, 3) == "Disk 2 (128Mb)";
                  }},
                 // Bench too, saved from the window.
                 Pause(600), ClickRow(0), {"two checked", [&] { return Rows().check_state(0) == kChecked; }}});
  Append(steps, SaveSteps("From window"));
  ASSERT_TRUE(RunSteps(std::move(steps)));
  EXPECT_EQ(Client("LAB-PC-10")->selected_disk, 1);

  // The window ends; the command line finds the group and its members.
  window_.idle.reset();
  window_.core->shutdown();
  ASSERT_EQ(Cli("group show 'from WINDOW' --json --discover-seconds 10 --loopback", out), 0) << out;
  EXPECT_EQ(out,
            R"J({"group":"From window","members":[)J"
            R"J({"name":"Bench","address":"127.0.0.11","disks":1,"target":"Disk 1 (256Mb)","online":true},)J"
            R"J({"name":"LAB-PC-10","address":"127.0.0.13","disks":2,"target":"Disk 2 (128Mb)","online":true}]})J"
            "\n");
}

}  // namespace
}  // namespace kestrelon::test
