// The Save Group and Load Group dialogs without their windows: messages, the
// replace question, enabling, loading and deleting, over a Controller that has not
// started its network.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>

#include "app/text_file.h"
#include "commands/load_group_dialog.h"
#include "commands/save_group_dialog.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

// Records messages and questions; answers questions from a script.
class ScriptedGroupPort final : public GroupPort {
 public:
  void show_message(const std::string& text) override { said.push_back(text); }
  bool ask_yes_no(const std::string& text) override {
    said.push_back("? " + text);
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  std::vector<std::string> said;
  std::deque<bool> answers;
};

class GroupDialogs : public ::testing::Test {
 protected:
  GroupDialogs() {
    CoreOptions options;
    options.settings_folder = temp.path();
    options.profile_file = temp / "kestreln.ini";
    core = std::make_unique<ControllerCore>(ui, options);
    rows().append_client_row({"Alpha", "010.000.000.001", 2, 1, 4095});
    rows().append_client_row({"Beta", "010.000.000.002", 1, 0, 100});
    rows().append_client_row({"Gamma", "010.000.000.003", 1, 0, 300});
    for (const char* address : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
      ClientRecord& c = core->tables().clients[static_cast<std::size_t>(core->tables().client_count++)];
      c.address = *Ipv4Address::parse(address);
      c.disk_count = 2;
    }
  }
  CheckListModel& rows() { return core->main_client_list().rows(); }
  std::string file_text() const { return read_text_file(temp / "kestreln.ini").value_or("<missing>"); }

  test::TempFolder temp;
  test::RecordingUi ui;
  std::unique_ptr<ControllerCore> core;
  ScriptedGroupPort port;
};

TEST_F(GroupDialogs, SaveWritesTheCheckedRowsAndAsksBeforeReplacing) {
  rows().check(2);
  rows().check(0);
  SaveGroupDialog first(*core, port);
  EXPECT_TRUE(first.group_names().empty());
  CheckListModel contents;
  contents.insert_client_columns();
  first.fill_contents(contents);
  ASSERT_EQ(contents.row_count(), 2);
  EXPECT_EQ(contents.cell(0, 0), "Alpha");
  EXPECT_EQ(contents.cell(0, 3), "Disk 2 (4095Mb)");
  EXPECT_EQ(contents.cell(1, 0), "Gamma");

  EXPECT_FALSE(SaveGroupDialog::save_enabled(""));
  EXPECT_TRUE(SaveGroupDialog::save_enabled(" "));
  EXPECT_FALSE(first.save(""));
  EXPECT_FALSE(first.save("  "));
  EXPECT_FALSE(first.save("Lab]"));
  EXPECT_EQ(port.said, (std::vector<std::string>{kEnterGroupNameText, kEnterGroupNameText, kBadGroupNameText}));
  EXPECT_FALSE(std::filesystem::exists(temp / "kestreln.ini"));
  ASSERT_TRUE(first.save("Lab A"));
  EXPECT_EQ(file_text(), "[Lab A]\n0=Alpha,010.000.000.001,2,1,4095\n1=Gamma,010.000.000.003,1,0,300\n");

  // Another spelling of the name is the same group: the question comes, and No
  // writes nothing.
  port.said.clear();
  rows().uncheck_all();
  rows().check(1);
  SaveGroupDialog second(*core, port);
  EXPECT_EQ(second.group_names(), (std::vector<std::string>{"Lab A"}));
  CheckListModel preview;
  preview.insert_client_columns();
  second.select_group("Lab A", preview);
  EXPECT_EQ(preview.row_count(), 2);
  EXPECT_EQ(preview.cell(1, 3), "Disk 1 (300Mb)");
  port.answers = {false, true};
  EXPECT_FALSE(second.save("lab a"));
  EXPECT_EQ(port.said, (std::vector<std::string>{std::string("? ") + kReplaceGroupText}));
  EXPECT_EQ(file_text(), "[Lab A]\n0=Alpha,010.000.000.001,2,1,4095\n1=Gamma,010.000.000.003,1,0,300\n");
  // Yes replaces the whole group.
  ASSERT_TRUE(second.save("lab a"));
  EXPECT_EQ(file_text(), "[lab a]\n0=Beta,010.000.000.002,1,0,100\n");
}

TEST_F(GroupDialogs, SaveWithEveryClientGoneMeanwhileWritesNothing) {
  rows().check(0);
  SaveGroupDialog dialog(*core, port);
  rows().clear();  // the Clients left the list while the dialog was open
  EXPECT_FALSE(dialog.save("Lab A"));
  EXPECT_EQ(port.said, (std::vector<std::string>{kNoClientCheckedText}));
  EXPECT_FALSE(std::filesystem::exists(temp / "kestreln.ini"));
}

TEST_F(GroupDialogs, SaveThatCannotWriteSaysWhereAndKeepsTheDialogOpen) {
  // A folder where the file should be: it cannot be replaced.
  std::filesystem::create_directory(temp / "kestreln.ini");
  rows().check(0);
  SaveGroupDialog dialog(*core, port);
  EXPECT_FALSE(dialog.save("Lab A"));
  ASSERT_EQ(port.said.size(), 1u);
  EXPECT_EQ(port.said[0], kGroupNotSavedText + (temp / "kestreln.ini").string() + ".");
}

TEST_F(GroupDialogs, LoadChecksTheMembersAndDeleteTurnsCancelIntoClose) {
  {
    std::ofstream(temp / "kestreln.ini") << "[Lab A]\n0=PC-01,010.000.000.003,2,1,300\n1=PC-09,010.000.000.009,1,0,5\n"
                                            "[All here]\n0=Beta,010.000.000.002,1,0,100\n";
  }
  rows().check(0);
  LoadGroupDialog dialog(*core, port);
  EXPECT_EQ(dialog.group_names(), (std::vector<std::string>{"All here", "Lab A"}));
  EXPECT_FALSE(dialog.buttons_enabled());
  CheckListModel preview;
  preview.insert_client_columns();
  EXPECT_EQ(dialog.load(preview), LoadGroupDialog::LoadResult::stay_open);
  EXPECT_EQ(port.said, (std::vector<std::string>{kSelectGroupText}));
  EXPECT_EQ(rows().check_state(0), kChecked) << "the main list is unchanged";

  dialog.select_group("Lab A", preview);
  EXPECT_EQ(dialog.chosen(), "Lab A");
  EXPECT_TRUE(dialog.buttons_enabled());
  ASSERT_EQ(preview.row_count(), 2);
  EXPECT_EQ(dialog.load(preview), LoadGroupDialog::LoadResult::loaded_with_missing);
  EXPECT_EQ(rows().check_state(0), kUnchecked);
  EXPECT_EQ(rows().check_state(2), kChecked);
  EXPECT_EQ(rows().cell(2, 3), "Disk 2 (300Mb)");
  EXPECT_EQ(core->tables().clients[2].selected_disk, 1);
  EXPECT_EQ(preview.check_state(1), kUnchecked) << "PC-09 is missing";

  dialog.select_group("All here", preview);
  EXPECT_EQ(dialog.load(preview), LoadGroupDialog::LoadResult::loaded);

  // Delete: with no selection only the message; then the group goes.
  port.said.clear();
  EXPECT_STREQ(dialog.cancel_caption(), "Cancel");
  EXPECT_FALSE(dialog.remove(std::nullopt, preview));
  EXPECT_EQ(port.said, (std::vector<std::string>{kSelectGroupText}));
  EXPECT_EQ(preview.row_count(), 1);
  EXPECT_STREQ(dialog.cancel_caption(), "Cancel");
  EXPECT_TRUE(dialog.remove("All here", preview));
  EXPECT_EQ(dialog.group_names(), (std::vector<std::string>{"Lab A"}));
  EXPECT_EQ(dialog.chosen(), "");
  EXPECT_EQ(preview.row_count(), 0);
  EXPECT_FALSE(dialog.buttons_enabled());
  EXPECT_STREQ(dialog.cancel_caption(), "Close");
  EXPECT_EQ(file_text(), "[Lab A]\n0=PC-01,010.000.000.003,2,1,300\n1=PC-09,010.000.000.009,1,0,5\n");
}

}  // namespace
}  // namespace kestrelon
