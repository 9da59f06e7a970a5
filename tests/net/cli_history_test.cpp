// kestrelon-cli history reading a transfer journal: the last transfers as a
// table with every Client that did not finish, or the journal's own lines.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "cli_rig.h"
#include "support/child_process.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

const std::string kSucceeded =
    R"({"kind":"create","program":"kestrelon","started":"2024-05-01T18:00:00+02:00","ended":"2024-05-01T18:03:00+02:00",)"
    R"("image":"/srv/images/lab.krn","bytes":2000000000,"seconds":170.0,"rate_mbps":11.76,"retries":0,)"
    R"("acknowledgements":100,"result":"succeeded","targets":[{"name":"master","address":"10.0.0.2","outcome":"done"}]})";
const std::string kPartial =
    R"({"kind":"copy","program":"kestrelon-cli","started":"2024-05-02T02:00:03+02:00","ended":"2024-05-02T02:05:00+02:00",)"
    R"("image":"/srv/images/lab.krn","bytes":2000000000,"seconds":0.0,"rate_mbps":0.0,"retries":12,)"
    R"("acknowledgements":9000,"result":"partial","targets":[{"name":"pc-1","address":"10.0.0.11","outcome":"done"},)"
    R"({"name":"pc-9","address":null,"outcome":"skipped","reason":"offline: not discovered"}]})";

class CliHistoryTest : public test::CliRig {
 protected:
  CliHistoryTest() : CliRig("history") {}
  void write_journal(const std::string& text) {
    std::filesystem::create_directories(journal().parent_path());
    std::ofstream(journal()) << text;
  }
};

TEST_F(CliHistoryTest, NothingRecordedYetIsNoError) {
  test::ChildProcess cli(command({"--json"}), environment());
  EXPECT_EQ(cli.wait(5s), 0);
  EXPECT_EQ(cli.output(), "");
}

TEST_F(CliHistoryTest, JsonGivesTheLastLinesBackAsRecordedSkippingUnreadableOnes) {
  write_journal(kSucceeded + "\n" + "not json, a line cut short by a full disk\n" + kPartial + "\n");
  test::ChildProcess last(command({"--json", "--last", "1"}), environment());
  ASSERT_EQ(last.wait(5s), 0);
  EXPECT_EQ(last.output(), kPartial + "\n");
  test::ChildProcess all(command({"--json", "--last", "0"}), environment());
  ASSERT_EQ(all.wait(5s), 0);
  EXPECT_EQ(all.output(), kSucceeded + "\n" + kPartial + "\n");
}

TEST_F(CliHistoryTest, TheTableNamesEachClientThatDidNotFinishAndWhy) {
  write_journal(kSucceeded + "\n" + kPartial + "\n");
  test::ChildProcess cli(command({}), environment());
  ASSERT_EQ(cli.wait(5s), 0);
  const std::string& out = cli.output();
  EXPECT_EQ(out.find("Started"), 0u) << out;
  EXPECT_NE(out.find("2024-05-01 18:00:00  create  succeeded  1 of 1 done  2000.0  11.76  /srv/images/lab.krn\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("2024-05-02 02:00:03  copy    partial    1 of 2 done  2000.0  0.0    /srv/images/lab.krn\n"
                     "    pc-9: skipped: offline: not discovered\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("pc-1"), std::string::npos) << "Clients that finished are not listed";
}

TEST_F(CliHistoryTest, BadCountsAndSwitchWordsAreRefused) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--last", "-1"}, {"--last", "x"}, {"-rt", "100"}}) {
    test::ChildProcess cli(command(args), environment());
    EXPECT_EQ(cli.wait(5s), 2) << args[0];
  }
}

}  // namespace
}  // namespace kestrelon
