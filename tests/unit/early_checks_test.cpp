// What kestrelon-cli checks before it opens the network: the Controller's switch
// words read strictly, the image to send, and where a new image is to go.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/command_line.h"
#include "app/switch_check.h"
#include "commands/transfer_checks.h"
#include "support/image_files.h"

namespace kestrelon {
namespace {

TEST(SwitchWordsCheck, WellFormedWordsPassAndReadAsTheDesktopProgramReadsThem) {
  const std::vector<std::string> words{"-rt", "200", "/mttl", "4", "-rc", "1", "-nt", "0", "-gut", "3600000",
                                       "-c", "-3", "-nd", "1", "-log", "42"};
  EXPECT_EQ(switch_words_problem(words), "");
  TuningValues tuning;
  CShadowCommandLineInfo info(tuning);
  parse_command_line(words, info);
  EXPECT_EQ(tuning.ack_timeout_ms, 200);
  EXPECT_EQ(tuning.multicast_ttl, 4);
  EXPECT_EQ(tuning.window_full_timeouts, 1);
  EXPECT_EQ(tuning.resend_delay_ms, 0);
  EXPECT_EQ(tuning.create_inactivity_ms, 3600000);
  EXPECT_TRUE(info.log_flag());
  EXPECT_EQ(switch_words_problem({}), "");
}

TEST(SwitchWordsCheck, EachMistakeIsNamed) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      // The desktop program reads "abc" as 0, and "-5" as an unknown switch.
      {{"-mttl", "abc"}, "-mttl needs a whole number from 0 to 255, not 'abc'"},
      {{"-rt", "-5"}, "-rt needs a whole number from 1 to 600000, not '-5'"},
      {{"-rt", "300", "-mttl", "256"}, "-mttl needs a whole number from 0 to 255, not '256'"},
      {{"-rc", "0"}, "-rc needs a whole number from 1 to 100000, not '0'"},
      {{"-gut", "7e3"}, "not '7e3'"},
      {{"-nt", ""}, "-nt needs a whole number from 0 to 60000, not ''"},
      {{"-nt", " 5"}, "not ' 5'"},
      {{"-rt"}, "-rt needs a whole number from 1 to 600000 after it"},
      {{"-RT", "300"}, "'-RT' is not one of the Controller's switches"},
      {{"rt", "300"}, "'rt' is not one of the Controller's switches"},
      {{"-c", "99999999999"}, "not '99999999999'"},
  };
  for (const auto& [words, problem] : cases) {
    const std::string got = switch_words_problem(words);
    EXPECT_NE(got.find(problem), std::string::npos) << words[0] << ": got '" << got << "'";
  }
}

class TransferChecksTest : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(TransferChecksTest, AnImageMustOpenAndHoldAReadableSummary) {
  const std::string good = dir.file("good.krn");
  test::write_file(good, test::image_bytes({.length = 9000, .partition_count = 2, .data_sectors = {1, 2}}));
  EXPECT_EQ(image_problem(good), "");

  EXPECT_NE(image_problem(dir.file("missing.krn")).find("cannot open " + dir.file("missing.krn") +
                                                         ": No such file or directory"),
            std::string::npos);
  EXPECT_NE(image_problem(dir.path()).find("Is a directory"), std::string::npos) << image_problem(dir.path());
  const std::string short_file = dir.file("short.krn");
  test::write_file(short_file, std::vector<std::uint8_t>(7343, 0));
  EXPECT_NE(image_problem(short_file).find("too short to be an image"), std::string::npos);
  const std::string too_many = dir.file("many.krn");
  auto bytes = test::image_bytes({.length = 9000});
  bytes[5513] = 13;
  test::write_file(too_many, bytes);
  EXPECT_NE(image_problem(too_many).find("claims 13 partitions"), std::string::npos);
  EXPECT_NE(image_problem("/dev/null").find("is not a file"), std::string::npos) << image_problem("/dev/null");
}

TEST_F(TransferChecksTest, ANewImageNeedsAWritableFolderAndLeaveToReplace) {
  const std::string fresh = dir.file("new.krn");
  EXPECT_EQ(output_problem(fresh, false), "");
  EXPECT_EQ(output_problem("relative-name.krn", false), "") << "the working folder";

  const std::string existing = dir.file("old.krn");
  test::write_file(existing, {1, 2, 3});
  EXPECT_EQ(output_problem(existing, false), existing + " exists already");
  EXPECT_EQ(output_problem(existing, true), "");

  EXPECT_EQ(output_problem(dir.path(), true), dir.path() + " is a folder");
  EXPECT_EQ(output_problem(dir.file("gone") + "/x.krn", false), "the folder " + dir.file("gone") + " does not exist");
  EXPECT_EQ(output_problem(existing + "/x.krn", false), "the folder " + existing + " does not exist")
      << "a file where the folder should be";
  if (::geteuid() != 0) {  // root may write anywhere
    const std::string locked = dir.file("locked");
    std::filesystem::create_directory(locked);
    ::chmod(locked.c_str(), 0500);
    EXPECT_NE(output_problem(locked + "/x.krn", false).find("cannot write in " + locked), std::string::npos);
  }
}

}  // namespace
}  // namespace kestrelon
