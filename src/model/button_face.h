#pragma once
// Which of a bitmap button's pictures shows for its current state.
namespace kestrelon {

enum class ButtonFace { up, down, focused, disabled };

struct ButtonState {
  bool pressed = false;
  bool focused = false;
  bool disabled = false;
};

// The pictures the button has besides the up picture, which it always has.
struct ButtonFaces {
  bool down = false;
  bool focused = false;
  bool disabled = false;
};

// Pressed wins over focused, focused over disabled; a missing picture falls
// through to the next rule and finally to the up picture.
constexpr ButtonFace choose_button_face(ButtonState s, ButtonFaces have) {
  if (s.pressed && have.down) return ButtonFace::down;
  if (s.focused && have.focused) return ButtonFace::focused;
  if (s.disabled && have.disabled) return ButtonFace::disabled;
  return ButtonFace::up;
}

}  // namespace kestrelon
