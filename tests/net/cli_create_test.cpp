// kestrelon-cli create, run as a child process in this test's private network,
// against a scripted Client that answers discovery and uploads its disk.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli_rig.h"
#include "model/client_row_text.h"
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"
#include "support/scripted_uploader.h"
#include "support/upload_records.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

const Ipv4Address kLoopback(127, 0, 0, 1);
const Ipv4Address kUploader(127, 0, 4, 1);

test::AnnounceSpec uploader_announce() {
  test::AnnounceSpec s;
  s.address = kUploader;
  s.name = "lab-pc-1";
  s.disks.push_back(test::make_disk(1 << 20, 0));        // disk 1: no partitions
  s.disks.push_back(test::make_disk(1 << 20, 2, 2048));  // disk 2: 2 MiB in partitions
  return s;
}

// A small image stream: a header record that receives the description, body
// records and the end record.
Bytes upload_stream() {
  Bytes s = test::data_record(Bytes(7344, 0));
  for (int i = 0; i < 40; ++i) {
    const Bytes r = test::data_record(test::counting(1000, static_cast<std::uint8_t>(i)));
    s.insert(s.end(), r.begin(), r.end());
  }
  const Bytes e = test::end_record();
  s.insert(s.end(), e.begin(), e.end());
  return s;
}

class CliCreateTest : public test::CliRig {
 protected:
  CliCreateTest() : CliRig("create", {"--loopback", "--discover-seconds", "3"}) {}
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  std::string out = (temp / "lab-pc-1.krn").string();
  test::ScriptedAnnouncer announcer{kLoopback, {uploader_announce()}};
};

TEST_F(CliCreateTest, UploadIsWrittenWithTheDescriptionAndTheExitCodeIsZero) {
  test::ScriptedUploader client(kUploader, kLoopback);
  ASSERT_TRUE(client.ok());
  client.start({.stream = upload_stream()});
  test::ChildProcess cli(command({"--client", "lab-pc-1", "--disk", "2", "--out", out, "--description",
                                  "Lab image, term 2", "--compression", "1", "--sector-by-sector"}),
                         environment());
  ASSERT_EQ(cli.wait(30s), 0) << cli.output();
  client.join();
  EXPECT_EQ(client.level(), 1);
  EXPECT_EQ(client.disk(), 1) << "disk 2 is the second disk, number 1 on the wire";
  EXPECT_EQ(client.flags(), 4);
  EXPECT_NE(cli.output().find("Client IP Address:  127.000.004.001"), std::string::npos) << cli.output();
  EXPECT_NE(cli.output().find("Size of Disk Image: 2Mb"), std::string::npos) << cli.output();
  EXPECT_NE(cli.output().find("Created " + out), std::string::npos) << cli.output();

  std::ifstream in(out, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(file.size(), 7344u + 40 * 1000);
  EXPECT_EQ(std::string(file.begin() + 256, file.begin() + 273), "Lab image, term 2");
  EXPECT_EQ(file[273], 0);
  EXPECT_EQ(Bytes(file.end() - 1000, file.end()), test::counting(1000, 39));
}

// A careful administrator's Create: the name typed in another letter case, a
// file name without an extension, a description in German and Greek whose 300
// characters take 500 bytes. Then the mistakes: a Client that is not there
// (named with those that answered, once the discovery time is over) and a
// description too long for the image's field (refused before any discovery).
TEST_F(CliCreateTest, NameInAnyCaseNoExtensionAndANonAsciiDescriptionKeptWhole) {
  std::string description = "Physiklabor, Raum 12, Woche 3: ";  // 31 characters
  for (int i = 0; i < 229; ++i) description += i % 2 ? "\xC3\xBC" : "\xCE\xB1";  // ü and α, two bytes each
  description += "Ende";
  ASSERT_EQ(character_count(description), 264);
  ASSERT_EQ(description.size(), 493u) << "fits the 511 bytes of the field";
  std::string too_long;
  for (int i = 0; i < 300; ++i) too_long += "\xC3\xBC";  // 300 characters in 600 bytes

  test::ChildProcess refused(command({"--client", "lab-pc-1", "--disk", "2", "--out", out, "--description", too_long}),
                             environment());
  EXPECT_EQ(refused.wait(5s), 2);
  EXPECT_EQ(announcer.discovers_heard(), 0) << "refused before any network";

  test::ScriptedUploader client(kUploader, kLoopback);
  ASSERT_TRUE(client.ok());
  client.start({.stream = upload_stream()});
  const std::string named = (temp / "physics-term3").string();
  test::ChildProcess cli(command({"--client", "LAB-PC-1", "--disk", "2", "--out", named, "--description", description}),
                         environment());
  ASSERT_EQ(cli.wait(30s), 0) << cli.output();
  client.join();
  EXPECT_NE(cli.output().find("Created " + named + ".krn"), std::string::npos) << cli.output();
  EXPECT_FALSE(std::filesystem::exists(named)) << "the name as typed is not used";
  std::ifstream in(named + ".krn", std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(file.size(), 7344u + 40 * 1000);
  EXPECT_EQ(std::string(file.begin() + 256, file.begin() + 256 + static_cast<long>(description.size())), description);
  EXPECT_EQ(file[256 + description.size()], 0);

  test::ChildProcess info({KESTRELON_CLI_PATH, "info", named + ".krn", "--json"}, environment());
  ASSERT_EQ(info.wait(5s), 0) << info.output();
  EXPECT_EQ(nlohmann::json::parse(info.output())["description"], description) << "read back whole";

  const int heard_before = announcer.discovers_heard();
  test::ChildProcess nobody(command({"--client", "lab-pc-9", "--out", out, "--json"}), environment());
  ASSERT_EQ(nobody.wait(15s), 1) << nobody.output();
  const auto error = nlohmann::json::parse(nobody.output());
  EXPECT_EQ(error["event"], "error");
  EXPECT_EQ(error["command"], "create");
  EXPECT_EQ(error["text"],
            "no Client 'lab-pc-9' answered in 3 s; the Clients that answered: lab-pc-1 (127.0.4.1)");
  EXPECT_GE(announcer.discovers_heard() - heard_before, 3) << "the list comes after the whole discovery time";
}

TEST_F(CliCreateTest, SilentClientEndsTheCreateWithItsMessageAndNoFile) {
  test::ScriptedUploader client(kUploader, kLoopback);
  ASSERT_TRUE(client.ok());
  client.start({.stream = upload_stream(), .quiet_from = 5});
  auto args = command({"--client", "127.0.4.1", "--disk", "2", "--out", out});
  args.insert(args.end(), {"-gut", "800"});
  test::ChildProcess cli(args, environment());
  ASSERT_EQ(cli.wait(30s), 1) << cli.output();
  client.join();
  EXPECT_EQ(client.aborts(), 3);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliCreateTest, InterruptCancelsTheUploadAbortsTheClientAndLeavesNoFile) {
  test::ScriptedUploader client(kUploader, kLoopback);
  ASSERT_TRUE(client.ok());
  client.start({.stream = upload_stream(), .quiet_from = 5});
  test::ChildProcess cli(command({"--client", "lab-pc-1", "--disk", "2", "--out", out}), environment());
  for (int i = 0; i < 300 && client.blocks_sent() < 5; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_GE(client.blocks_sent(), 5u);
  cli.send_signal(SIGINT);
  ASSERT_EQ(cli.wait(15s), 1) << cli.output();
  client.join();
  EXPECT_EQ(client.aborts(), 3);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliCreateTest, DiskWithoutPartitionsIsRefusedWithItsMessage) {
  test::ChildProcess cli(command({"--client", "lab-pc-1", "--out", out}), environment());
  ASSERT_EQ(cli.wait(15s), 1) << cli.output();
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliCreateTest, ClientThatWasNotDiscoveredStopsTheCreate) {
  test::ChildProcess cli(command({"--client", "nobody", "--out", out}), environment());
  EXPECT_EQ(cli.wait(15s), 1) << cli.output();
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliCreateTest, ExistingFileIsKeptUnlessOverwriteIsGiven) {
  { std::ofstream(out) << "an earlier image"; }
  test::ChildProcess cli(command({"--client", "lab-pc-1", "--disk", "2", "--out", out}), environment());
  EXPECT_EQ(cli.wait(5s), 2) << cli.output();
  std::ifstream in(out);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an earlier image");
}

TEST_F(CliCreateTest, OverwriteReplacesTheEarlierImageOnlyWhenTheUploadEndsWhole) {
  { std::ofstream(out) << "an earlier image"; }
  auto no_temporary_file = [this] {
    for (const auto& e : std::filesystem::directory_iterator(temp.path()))
      if (e.path().extension() == ".part") return false;
    return true;
  };
  {
    test::ScriptedUploader client(kUploader, kLoopback);
    ASSERT_TRUE(client.ok());
    client.start({.stream = upload_stream(), .quiet_from = 5});
    auto args = command({"--client", "lab-pc-1", "--disk", "2", "--out", out, "--overwrite"});
    args.insert(args.end(), {"-gut", "800"});
    test::ChildProcess cli(args, environment());
    ASSERT_EQ(cli.wait(30s), 1) << cli.output();
    client.join();
  }
  {
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an earlier image") << "kept after the silence";
  }
  EXPECT_TRUE(no_temporary_file());

  test::ScriptedUploader client(kUploader, kLoopback);
  ASSERT_TRUE(client.ok());
  client.start({.stream = upload_stream()});
  test::ChildProcess cli(command({"--client", "lab-pc-1", "--disk", "2", "--out", out, "--overwrite"}),
                         environment());
  ASSERT_EQ(cli.wait(30s), 0) << cli.output();
  client.join();
  EXPECT_EQ(std::filesystem::file_size(out), 7344u + 40 * 1000) << "replaced by the whole image";
  EXPECT_TRUE(no_temporary_file());
}

TEST_F(CliCreateTest, AnOutputFolderThatIsNotThereOrBadSwitchesStopItBeforeAnyDiscovery) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--client", "lab-pc-1", "--disk", "2", "--out", (temp / "no-such-folder" / "x.krn").string()},
           {"--client", "lab-pc-1", "--disk", "2", "--out", temp.path().string()},
           {"--client", "lab-pc-1", "--disk", "2", "--out", out, "-gut", "0"}}) {
    test::ChildProcess cli(command(args), environment());
    EXPECT_EQ(cli.wait(5s), 2) << args.back();
  }
  EXPECT_EQ(announcer.discovers_heard(), 0) << "no discovery request was sent";
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliCreateTest, BadArgumentsAreRefused) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--out", out},                                        // no Client
           {"--client", "x"},                                     // no file
           {"--client", "x", "--out", out, "--compression", "10"},
           {"--client", "x", "--out", out, "--disk", "0"},
           {"--client", "x", "--out", out, "--description", std::string(401, 'd')},
           {"--client", "x", "--out", out, "--frobnicate"}}) {
    test::ChildProcess cli(command(args), environment());
    EXPECT_EQ(cli.wait(5s), 2) << args.back();
  }
}

}  // namespace
}  // namespace kestrelon
