#include "vesk_ui/layout.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using vesk_ui::Axis;
using vesk_ui::LayoutNode;
using vesk_ui::Rect;

TEST(Layout, FixedAndFlexChildrenShareTheParent) {
  LayoutNode root = LayoutNode::fill("root");
  root.axis = Axis::Row;
  root.padding = 10;
  root.gap = 5;
  root.children.push_back(LayoutNode::fixed("left", 100));
  LayoutNode a = LayoutNode::fill("a");
  a.flex = 1;
  LayoutNode b = LayoutNode::fill("b");
  b.flex = 3;
  root.children.push_back(a);
  root.children.push_back(b);

  auto r = vesk_ui::solve_layout(root, Rect::from_xywh(0, 0, 530, 200));
  ASSERT_TRUE(r.ok()) << r.error();
  EXPECT_EQ(r->root(), Rect::from_xywh(0, 0, 530, 200));
  EXPECT_EQ(*r->rect("left"), (Rect{10, 10, 110, 190}));
  // 510 inner - 100 fixed - 10 gaps = 400 spare, shared 1:3.
  EXPECT_EQ(*r->rect("a"), (Rect{115, 10, 215, 190}));
  EXPECT_EQ(*r->rect("b"), (Rect{220, 10, 520, 190}));
  EXPECT_FALSE(r->rect("missing").has_value());
}

TEST(Layout, OverflowingFixedChildrenLeaveFlexibleOnesEmpty) {
  LayoutNode root = LayoutNode::fill("root");
  root.children.push_back(LayoutNode::fixed("top", 300));
  root.children.push_back(LayoutNode::fill("rest"));
  auto r = vesk_ui::solve_layout(root, Rect::from_xywh(0, 0, 100, 200));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->rect("top")->height(), 300);
  EXPECT_EQ(r->rect("rest")->height(), 0);
}

TEST(Layout, InvalidTreesAndAreasAreRefusedWithTheirReason) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    LayoutNode tree;
    Rect area;
    const char* reason;
  };
  LayoutNode neg = LayoutNode::fill("root");
  neg.children.push_back(LayoutNode::fixed("bar", -1));
  LayoutNode nan_flex = LayoutNode::fill("root");
  nan_flex.children.push_back(LayoutNode::fill("x"));
  nan_flex.children.back().flex = nan;
  LayoutNode dup = LayoutNode::fill("root");
  dup.children.push_back(LayoutNode::fill("root"));
  LayoutNode bad_gap = LayoutNode::fill("root");
  bad_gap.gap = -2;
  const Case cases[] = {
      {neg, Rect::from_xywh(0, 0, 10, 10), "layout node \"bar\" has an invalid length"},
      {nan_flex, Rect::from_xywh(0, 0, 10, 10), "layout node \"x\" has an invalid flex weight"},
      {dup, Rect::from_xywh(0, 0, 10, 10), "layout id \"root\" is used twice"},
      {bad_gap, Rect::from_xywh(0, 0, 10, 10), "layout node \"root\" has an invalid gap"},
      {LayoutNode::fill(), Rect::from_xywh(0, 0, 0, 10), "the window has no area to lay out in"},
      {LayoutNode::fill(), Rect{0, 0, nan, 10}, "the window has no area to lay out in"},
  };
  for (const auto& c : cases) {
    auto r = vesk_ui::solve_layout(c.tree, c.area);
    ASSERT_FALSE(r.ok()) << c.reason;
    EXPECT_EQ(r.error(), c.reason);
  }
}

}  // namespace
