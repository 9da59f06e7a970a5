// The INI text behind the settings and the groups file.
#include "app/ini_document.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

using Spacing = IniDocument::ValueSpacing;

TEST(IniDocument, ReadsSectionsKeysAndValues) {
  const auto doc = IniDocument::parse("; comment\r\n[Lab A]\r\n0=PC-01,192.168.001.020,2,0,2047\r\n"
                                      " Key = spaced value \r\n[Other]\nx=1\n",
                                      Spacing::trimmed);
  EXPECT_EQ(doc.section_names(), (std::vector<std::string>{"Lab A", "Other"}));
  EXPECT_EQ(doc.value("Lab A", "0"), "PC-01,192.168.001.020,2,0,2047");
  EXPECT_EQ(doc.value("lab a", "KEY"), "spaced value");
  EXPECT_EQ(doc.value("Other", "x"), "1");
  EXPECT_FALSE(doc.value("Other", "0"));
  EXPECT_FALSE(doc.value("Missing", "x"));
}

TEST(IniDocument, VerbatimValuesKeepEveryByte) {
  const auto doc = IniDocument::parse("[S]\nPath= /data/images \n", Spacing::verbatim);
  EXPECT_EQ(doc.value("S", "Path"), " /data/images ");
}

TEST(IniDocument, CommentsAndKeysOutsideSectionsAreNotValues) {
  const auto doc = IniDocument::parse("stray=1\n[S]\n;0=commented\n#1=too\nno equals sign\n", Spacing::trimmed);
  EXPECT_FALSE(doc.value("S", ";0"));
  EXPECT_FALSE(doc.value("S", "0"));
  EXPECT_FALSE(doc.value("S", "stray"));
}

TEST(IniDocument, WritingKeepsEveryOtherLine) {
  const std::string text = "\xEF\xBB\xBF; groups\n[A]\n0=x\n\n[B]\n0=y\n";
  auto doc = IniDocument::parse(text, Spacing::trimmed);
  ASSERT_TRUE(doc.set_value("a", "1", "new, with comma"));
  ASSERT_TRUE(doc.set_value("B", "0", "z"));
  ASSERT_TRUE(doc.set_value("C", "0", "w"));
  EXPECT_EQ(doc.text(), "\xEF\xBB\xBF; groups\n[A]\n0=x\n1=new, with comma\n\n[B]\n0=z\n[C]\n0=w\n");
}

TEST(IniDocument, RemoveSectionTakesEverySectionOfThatName) {
  auto doc = IniDocument::parse("[A]\n0=1\n[B]\n0=2\n[a]\n0=3\n", Spacing::trimmed);
  EXPECT_TRUE(doc.remove_section("A"));
  EXPECT_EQ(doc.text(), "[B]\n0=2\n");
  EXPECT_FALSE(doc.remove_section("A"));
}

TEST(IniDocument, RefusesWhatAFileCannotHold) {
  auto doc = IniDocument::parse("", Spacing::trimmed);
  EXPECT_FALSE(doc.set_value("a]b", "0", "v"));
  EXPECT_FALSE(doc.set_value("  ", "0", "v"));
  EXPECT_FALSE(doc.set_value("S", "k=v", "v"));
  EXPECT_FALSE(doc.set_value("S", ";k", "v"));
  EXPECT_FALSE(doc.set_value("S", "[k", "v"));
  EXPECT_FALSE(doc.set_value("S", "k", "two\nlines"));
  EXPECT_FALSE(doc.set_value("S\r", "k", "v"));
  EXPECT_FALSE(doc.set_value("S", "k", std::string("nul\0byte", 8)));
  EXPECT_EQ(doc.text(), "");
  EXPECT_TRUE(doc.set_value("S", "k", "=;#[] all fine inside a value"));
  EXPECT_EQ(doc.value("S", "k"), "=;#[] all fine inside a value");
}

}  // namespace
}  // namespace kestrelon
