#pragma once
// Dialog templates are written in dialog units. The forms convert them with the
// base units of the classic 8-point dialog font (6 x 13 pixels), so every form has
// the same pixel geometry on every desktop, whatever its theme font.
namespace kestrelon {

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
};

constexpr int dialog_units_to_x(int units) { return (units * 6 + 2) / 4; }
constexpr int dialog_units_to_y(int units) { return (units * 13 + 4) / 8; }

constexpr PixelRect dialog_rect(int x, int y, int w, int h) {
  return {dialog_units_to_x(x), dialog_units_to_y(y), dialog_units_to_x(w), dialog_units_to_y(h)};
}

}  // namespace kestrelon
