#include "model/form_layout.h"

#include <algorithm>

namespace kestrelon {
namespace {

// The narrowest the "Image Files" pane may become: three fifths of a middle column
// that holds three buttons side by side with their gaps.
int min_left_pane(const FormMetrics& m) { return (3 * (3 * m.button.width + 4 * m.gap)) / 5; }

}  // namespace

int form_minimum_width(const FormMetrics& m) {
  return 4 * m.button.width + 8 * m.gap + min_left_pane(m);
}

int form_minimum_height(const FormMetrics& m) { return m.min_pane_height + m.logo_height + 3 * m.gap; }

FormLayout lay_out_form(const FormMetrics& m, const FormControlSizes& sizes, int ox, int oy, int cx, int cy) {
  const int d = m.gap;
  const int w = m.button.width;
  const int hb = m.button.height;
  const int path_w = m.label.width;
  const int path_h = m.label.height;
  const int logo_h = m.logo_height;

  FormLayout f;
  f.width = std::max(cx, form_minimum_width(m));
  f.height = std::max(cy, form_minimum_height(m));
  f.left_pane = std::max(min_left_pane(m), (3 * (f.width - w - 4 * d)) / 8);
  f.pane_height = std::max(m.min_pane_height, f.height - logo_h - 3 * d);
  const int l = f.left_pane;
  const int h = f.pane_height;

  const LayoutRect a{ox + d, oy + d, ox + d + l, oy + d + h};
  const LayoutRect b{a.right + d, oy + d, a.right + d + w, oy + d + h};
  const LayoutRect r{b.right + d, oy + d, ox + f.width - d, oy + d + h};
  const LayoutRect e{ox + 2 * d, oy + d, ox + f.width - 2 * d, oy + 4 * d + path_h};
  const LayoutRect lower{ox + 2 * d, a.bottom - 2 * d - 2 * hb, ox + f.width - 2 * d, a.bottom - d};
  const LayoutRect bottom{ox + d, oy + f.height - d - logo_h, ox + f.width - d, oy + f.height - d};
  f.image_files = a;
  f.middle_buttons = b;
  f.target_clients = r;
  f.upper_stuff = e;
  f.lower_buttons = lower;
  f.bottom_stuff = bottom;

  f.path_label = LayoutRect::at(ox + 2 * d, oy + 3 * d, path_w, path_h);
  f.browse = LayoutRect::at(ox + l - sizes.browse.width, f.path_label.top + path_h / 2 - sizes.browse.height / 2,
                            sizes.browse.width, sizes.browse.height);
  f.path_button = LayoutRect::at(f.path_label.right + d / 2, f.path_label.top,
                                 l - w - path_w - 2 * d - 2 * (d / 2), path_h);
  f.image_list = LayoutRect::at(ox + 2 * d, e.bottom, l - 2 * d, h - 2 * hb - 6 * d - path_h);
  // Centred on half the pane's right edge measured from the origin, so the button
  // follows the other controls when the form is scrolled.
  f.file_info = LayoutRect::at(ox + (a.right - ox) / 2 - sizes.file_info.width / 2, a.bottom - 2 * d - 2 * hb,
                               sizes.file_info.width, sizes.file_info.height);

  f.copy = LayoutRect::at(b.left, a.top + 3 * d, w, hb);
  f.schedule = LayoutRect::at(b.left, a.top + 4 * d + hb, w, hb);
  f.create = LayoutRect::at(b.left, a.top + 5 * d + 2 * hb, w, hb);

  f.client_info = LayoutRect::at(e.right - sizes.client_info.width, e.bottom - sizes.client_info.height - d / 2,
                                 sizes.client_info.width, sizes.client_info.height);
  f.client_list = LayoutRect::at(r.left + d, e.bottom, r.right - r.left - 2 * d, lower.top - e.bottom - d);
  const int left_x = r.left + d;
  const int middle_x = (r.left + r.right - w) / 2;
  const int right_x = r.right - w - d;
  const int top_y = lower.top;
  const int bottom_y = lower.bottom - hb;
  f.select_all = LayoutRect::at(left_x, top_y, w, hb);
  f.deselect_all = LayoutRect::at(left_x, bottom_y, w, hb);
  f.load_group = LayoutRect::at(middle_x, top_y, w, hb);
  f.save_group = LayoutRect::at(middle_x, bottom_y, w, hb);
  f.rediscover = LayoutRect::at(right_x, top_y, w, hb);

  f.empty_static = LayoutRect::at(bottom.left, bottom.bottom - sizes.empty_static.height, sizes.empty_static.width,
                                  sizes.empty_static.height);
  f.logo = LayoutRect::at(bottom.right - sizes.logo.width, bottom.bottom - sizes.logo.height, sizes.logo.width,
                          sizes.logo.height);
  return f;
}

}  // namespace kestrelon
