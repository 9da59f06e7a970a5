// Name plans: what a computer name and a pattern may be, the names a plan gives
// a group's members (given names first, the pattern in the order of the cards),
// and the plan file beside the groups as written by hand and by the store.
#include <gtest/gtest.h>

#include <fstream>

#include "app/name_plan_store.h"
#include "app/text_file.h"
#include "model/computer_name.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

MacAddress mac(const char* text) { return *MacAddress::parse(text); }

TEST(ComputerName, NamesAndPatternsFollowTheHostNameRules) {
  for (const std::string& good : {std::string("ROOM12-PC04"), std::string("a"), std::string("pc-1"), std::string(63, 'x')}) {
    EXPECT_EQ(computer_name_problem(good), "") << good;
  }
  EXPECT_NE(computer_name_problem(""), "");
  EXPECT_NE(computer_name_problem(std::string(64, 'x')), "") << "a label has 63 characters at most";
  EXPECT_NE(computer_name_problem("ROOM 12"), "");
  EXPECT_NE(computer_name_problem("pc.school"), "") << "a name, not a full domain name";
  EXPECT_NE(computer_name_problem("-pc"), "");
  EXPECT_NE(computer_name_problem("pc-"), "");
  EXPECT_NE(computer_name_problem("1234"), "") << "Windows refuses a name of digits alone";

  EXPECT_EQ(name_pattern_problem("ROOM12-PC{nn}"), "");
  EXPECT_EQ(expand_name_pattern("ROOM12-PC{nn}", 4), "ROOM12-PC04");
  EXPECT_EQ(expand_name_pattern("ROOM12-PC{nn}", 123), "ROOM12-PC123");
  EXPECT_EQ(expand_name_pattern("{n}-LAB", 7), "7-LAB");
  EXPECT_EQ(expand_name_pattern("PC{nnn}", 7), "PC007");
  EXPECT_NE(name_pattern_problem("ROOM12-PC"), "") << "no number";
  EXPECT_NE(name_pattern_problem("PC{nn}-{nn}"), "") << "two numbers";
  EXPECT_NE(name_pattern_problem("PC{n"), "");
  EXPECT_NE(name_pattern_problem("PC{x}"), "");
  EXPECT_NE(name_pattern_problem("ROOM 12-{nn}"), "") << "what surrounds the number is checked too";
  EXPECT_NE(name_pattern_problem(std::string(62, 'x') + "{nn}"), "") << "too long once numbered";
}

TEST(ComputerName, GivenNamesFirstThenThePatternInTheOrderOfTheCards) {
  NamePlan plan;
  plan.pattern = "ROOM12-PC{nn}";
  plan.names = {{mac("52:54:00:00:00:07"), "ROOM12-TEACHER"}};
  const std::vector<PlanMember> members = {
      {"pc-c", mac("52:54:00:00:00:30")},
      {"teacher", mac("52:54:00:00:00:07")},
      {"pc-a", mac("52:54:00:00:00:10")},
      {"new", std::nullopt},
      {"pc-b", mac("52:54:00:00:00:20")},
  };
  const auto planned = plan_names(plan, members);
  ASSERT_EQ(planned.size(), 5u);
  EXPECT_EQ(planned[0].computer_name, "ROOM12-PC03");
  EXPECT_EQ(planned[1].computer_name, "ROOM12-TEACHER");
  EXPECT_EQ(planned[2].computer_name, "ROOM12-PC01");
  EXPECT_EQ(planned[3].computer_name, "");
  EXPECT_NE(planned[3].why_none.find("MAC address is not known"), std::string::npos);
  EXPECT_EQ(planned[4].computer_name, "ROOM12-PC02");

  plan.first = 11;
  EXPECT_EQ(plan_names(plan, members)[2].computer_name, "ROOM12-PC11");
  plan.pattern.clear();
  const auto given_only = plan_names(plan, members);
  EXPECT_EQ(given_only[1].computer_name, "ROOM12-TEACHER");
  EXPECT_EQ(given_only[0].computer_name, "");
  EXPECT_NE(given_only[0].why_none, "");
}

class NamePlanStoreTest : public ::testing::Test {
 protected:
  test::TempFolder temp;
  NamePlanStore store = NamePlanStore::beside(temp / "kestreln.ini");
};

TEST_F(NamePlanStoreTest, PlansAreWrittenBesideTheGroupsAndReadBackAsWritten) {
  EXPECT_EQ(store.path(), temp / "names.ini");
  EXPECT_FALSE(store.read("Room12").plan) << "no file, no plan";
  std::ofstream(store.path()) << "; the rooms of the east wing\n[Lab A]\npattern=LABA-{nn}\n";
  NamePlan plan;
  plan.pattern = "ROOM12-PC{nn}";
  plan.first = 5;
  plan.names = {{mac("52-54-00-00-00-07"), "ROOM12-TEACHER"}};
  ASSERT_EQ(store.write("Room12", plan), "");
  const std::string text = read_text_file(store.path()).value_or("");
  EXPECT_NE(text.find("; the rooms of the east wing\n[Lab A]\npattern=LABA-{nn}\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Room12]\npattern=ROOM12-PC{nn}\nfirst=5\n52:54:00:00:00:07=ROOM12-TEACHER\n"),
            std::string::npos)
      << text;
  const auto read = store.read("room12");  // letter case aside, as group names
  ASSERT_TRUE(read.plan) << read.problem;
  EXPECT_EQ(read.plan->pattern, "ROOM12-PC{nn}");
  EXPECT_EQ(read.plan->first, 5);
  ASSERT_EQ(read.plan->names.size(), 1u);
  EXPECT_EQ(read.plan->names[0].second, "ROOM12-TEACHER");
  EXPECT_EQ(store.groups(), (std::vector<std::string>{"Lab A", "Room12"}));

  ASSERT_EQ(store.write("ROOM12", NamePlan{}), "") << "an empty plan removes it";
  EXPECT_FALSE(store.read("Room12").plan);
  EXPECT_TRUE(store.read("Lab A").plan);
}

TEST_F(NamePlanStoreTest, ABadLineMakesNoPlanAndSaysWhere) {
  for (const char* line : {"pattern=PC", "first=x", "52:54:00:00:00:07=bad name", "color=blue",
                           "52:54:00:00:00:07=A\n52-54-00-00-00-07=B"}) {
    std::ofstream(store.path()) << "[Room12]\n" << line << "\n";
    const auto read = store.read("Room12");
    EXPECT_FALSE(read.plan) << line;
    EXPECT_NE(read.problem.find("names.ini, [Room12]: "), std::string::npos) << read.problem;
  }
}

}  // namespace
}  // namespace kestrelon
