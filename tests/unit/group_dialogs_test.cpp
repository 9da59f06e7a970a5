// The Save Group and Load Group dialogs without their windows, over a Controller
// that has not started its network.
#include <gtest/gtest.h>

#include <fstream>

#include "commands/load_group_dialog.h"
#include "commands/save_group_dialog.h"
#include "support/recording_ui.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

// Records messages and questions; answers No.
class RecordingGroupPort final : public GroupPort {
 public:
  void show_message(const std::string& text) override { said.push_back(text); }
  bool ask_yes_no(const std::string& text) override {
    said.push_back("? " + text);
    return false;
  }
  std::vector<std::string> said;
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

  test::TempFolder temp;
  test::RecordingUi ui;
  std::unique_ptr<ControllerCore> core;
  RecordingGroupPort port;
};

// The window tests cover saving, replacing, loading and deleting; these are the
// paths a window cannot reach or cannot cause.
TEST_F(GroupDialogs, SaveRefusesWhatItCannotWriteAndKeepsTheDialogOpen) {
  rows().check(0);
  SaveGroupDialog dialog(*core, port);
  EXPECT_FALSE(dialog.save("Lab]A"));
  EXPECT_EQ(port.said, (std::vector<std::string>{kBadGroupNameText}));
  // A folder where the file should be: it cannot be replaced.
  std::filesystem::create_directory(temp / "kestreln.ini");
  port.said.clear();
  EXPECT_FALSE(dialog.save("Lab A"));
  EXPECT_EQ(port.said, (std::vector<std::string>{kGroupNotSavedText + (temp / "kestreln.ini").string() + "."}));
  std::filesystem::remove(temp / "kestreln.ini");
  // Every checked Client left the list while the dialog was open.
  rows().clear();
  port.said.clear();
  EXPECT_FALSE(dialog.save("Lab A"));
  EXPECT_EQ(port.said, (std::vector<std::string>{kNoClientCheckedText}));
  EXPECT_FALSE(std::filesystem::exists(temp / "kestreln.ini"));
}

TEST_F(GroupDialogs, LoadAndDeleteWithNoGroupChosenOnlySaySo) {
  { std::ofstream(temp / "kestreln.ini") << "[Lab A]\n0=PC-01,010.000.000.003,2,1,300\n1=PC-09,010.000.000.009,1,0,5\n"; }
  rows().check(0);
  LoadGroupDialog dialog(*core, port);
  CheckListModel preview;
  preview.insert_client_columns();
  EXPECT_EQ(dialog.load(preview), LoadGroupDialog::LoadResult::stay_open);
  EXPECT_FALSE(dialog.remove(std::nullopt, preview));
  EXPECT_EQ(port.said, (std::vector<std::string>{kSelectGroupText, kSelectGroupText}));
  EXPECT_EQ(rows().check_state(0), kChecked) << "the main list is unchanged";
  EXPECT_STREQ(dialog.cancel_caption(), "Cancel");

  dialog.select_group("lab a", preview);
  EXPECT_EQ(dialog.load(preview), LoadGroupDialog::LoadResult::loaded_with_missing);
  EXPECT_EQ(rows().check_state(0), kUnchecked);
  EXPECT_EQ(rows().check_state(2), kChecked);
  EXPECT_EQ(core->tables().clients[2].selected_disk, 1);
}

}  // namespace
}  // namespace kestrelon
