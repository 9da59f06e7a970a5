// kestrelon-cli's own command line, read before any network is opened: the
// command list, --version, and where the Controller's switch words may go.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "cli_rig.h"
#include "support/child_process.h"

namespace kestrelon {
namespace {

using namespace std::chrono_literals;

class CliCommandLineTest : public test::CliRig {
 protected:
  CliCommandLineTest() : CliRig("") {}
  std::vector<std::string> bare(std::vector<std::string> args) const {
    args.insert(args.begin(), KESTRELON_CLI_PATH);
    return args;
  }
  // The same with standard error joined to the output that the test reads.
  std::vector<std::string> with_errors(std::vector<std::string> args) const {
    args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", KESTRELON_CLI_PATH});
    return args;
  }
};

TEST_F(CliCommandLineTest, HelpListsEveryCommandAndVersionNamesTheProgram) {
  test::ChildProcess help(bare({"--help"}), environment());
  ASSERT_EQ(help.wait(5s), 0);
  for (const char* command : {"copy", "create", "discover", "group", "interfaces"})
    EXPECT_NE(help.output().find(std::string("\n  ") + command + " "), std::string::npos) << command;

  test::ChildProcess version(bare({"--version"}), environment());
  ASSERT_EQ(version.wait(5s), 0);
  EXPECT_EQ(version.output(), std::string("kestrelon-cli ") + KESTRELON_FILE_VERSION + "\n");
}

TEST_F(CliCommandLineTest, NoCommandOrAnUnknownOneIsAUsageError) {
  test::ChildProcess none(bare({}), environment());
  EXPECT_EQ(none.wait(5s), 2);
  EXPECT_NE(none.output().find("Usage: kestrelon-cli"), std::string::npos) << none.output();
  test::ChildProcess unknown(bare({"frobnicate"}), environment());
  EXPECT_EQ(unknown.wait(5s), 2);
}

// Each mistake is told in one line that names what is wrong; with --json the
// same comes as one JSON object on standard output, for a script.
TEST_F(CliCommandLineTest, MistakesAreOneClearLineAndAJsonObjectUnderJson) {
  const std::string not_an_image = (temp / "notes.txt").string();
  test::ChildProcess write({"/bin/sh", "-c", "echo 'not an image' > \"$1\"", "sh", not_an_image}, environment());
  ASSERT_EQ(write.wait(5s), 0);
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string line;
  };
  const std::vector<Case> cases{
      {{"frobnicate"}, 2,
       "kestrelon-cli: 'frobnicate' is not a command; the commands are clients, copy, create, discover, group, "
       "history, info, interfaces and wake"},
      {{"group", "remove", "Lab A"}, 2,
       "kestrelon-cli group: 'remove' is not a command of group; the commands are list, show, save, delete and names"},
      {{"history", "--last", "abc"}, 2,
       "kestrelon-cli history: --last: 'abc' is not a whole number (see 'kestrelon-cli history --help')"},
      {{"info", not_an_image}, 1,
       "kestrelon-cli info: " + not_an_image + " is not an image: it holds 13 bytes, and an image at least 7344"},
  };
  for (const Case& c : cases) {
    test::ChildProcess cli(with_errors(c.args), environment());
    EXPECT_EQ(cli.wait(5s), c.exit_code) << c.line;
    EXPECT_EQ(cli.output(), c.line + "\n");
  }

  test::ChildProcess json(bare({"history", "--last", "abc", "--json"}), environment());
  EXPECT_EQ(json.wait(5s), 2);
  const auto error = nlohmann::json::parse(json.output());  // standard output holds the object alone
  EXPECT_EQ(error["event"], "error");
  EXPECT_EQ(error["command"], "history");
  EXPECT_EQ(error["text"], "--last: 'abc' is not a whole number (see 'kestrelon-cli history --help')");
}

TEST_F(CliCommandLineTest, SwitchWordsGoOnlyToCommandsThatRunTheController) {
  // interfaces opens endpoints but runs no transfer: the tuning switches mean nothing to it.
  test::ChildProcess interfaces(with_errors({"interfaces", "-rt", "200"}), environment());
  EXPECT_EQ(interfaces.wait(5s), 2);
  EXPECT_NE(interfaces.output().find("'-rt'"), std::string::npos) << interfaces.output();
  // A word after an option that takes a value is that value, even when it looks
  // like a switch: here "-rt" is the description, so nothing is missing and the
  // refusal comes from the file that exists already, before any network.
  const std::string out = (temp / "exists.krn").string();
  test::ChildProcess existing({"/bin/sh", "-c", "echo old > \"$1\"", "sh", out}, environment());
  ASSERT_EQ(existing.wait(5s), 0);
  test::ChildProcess create(with_errors({"create", "--client", "x", "--out", out, "--description", "-rt"}),
                            environment());
  EXPECT_EQ(create.wait(5s), 2);
  EXPECT_NE(create.output().find("exists already"), std::string::npos) << create.output();
}

}  // namespace
}  // namespace kestrelon
