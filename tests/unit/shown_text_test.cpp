// Names as a terminal or a window shows them: controls and direction marks
// escaped, every script as it is.
#include "model/shown_text.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

TEST(ShownText, ControlsAndDirectionMarksAreEscapedAndEveryScriptShown) {
  EXPECT_EQ(shown_text("LAB-PC-07"), "LAB-PC-07");
  EXPECT_EQ(shown_text("Salle 3 \xC3\xA9t\xC3\xA9 \xE6\x95\x99\xE5\xAE\xA4 \xF0\x9F\x96\xA5"),
            "Salle 3 \xC3\xA9t\xC3\xA9 \xE6\x95\x99\xE5\xAE\xA4 \xF0\x9F\x96\xA5");
  EXPECT_EQ(shown_text("pc\x1b[2Jx\a\t\n\x7f"), "pc\\x1b[2Jx\\x07\\x09\\x0a\\x7f");
  EXPECT_EQ(shown_text(std::string("a\0b", 3)), "a\\x00b");
  // A right-to-left override would show "lab.exe" for these bytes.
  EXPECT_EQ(shown_text("lab\xE2\x80\xAE" "exe.krn"), "lab\\u202eexe.krn");
  EXPECT_EQ(shown_text("\xE2\x81\xA6" "x\xE2\x81\xA9\xE2\x80\x8F\xD8\x9C\xC2\x85\xE2\x80\xA8"),
            "\\u2066x\\u2069\\u200f\\u061c\\u0085\\u2028");
  // Bytes that are not UTF-8: a stray continuation, a cut sequence, overlong and
  // surrogate forms.
  EXPECT_EQ(shown_text("\x80" "x\xE2\x80"), "\\x80x\\xe2\\x80");
  EXPECT_EQ(shown_text("\xC0\xAF\xED\xA0\x80"), "\\xc0\\xaf\\xed\\xa0\\x80");
}

}  // namespace
}  // namespace kestrelon
