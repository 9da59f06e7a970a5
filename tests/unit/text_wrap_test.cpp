// Word wrapping for multi-line labels, with every character 5 pixels wide.
#include "model/text_wrap.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

int five_per_character(std::string_view s) { return 5 * static_cast<int>(utf8_length(s)); }

TEST(TextWrap, BreaksAtSpacesWithinTheWidth) {
  EXPECT_EQ(wrap_words("Version 2.11 of the Controller", 60, five_per_character),
            (std::vector<std::string>{"Version 2.11", "of the", "Controller"}));
}

TEST(TextWrap, LongWordStandsAloneAndLineBreaksAreKept) {
  EXPECT_EQ(wrap_words("a verylongwordindeed b\nc", 40, five_per_character),
            (std::vector<std::string>{"a", "verylongwordindeed", "b", "c"}));
  EXPECT_EQ(wrap_words("", 40, five_per_character), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace kestrelon
