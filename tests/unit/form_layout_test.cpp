// The main form's placement rules with the reference sizes of the shipped form:
// gap 11, buttons 80 x 32, a 75-pixel logo.
#include "model/form_layout.h"

#include <gtest/gtest.h>

namespace kestrelon {
namespace {

const FormMetrics kMetrics{};  // d = 11, W = 80, Hb = 32, label 26 x 13, logo 75
const FormControlSizes kSizes{};

TEST(FormLayout, MinimumSizeIs578By336) {
  EXPECT_EQ(form_minimum_width(kMetrics), 578);
  EXPECT_EQ(form_minimum_height(kMetrics), 336);
}

TEST(FormLayout, LeftPaneGrowsByThreeEighthsOfTheExtraWidth) {
  const std::pair<int, int> width_to_pane[] = {{300, 170}, {578, 170}, {579, 170}, {580, 171},
                                               {586, 173}, {800, 253}, {1024, 337}};
  for (auto [cx, pane] : width_to_pane) {
    EXPECT_EQ(lay_out_form(kMetrics, kSizes, 0, 0, cx, 400).left_pane, pane) << "client width " << cx;
  }
}

TEST(FormLayout, SmallWindowKeepsTheMinimumAndPaneHeightNeverBelow228) {
  const FormLayout small = lay_out_form(kMetrics, kSizes, 0, 0, 200, 100);
  EXPECT_EQ(small.width, 578);
  EXPECT_EQ(small.height, 336);
  EXPECT_EQ(small.pane_height, 228);
  EXPECT_EQ(small.image_files.height(), 228);
  EXPECT_EQ(lay_out_form(kMetrics, kSizes, 0, 0, 800, 600).pane_height, 600 - 75 - 33);
}

TEST(FormLayout, PanesAndColumnSitSideBySideWithGaps) {
  const FormLayout f = lay_out_form(kMetrics, kSizes, 0, 0, 800, 600);
  EXPECT_EQ(f.image_files, (LayoutRect{11, 11, 11 + 253, 11 + 492}));
  EXPECT_EQ(f.middle_buttons, (LayoutRect{275, 11, 355, 503}));
  EXPECT_EQ(f.target_clients, (LayoutRect{366, 11, 789, 503}));
  EXPECT_EQ(f.upper_stuff, (LayoutRect{22, 11, 778, 44 + 13}));
  EXPECT_EQ(f.lower_buttons, (LayoutRect{22, 503 - 22 - 64, 778, 492}));
  EXPECT_EQ(f.bottom_stuff, (LayoutRect{11, 600 - 11 - 75, 789, 589}));
}

TEST(FormLayout, ControlsOfEachPane) {
  const FormLayout f = lay_out_form(kMetrics, kSizes, 0, 0, 800, 600);
  // Left pane: label, Browse right-aligned to the pane width and centred on the label.
  EXPECT_EQ(f.path_label, LayoutRect::at(22, 33, 26, 13));
  EXPECT_EQ(f.browse, LayoutRect::at(253 - 75, 33 + 6 - 11, 75, 23));
  EXPECT_EQ(f.path_button, LayoutRect::at(48 + 5, 33, 253 - 80 - 26 - 22 - 10, 13));
  EXPECT_EQ(f.image_list, LayoutRect::at(22, 57, 253 - 22, 492 - 64 - 66 - 13));
  EXPECT_EQ(f.file_info, LayoutRect::at(264 / 2 - 37, 503 - 22 - 64, 75, 23));
  // Middle column, one gap between buttons.
  EXPECT_EQ(f.copy, LayoutRect::at(275, 44, 80, 32));
  EXPECT_EQ(f.schedule, LayoutRect::at(275, 87, 80, 32));
  EXPECT_EQ(f.create, LayoutRect::at(275, 130, 80, 32));
  // Right pane.
  EXPECT_EQ(f.client_info, LayoutRect::at(778 - 75, 57 - 23 - 5, 75, 23));
  EXPECT_EQ(f.client_list, LayoutRect::at(377, 57, 789 - 366 - 22, 417 - 57 - 11));
  EXPECT_EQ(f.select_all, LayoutRect::at(377, 417, 80, 32));
  EXPECT_EQ(f.deselect_all, LayoutRect::at(377, 492 - 32, 80, 32));
  EXPECT_EQ(f.load_group, LayoutRect::at((366 + 789 - 80) / 2, 417, 80, 32));
  EXPECT_EQ(f.save_group, LayoutRect::at((366 + 789 - 80) / 2, 460, 80, 32));
  EXPECT_EQ(f.rediscover, LayoutRect::at(789 - 80 - 11, 417, 80, 32));
  // Bottom strip corners.
  EXPECT_EQ(f.empty_static, LayoutRect::at(11, 589 - 13, 305, 13));
  EXPECT_EQ(f.logo, LayoutRect::at(789 - 251, 589 - 75, 251, 75));
}

TEST(FormLayout, ScrollingMovesEveryRectangleWithTheOrigin) {
  const FormLayout home = lay_out_form(kMetrics, kSizes, 0, 0, 400, 200);
  const FormLayout scrolled = lay_out_form(kMetrics, kSizes, -40, -30, 400, 200);
  const LayoutRect FormLayout::*all[] = {
      &FormLayout::image_files, &FormLayout::middle_buttons, &FormLayout::target_clients, &FormLayout::upper_stuff,
      &FormLayout::lower_buttons, &FormLayout::bottom_stuff, &FormLayout::path_label, &FormLayout::browse,
      &FormLayout::path_button, &FormLayout::image_list, &FormLayout::file_info, &FormLayout::copy,
      &FormLayout::schedule, &FormLayout::create, &FormLayout::client_info, &FormLayout::client_list,
      &FormLayout::select_all, &FormLayout::deselect_all, &FormLayout::load_group, &FormLayout::save_group, &FormLayout::rediscover, &FormLayout::empty_static,
      &FormLayout::logo};
  for (auto member : all) {
    EXPECT_EQ((scrolled.*member).left, (home.*member).left - 40);
    EXPECT_EQ((scrolled.*member).top, (home.*member).top - 30);
    EXPECT_EQ((scrolled.*member).width(), (home.*member).width());
    EXPECT_EQ((scrolled.*member).height(), (home.*member).height());
  }
}

TEST(FormLayout, OtherReferenceSizesChangeTheMinimum) {
  FormMetrics big = kMetrics;
  big.gap = 13;
  big.button = {90, 36};
  big.logo_height = 60;
  EXPECT_EQ(form_minimum_width(big), 4 * 90 + 8 * 13 + (3 * (3 * 90 + 4 * 13)) / 5);
  EXPECT_EQ(form_minimum_height(big), 228 + 60 + 39);
}

}  // namespace
}  // namespace kestrelon
