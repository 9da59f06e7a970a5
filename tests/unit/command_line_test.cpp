// The command line and the decimal conversion its values use.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <climits>

#include "model/decimal_text.h"

namespace kestrelon {
namespace {

TEST(DecimalValue, LeadingBlanksSignDigitsAndNothingElse) {
  EXPECT_EQ(decimal_value("200"), 200);
  EXPECT_EQ(decimal_value("  -15"), -15);
  EXPECT_EQ(decimal_value("\t+7"), 7);
  EXPECT_EQ(decimal_value("12abc"), 12);
  EXPECT_EQ(decimal_value("abc"), 0);
  EXPECT_EQ(decimal_value(""), 0);
  EXPECT_EQ(decimal_value("- 5"), 0);
  EXPECT_EQ(decimal_value("99999999999999999999"), INT_MAX);
  EXPECT_EQ(decimal_value("-99999999999999999999"), INT_MIN);
}

struct Parsed {
  TuningValues tuning;
  int c = 0;
  bool nd = false;
  bool log = false;
};

Parsed parse(const std::vector<std::string>& words) {
  Parsed p;
  CShadowCommandLineInfo info(p.tuning);
  parse_command_line(words, info);
  p.c = info.c_value();
  p.nd = info.nd_flag();
  p.log = info.log_flag();
  return p;
}

TEST(CommandLine, DefaultsWithoutWords) {
  const Parsed p = parse({});
  EXPECT_EQ(p.tuning.window_full_timeouts, 50);
  EXPECT_EQ(p.tuning.ack_timeout_ms, 300);
  EXPECT_EQ(p.tuning.resend_delay_ms, 11);
  EXPECT_EQ(p.tuning.create_inactivity_ms, 7000);
  EXPECT_EQ(p.tuning.multicast_ttl, 1);
  EXPECT_EQ(p.tuning.fast_copy, 0) << "a Copy runs in the default mode";
  EXPECT_EQ(p.tuning.rate_cap_mbs, 0) << "and uncapped";
  EXPECT_EQ(p.c, 0);
  EXPECT_FALSE(p.nd);
  EXPECT_FALSE(p.log);
}

TEST(CommandLine, EachTuningSwitchWithEitherPrefix) {
  const Parsed p = parse({"-rc", "7", "/rt", "250", "-nt", "20", "/gut", "9000", "-mttl", "4"});
  EXPECT_EQ(p.tuning.window_full_timeouts, 7);
  EXPECT_EQ(p.tuning.ack_timeout_ms, 250);
  EXPECT_EQ(p.tuning.resend_delay_ms, 20);
  EXPECT_EQ(p.tuning.create_inactivity_ms, 9000);
  EXPECT_EQ(p.tuning.multicast_ttl, 4);
  const Parsed fast = parse({"-fast", "1", "/rate", "40"});
  EXPECT_EQ(fast.tuning.fast_copy, 1);
  EXPECT_EQ(fast.tuning.rate_cap_mbs, 40);
}

TEST(CommandLine, SwitchWithoutValueChangesNothing) {
  EXPECT_EQ(parse({"-mttl"}).tuning.multicast_ttl, 1);
}

TEST(CommandLine, PendingSwitchSurvivesItsValue) {
  EXPECT_EQ(parse({"-rt", "200", "400"}).tuning.ack_timeout_ms, 400);
}

TEST(CommandLine, UnknownSwitchKeepsThePendingOne) {
  const Parsed p = parse({"-rt", "200", "-xyz", "500"});
  EXPECT_EQ(p.tuning.ack_timeout_ms, 500);
}

TEST(CommandLine, SwitchNamesAreCaseSensitive) {
  EXPECT_EQ(parse({"-RT", "200"}).tuning.ack_timeout_ms, 300);  // nothing pending
  const Parsed p = parse({"-nt", "5", "-RT", "200"});  // goes to "nt"
  EXPECT_EQ(p.tuning.resend_delay_ms, 200);
  EXPECT_EQ(p.tuning.ack_timeout_ms, 300);
}

TEST(CommandLine, ValueWithoutSwitchAndFileNamesAreIgnored) {
  const Parsed p = parse({"image.krn", "12"});
  EXPECT_EQ(p.tuning.ack_timeout_ms, 300);
  EXPECT_EQ(p.tuning.multicast_ttl, 1);
}

TEST(CommandLine, CKeepsItsFirstNonZeroValue) {
  EXPECT_EQ(parse({"-c", "0", "5", "9"}).c, 5);
  EXPECT_EQ(parse({"-c", "3", "-c", "8"}).c, 3);
}

TEST(CommandLine, NdIsSetByAnyValueAndLogByFortyTwo) {
  EXPECT_TRUE(parse({"-nd", "0"}).nd);
  EXPECT_FALSE(parse({"-nd"}).nd);
  EXPECT_TRUE(parse({"-log", "42"}).log);
  EXPECT_FALSE(parse({"-log", "41"}).log);
  EXPECT_FALSE(parse({"-log", "42", "7"}).log);
}

TEST(CommandLine, ValuesUseTheDecimalConversion) {
  EXPECT_EQ(parse({"-rt", "  120ms"}).tuning.ack_timeout_ms, 120);
  EXPECT_EQ(parse({"-rt", "x"}).tuning.ack_timeout_ms, 0);
  // A negative number reads as a switch, which is unknown and leaves "rt" pending.
  EXPECT_EQ(parse({"-rt", "-5", "6"}).tuning.ack_timeout_ms, 6);
}

}  // namespace
}  // namespace kestrelon
