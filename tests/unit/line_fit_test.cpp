// A status line fitted to a terminal's width.
#include "model/line_fit.h"

#include <gtest/gtest.h>

#include "model/client_row_text.h"

namespace kestrelon {
namespace {

TEST(LineFit, TrailingFieldsGoFirstAndTheLastColumnStaysFree) {
  const std::vector<std::string> fields{"43%", "12.0 of 28.0 MB", "24.3 MB/s", "left 00:00:12", "acks 1234"};
  EXPECT_EQ(fit_fields(fields, 200), "43%  12.0 of 28.0 MB  24.3 MB/s  left 00:00:12  acks 1234");
  const std::string whole = fit_fields(fields, 200);
  EXPECT_EQ(fit_fields(fields, static_cast<int>(whole.size()) + 1), whole) << "exactly as wide as allowed";
  EXPECT_EQ(fit_fields(fields, static_cast<int>(whole.size())), "43%  12.0 of 28.0 MB  24.3 MB/s  left 00:00:12");
  EXPECT_EQ(fit_fields(fields, 21), "43%  12.0 of 28.0 MB") << "a field is whole or left out";
  EXPECT_EQ(fit_fields(fields, 20), "43%");
  // A field that does not fit ends the line, even when a later one would.
  EXPECT_EQ(fit_fields({"a", "a very long field", "b"}, 10), "a");
}

TEST(LineFit, EmptyFieldsAreSkippedAndAFirstFieldTooWideIsCutOnACharacter) {
  EXPECT_EQ(fit_fields({"", "50%", "", "x"}, 80), "50%  x");
  // "Ünïcode" is 7 characters in 9 bytes.
  EXPECT_EQ(fit_fields({"\xC3\x9Cn\xC3\xAF" "code-name"}, 5), "\xC3\x9Cn\xC3\xAF" "c");
  EXPECT_EQ(character_count(fit_fields({std::string(300, 'x')}, 80)), 79);
  EXPECT_EQ(fit_fields({"abc"}, 1), "");
}

}  // namespace
}  // namespace kestrelon
