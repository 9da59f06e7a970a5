// Which picture a bitmap button shows when some of its pictures are missing.
#include "model/button_face.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

constexpr ButtonFaces kAll{true, true, true};
constexpr ButtonFaces kNoDown{false, true, true};
constexpr ButtonFaces kUpDownDisabled{true, false, true};

TEST(ButtonFace, EachStateHasItsPicture) {
  EXPECT_EQ(choose_button_face({}, kAll), ButtonFace::up);
  EXPECT_EQ(choose_button_face({.pressed = true}, kAll), ButtonFace::down);
  EXPECT_EQ(choose_button_face({.focused = true}, kAll), ButtonFace::focused);
  EXPECT_EQ(choose_button_face({.disabled = true}, kAll), ButtonFace::disabled);
}

TEST(ButtonFace, PressedWithoutDownPictureShowsUp) {
  EXPECT_EQ(choose_button_face({.pressed = true}, kNoDown), ButtonFace::up);
  EXPECT_EQ(choose_button_face({.pressed = true, .focused = true}, kNoDown), ButtonFace::focused);
}

TEST(ButtonFace, DisabledWithFocusShowsFocusedPictureOnlyWhenThereIsOne) {
  EXPECT_EQ(choose_button_face({.focused = true, .disabled = true}, kAll), ButtonFace::focused);
  EXPECT_EQ(choose_button_face({.focused = true, .disabled = true}, kUpDownDisabled), ButtonFace::disabled);
  EXPECT_EQ(choose_button_face({.disabled = true}, ButtonFaces{}), ButtonFace::up);
}

}  // namespace
}  // namespace kestrelon
