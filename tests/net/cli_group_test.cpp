// kestrelon-cli group, and copy --group up to the point where it would copy, as
// child processes in this test's private network against scripted Clients.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "app/text_file.h"
#include "cli_rig.h"
#include "support/child_process.h"
#include "support/image_files.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const Ipv4Address kLoopback(127, 0, 0, 1);

test::AnnounceSpec client(int n, const std::string& name, std::vector<std::uint32_t> disks_mb) {
  test::AnnounceSpec s;
  s.address = Ipv4Address(127, 0, 4, static_cast<std::uint8_t>(n));
  s.name = name;
  for (std::uint32_t mb : disks_mb) s.disks.push_back(test::make_disk(mb * 2048, 1));
  return s;
}

class CliGroupTest : public test::CliRig {
 protected:
  CliGroupTest() : CliRig("group") {}
  void SetUp() override { KESTRELON_REQUIRE_PRIVATE_NETWORK(); }

  // Runs `kestrelon-cli group ARGS` with standard error joined to the output.
  int run(std::vector<std::string> args, std::string& output, std::vector<std::string> env = {}) {
    std::vector<std::string> argv = command(std::move(args));
    argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1"});
    if (env.empty()) env = environment();
    test::ChildProcess cli(argv, env);
    const auto status = cli.wait(20s);
    output = cli.output();
    return status.value_or(-1);
  }
  std::string profile_text() const { return read_text_file(temp / "kestreln.ini").value_or("<missing>"); }

  test::ScriptedAnnouncer clients{kLoopback, {client(1, "alpha", {100}), client(2, "Two Disks", {50, 300})}};
};

TEST_F(CliGroupTest, SaveAsksForReplaceListShowsAndDeletes) {
  std::string out;
  ASSERT_EQ(run({"save", "Lab A", "--client", "alpha", "--client", "127.0.4.2", "--disk", "1", "--loopback"}, out), 0)
      << out;
  EXPECT_NE(out.find("Saved group Lab A with 2 member(s)"), std::string::npos) << out;
  // In the order of the rows, which the list keeps sorted by name.
  EXPECT_EQ(profile_text(), "[Lab A]\n0=Two Disks,127.000.004.002,2,0,50\n1=alpha,127.000.004.001,1,0,100\n");

  // Another spelling is the same group: refused before any discovery, unless --replace.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(run({"save", "lab a", "--client", "Two Disks", "--loopback", "--discover-seconds", "600"}, out), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 300s) << "refused before the discovery's 600 s";
  EXPECT_NE(out.find("The group name already exists! Do You want to replace it? (--replace replaces it)"),
            std::string::npos)
      << out;
  ASSERT_EQ(run({"save", "lab a", "--client", "Two Disks", "--disk", "2", "--replace", "--loopback"}, out), 0) << out;
  EXPECT_EQ(profile_text(), "[lab a]\n0=Two Disks,127.000.004.002,2,1,300\n");

  // A member that is not on the network, written by hand.
  { std::ofstream(temp / "kestreln.ini", std::ios::app) << "1=Gone,127.000.004.009,1,0,10\n[Room 2]\n"; }
  ASSERT_EQ(run({"list"}, out), 0);
  EXPECT_EQ(out, "lab a\nRoom 2\n");
  ASSERT_EQ(run({"list", "--json"}, out), 0);
  EXPECT_EQ(out, R"({"groups":[{"name":"lab a","members":2},{"name":"Room 2","members":0}]})" "\n");
  ASSERT_EQ(run({"show", "LAB A", "--json", "--discover-seconds", "2", "--loopback"}, out), 0) << out;
  EXPECT_EQ(out,
            R"J({"group":"lab a","members":[)J"
            R"J({"name":"Two Disks","address":"127.0.4.2","disks":2,"target":"Disk 2 (300Mb)","online":true},)J"
            R"J({"name":"Gone","address":"127.0.4.9","disks":1,"target":"Disk 1 (10Mb)","online":false}]})J"
            "\n");
  ASSERT_EQ(run({"show", "lab a"}, out), 0) << out;
  EXPECT_EQ(out,
            "Group lab a:\n"
            "Name       IP Address       Disk(s)  Target\n"
            "Two Disks  127.000.004.002  2        Disk 2 (300Mb)\n"
            "Gone       127.000.004.009  1        Disk 1 (10Mb)\n");

  ASSERT_EQ(run({"delete", "Lab A"}, out), 0) << out;
  EXPECT_EQ(profile_text(), "[Room 2]\n");
  EXPECT_EQ(run({"delete", "Lab A"}, out), 1);
  EXPECT_NE(out.find("no group 'Lab A'"), std::string::npos) << out;
  EXPECT_EQ(run({"show", "Lab A"}, out), 1);
}

TEST_F(CliGroupTest, BadNamesAndArgumentsAreRefusedBeforeAnyNetwork) {
  std::string out;
  for (const auto& args : std::vector<std::vector<std::string>>{{"save", "   ", "--all"},
                                                                {"save", "Lab]A", "--all"},
                                                                {"save", "Lab A"},
                                                                {"save", "Lab A", "--all", "--client", "alpha"},
                                                                {"save", "Lab A", "--all", "--disk", "5"},
                                                                {"list", "-rt", "200"},
                                                                {"frobnicate"},
                                                                {}}) {
    EXPECT_EQ(run(args, out), 2) << (args.empty() ? "" : args.front()) << ": " << out;
  }
  EXPECT_FALSE(std::filesystem::exists(temp / "kestreln.ini"));
}

TEST_F(CliGroupTest, TheFileIsBesideTheSettingsWhenNothingElseIsNamed) {
  std::string out;
  const std::filesystem::path settings = temp / "config";
  ASSERT_EQ(run({"save", "Lab A", "--client", "alpha", "--loopback"}, out, {"KESTRELON_SETTINGS_DIR=" + settings.string()}),
            0)
      << out;
  EXPECT_EQ(read_text_file(settings / "kestreln.ini").value_or(""), "[Lab A]\n0=alpha,127.000.004.001,1,0,100\n");
  EXPECT_FALSE(std::filesystem::exists(temp / "kestreln.ini"));
}

TEST_F(CliGroupTest, CopyToAGroupWithAMissingMemberListsItAndCopiesNothing) {
  { std::ofstream(temp / "kestreln.ini") << "[Lab A]\n0=alpha,127.000.004.001,1,0,100\n1=Gone,127.000.004.009,2,1,70\n"; }
  const std::string image = (temp / "lab.krn").string();
  test::write_file(image, test::image_bytes({.length = 9000, .partition_count = 1, .data_sectors = {1000}}));
  std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", KESTRELON_CLI_PATH, "copy", image,
                                   "--group", "lab a", "--loopback", "--discover-seconds", "2"};
  test::ChildProcess cli(argv, environment());
  ASSERT_EQ(cli.wait(20s), 1) << cli.output();
  EXPECT_NE(cli.output().find("Group members not on the network:\n  Gone "), std::string::npos) << cli.output();
  EXPECT_NE(cli.output().find("Disk 2 (70Mb)"), std::string::npos) << cli.output();
  EXPECT_NE(cli.output().find("nothing was copied"), std::string::npos) << cli.output();
  EXPECT_EQ(cli.output().find("Copied"), std::string::npos) << cli.output();

  test::ChildProcess unknown({KESTRELON_CLI_PATH, "copy", image, "--group", "Nobody", "--loopback"}, environment());
  EXPECT_EQ(unknown.wait(20s), 1);
}

TEST_F(CliGroupTest, SkipUnreadyGoesAheadWithoutAMissingMemberAndNamesIt) {
  { std::ofstream(temp / "kestreln.ini") << "[Lab A]\n0=alpha,127.000.004.001,1,0,100\n1=Gone,127.000.004.009,2,1,70\n"; }
  const std::string image = (temp / "lab.krn").string();
  test::write_file(image, test::image_bytes({.length = 9000, .partition_count = 1, .data_sectors = {1000}}));
  // alpha answers discovery only (a scripted Client), so the copy then waits for
  // its answer to the start request in vain.
  test::ChildProcess cli({KESTRELON_CLI_PATH, "copy", image, "--group", "Lab A", "--skip-unready", "--json",
                          "--ready-seconds", "1", "--loopback", "--discover-seconds", "2"},
                         environment());
  ASSERT_EQ(cli.wait(30s), 1) << cli.output();
  const std::string& out = cli.output();
  EXPECT_NE(out.find(R"("name":"Gone","address":"127.0.4.9","outcome":"skipped","reason":"offline: not discovered")"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(R"("name":"alpha","address":"127.0.4.1","outcome":"start sent")"), std::string::npos) << out;
  EXPECT_NE(out.find(R"("name":"alpha","address":"127.0.4.1","outcome":"failed","reason":"no answer to the start)"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Group members not on the network"), std::string::npos) << "with --json, the events say it";
}

}  // namespace
}  // namespace kestrelon
