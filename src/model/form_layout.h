#pragma once
// Where every pane and button of the main form goes for a given client size. The
// view records a few reference sizes once, then calls lay_out_form on each size
// change and moves its controls to the rectangles it gets back; the arithmetic
// lives here so it can be checked without a window.
namespace kestrelon {

struct LayoutRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  static LayoutRect at(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }
  friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

struct LayoutSize {
  int width = 0;
  int height = 0;
};

// Reference sizes recorded from the form when it is first shown, in client pixels.
struct FormMetrics {
  int gap = 11;                  // d: left edge of the "Image Files" frame
  int min_pane_height = 228;
  LayoutSize label{26, 13};      // the "Path:" static
  LayoutSize button{80, 32};     // W x Hb: every bitmap button of the form
  int logo_height = 75;
};

// Controls that are only moved keep their own size; the layout needs it to place them.
struct FormControlSizes {
  LayoutSize browse{75, 23};
  LayoutSize file_info{75, 23};
  LayoutSize client_info{75, 23};
  LayoutSize empty_static{305, 13};
  LayoutSize logo{251, 75};
};

int form_minimum_width(const FormMetrics& m);
int form_minimum_height(const FormMetrics& m);

struct FormLayout {
  int width = 0;        // CX: the client width raised to the minimum
  int height = 0;       // CY
  int left_pane = 0;    // L
  int pane_height = 0;  // H

  // Frames: "Image Files", "MiddleButtons", "Target Clients", "UpperStuff",
  // "LowerButtons", "BottomStuff".
  LayoutRect image_files, middle_buttons, target_clients, upper_stuff, lower_buttons, bottom_stuff;

  // Left pane.
  LayoutRect path_label, browse, path_button, image_list, file_info;
  // Middle column.
  LayoutRect copy, schedule, create;
  // Right pane.
  LayoutRect client_info, client_list;
  LayoutRect select_all, deselect_all, load_group, save_group, rediscover;
  // Bottom strip.
  LayoutRect empty_static, logo;
};

// (origin_x, origin_y) is where the form's origin marker currently sits (it moves
// when the form is scrolled); (cx, cy) is the new client size.
FormLayout lay_out_form(const FormMetrics& m, const FormControlSizes& sizes, int origin_x, int origin_y, int cx,
                        int cy);

}  // namespace kestrelon
