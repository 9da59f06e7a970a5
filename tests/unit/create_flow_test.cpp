// The Create command's checks and clean-up, with a scripted user and no network
// (the engine's packets go nowhere; the Receiving dialog ends as scripted).
#include "commands/create_flow.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/program_settings.h"
#include "model/check_list_model.h"
#include "net/endpoint_table.h"
#include "net/notice_board.h"
#include "net/receive_dispatcher.h"
#include "support/datagrams.h"
#include "support/recording_receiving_dialog.h"
#include "support/recording_ui.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

// Answers the flow's questions as scripted and writes down what it was asked.
struct ScriptedCreatePort : CreatePort {
  std::optional<std::string> path;
  std::optional<ReceiveImageChoice> choice = ReceiveImageChoice{};
  ReceivingDialog::End dialog_end = ReceivingDialog::End::cancel;

  std::vector<std::string> messages;
  std::vector<std::string> proposed_names;
  std::vector<ReceiveImageInfo> infos;
  std::vector<ReceivingDialogInfo> dialogs;
  std::vector<std::string> folders;
  std::vector<std::string> names_during_upload;  // the chosen file's folder

  void show_message(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> choose_image_path(const std::string& proposed) override {
    proposed_names.push_back(proposed);
    return path;
  }
  std::optional<ReceiveImageChoice> ask_receive_image(const ReceiveImageInfo& info) override {
    infos.push_back(info);
    return choice;
  }
  struct Dialog : test::RecordingReceivingDialog {
    ScriptedCreatePort* port;
    End run_modal() override {
      for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(*port->path).parent_path()))
        port->names_during_upload.push_back(e.path().filename().string());
      std::sort(port->names_during_upload.begin(), port->names_during_upload.end());
      return port->dialog_end;
    }
  };
  std::unique_ptr<ReceivingDialog> make_receiving_dialog(const ReceivingDialogInfo& info) override {
    dialogs.push_back(info);
    auto d = std::make_unique<Dialog>();
    d->port = this;
    return d;
  }
  void image_folder_chosen(const std::string& folder) override { folders.push_back(folder); }
};

class CreateFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "settings");
    add_client("ROOM12-PC03", Ipv4Address(10, 0, 0, 3), 3);
    add_client("EMPTYDISK", Ipv4Address(10, 0, 0, 4), 0);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void add_client(const std::string& name, Ipv4Address address, int partitions) {
    ClientRecord& c = tables.clients[static_cast<std::size_t>(tables.client_count++)];
    c.set_name(name);
    c.address = address;
    c.disk_count = 1;
    c.disks[0] = test::make_disk(1 << 22, partitions, 4096);
  }
  CreateFlowResult run(std::vector<std::string> checked) { return flow.run(checked, false, port); }

  std::filesystem::path dir =
      std::filesystem::path(::testing::TempDir()) / ("kestrelon_flow_" + std::to_string(::getpid()));
  test::RecordingUi ui;
  ProgramLocks locks;
  NoticeBoard board{ui};
  ReceiveDispatcher dispatcher{locks.receive, board};
  EndpointTable endpoints{dispatcher, ui};  // no endpoint opened: packets go nowhere
  TransferStats stats;
  ManualClock clock;
  ReceiveEngine engine{endpoints, stats, ui, clock, ReceiveTiming{7000, 0ms, 0ms}};
  ClientTables tables;
  SettingsStore settings{dir / "settings", "2.11"};
  CreateFlow flow{locks, tables, engine, stats, &settings};
  ScriptedCreatePort port;
};

TEST_F(CreateFlowTest, MoreThanOneOrNoCheckedClientIsRefusedBeforeAnythingIsAsked) {
  EXPECT_EQ(run({"010.000.000.003", "010.000.000.004"}).end, CreateFlowEnd::too_many_clients);
  EXPECT_EQ(run({}).end, CreateFlowEnd::no_client);
  EXPECT_EQ(port.messages,
            (std::vector<std::string>{"Only 1 client's drive can be saved at once !", "A client must be selected !"}));
  EXPECT_TRUE(port.proposed_names.empty());
}

TEST_F(CreateFlowTest, CheckedClientMissingFromTheTableEndsWithoutAMessage) {
  EXPECT_EQ(run({"010.000.000.099"}).end, CreateFlowEnd::client_not_found);
  // The short form of the address is not how the list writes it.
  EXPECT_EQ(run({"10.0.0.3"}).end, CreateFlowEnd::client_not_found);
  EXPECT_TRUE(port.messages.empty());
  EXPECT_TRUE(port.proposed_names.empty());
}

TEST_F(CreateFlowTest, SelectedDiskWithoutPartitionsIsRefused) {
  EXPECT_EQ(run({"010.000.000.004"}).end, CreateFlowEnd::no_partitions);
  tables.clients[0].selected_disk = 2;  // a disk the Client does not have
  EXPECT_EQ(run({"010.000.000.003"}).end, CreateFlowEnd::no_partitions);
  EXPECT_EQ(port.messages, std::vector<std::string>(2, "The selected drive does not have any partitions to copy !"));
  EXPECT_TRUE(port.proposed_names.empty());
}

TEST_F(CreateFlowTest, CancelledSaveDialogCreatesNoFile) {
  const auto r = run({"010.000.000.003"});
  EXPECT_EQ(r.end, CreateFlowEnd::no_path);
  EXPECT_EQ(port.proposed_names, std::vector<std::string>{"ROOM12-PC03"});
  EXPECT_FALSE(std::filesystem::exists(dir / "ROOM12-PC03.krn"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "only the settings folder";
  EXPECT_TRUE(port.infos.empty());
}

TEST_F(CreateFlowTest, FileThatCannotBeCreatedEndsSilently) {
  port.path = (dir / "missing-folder" / "a.krn").string();
  const auto r = run({"010.000.000.003"});
  EXPECT_EQ(r.end, CreateFlowEnd::file_not_created);
  EXPECT_EQ(r.open_error, ENOENT);
  EXPECT_TRUE(port.messages.empty());
  EXPECT_TRUE(port.infos.empty());
}

TEST_F(CreateFlowTest, CancelledReceiveImageDialogKeepsAnEarlierImageAndShowsTheClientAndSize) {
  port.path = (dir / "a.krn").string();
  { std::ofstream(*port.path) << "an older image"; }
  port.choice.reset();
  const auto r = run({"010.000.000.003"});
  EXPECT_EQ(r.end, CreateFlowEnd::not_confirmed);
  ASSERT_EQ(port.infos.size(), 1u);
  EXPECT_EQ(port.infos[0].client_name, "ROOM12-PC03");
  EXPECT_EQ(port.infos[0].address_text, "010.000.000.003");
  EXPECT_EQ(port.infos[0].size_text, "6Mb");  // 3 partitions of 4096 sectors
  std::ifstream earlier(*port.path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "an older image");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "the settings and a.krn alone";
  EXPECT_TRUE(port.dialogs.empty());
  EXPECT_TRUE(port.folders.empty());
}

TEST_F(CreateFlowTest, FailedUploadLeavesNoFileAndStillMakesItsFolderTheImageFolder) {
  port.path = (dir / "b.krn").string();
  port.choice = ReceiveImageChoice{std::string(400, 'd'), 0};
  const auto r = run({"010.000.000.003"});
  EXPECT_EQ(r.end, CreateFlowEnd::uploaded);
  EXPECT_EQ(r.outcome, CreateOutcome::cancelled);
  EXPECT_FALSE(r.completed());
  // The upload went into a file the image list does not show.
  EXPECT_EQ(port.names_during_upload, (std::vector<std::string>{"b.krn.part", "settings"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "only the settings folder";
  ASSERT_EQ(port.dialogs.size(), 1u);
  EXPECT_EQ(port.dialogs[0].file_name, "b.krn");
  EXPECT_EQ(port.dialogs[0].client_name, "ROOM12-PC03");
  EXPECT_FALSE(port.dialogs[0].compressed);
  EXPECT_EQ(port.folders, std::vector<std::string>{dir.string()});
  EXPECT_EQ(read_program_settings(settings).path, dir.string()) << "stored as the image folder";
  EXPECT_EQ(engine.state(), ReceiveEngine::kIdle);
}

TEST_F(CreateFlowTest, CheckedAddressesAreTheAddressCellsOfTheCheckedRowsInOrder) {
  CheckListModel rows;
  rows.insert_client_columns();
  rows.append_client_row({"A", "010.000.000.001", 1, 0, 10});
  rows.append_client_row({"B", "010.000.000.002", 1, 0, 10}, true);
  rows.append_client_row({"C", "010.000.000.003", 1, 0, 10}, true);
  EXPECT_EQ(CreateFlow::checked_addresses(rows), (std::vector<std::string>{"010.000.000.002", "010.000.000.003"}));
  rows.uncheck_all();
  EXPECT_TRUE(CreateFlow::checked_addresses(rows).empty());
}

TEST_F(CreateFlowTest, SizeTextIsWholeMebibytesOfAByteCountBeyond32Bits) {
  EXPECT_EQ(CreateFlow::size_text(0), "0Mb");
  EXPECT_EQ(CreateFlow::size_text((1 << 20) - 1), "0Mb");
  EXPECT_EQ(CreateFlow::size_text(std::int64_t{80} << 30), "81920Mb");
}

TEST(CreateFlowPaths, FolderAndNameOfAChosenPath) {
  EXPECT_EQ(CreateFlow::folder_of("/srv/images/lab.krn"), "/srv/images");
  EXPECT_EQ(CreateFlow::folder_of("lab.krn"), std::filesystem::current_path().string());
  EXPECT_EQ(CreateFlow::file_name_of("/srv/images/lab.krn"), "lab.krn");
}

TEST_F(CreateFlowTest, DescriptionThatDoesNotFitIsRefusedWholeAndNeverCut) {
  std::string accents;
  for (int i = 0; i < 255; ++i) accents += "\xC3\xA9";  // U+00E9, two bytes each
  EXPECT_EQ(character_count(accents), 255);
  EXPECT_EQ(description_problem(accents), "") << "510 bytes fit";
  EXPECT_EQ(description_problem(std::string(400, 'a')), "");
  EXPECT_EQ(description_problem(std::string(401, 'a')),
            "The description has 401 characters; an image holds at most 400.");
  EXPECT_EQ(description_problem(accents + "\xC3\xA9"),
            "The description is too long for an image: its 256 characters take 512 bytes, and an image holds "
            "511 (a letter outside ASCII takes 2 to 4 bytes). Shorten it by 1 byte.");

  // A front end that lets such a text through gets the message, and no image.
  port.path = (dir / "lab.krn").string();
  port.choice = ReceiveImageChoice{accents + "\xF0\x9F\x90\xA6", 9};  // 256 characters, 514 bytes
  EXPECT_EQ(run({"010.000.000.003"}).end, CreateFlowEnd::description_too_long);
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_NE(port.messages[0].find("take 514 bytes"), std::string::npos) << port.messages[0];
  EXPECT_TRUE(port.dialogs.empty()) << "no upload was started";
  for (const auto& e : std::filesystem::directory_iterator(dir))
    EXPECT_EQ(e.path().filename(), "settings") << "no image or temporary file left behind";
}

}  // namespace
}  // namespace kestrelon
