#include "vesk_ui/context_menu.hpp"

#include <gtest/gtest.h>


namespace {

using vesk_ui::ContextMenu;
using vesk_ui::Key;
using vesk_ui::Point;
using vesk_ui::Rect;

ContextMenu channel_menu() {
  ContextMenu m;
  m.push("Delete", true, 78);
  m.push("Archive / unarchive", false, 36);
  m.push("Rename", false, 49);
  m.push("Move up", false, 15);
  m.push("Move down", false, 16);
  return m;
}

vesk_ui::KeyPressEvent key(Key k) {
  vesk_ui::KeyPressEvent e;
  e.key = k;
  return e;
}

vesk_ui::PointerPressEvent press(Point p,
                                 vesk_ui::PointerButton b = vesk_ui::PointerButton::Primary) {
  vesk_ui::PointerPressEvent e;
  e.position = p;
  e.button = b;
  return e;
}

TEST(ContextMenu, KeyboardNavigationChoosesAnItem) {
  struct Case {
    std::vector<Key> keys;
    std::optional<std::size_t> chosen;
    bool open_after;
  };
  const Case cases[] = {
      {{Key::Down, Key::Enter}, 0, false},
      {{Key::Down, Key::Down, Key::Down, Key::Enter}, 2, false},
      {{Key::Up, Key::Enter}, 4, false},              // Up first wraps to the last
      {{Key::Down, Key::Up, Key::Enter}, 4, false},   // and Up from the first too
      {{Key::End, Key::Down, Key::Space}, 0, false},  // Down from the last wraps
      {{Key::Down, Key::Down, Key::Home, Key::Enter}, 0, false},
      {{Key::Enter}, std::nullopt, true},  // nothing highlighted yet
      {{Key::Down, Key::Escape}, std::nullopt, false},
      {{Key::Character}, std::nullopt, true},  // swallowed, still open
  };
  for (const Case& c : cases) {
    ContextMenu m = channel_menu();
    m.open_at(Point{100, 100});
    std::optional<std::size_t> chosen;
    for (Key k : c.keys) {
      auto out = m.handle_event(key(k));
      EXPECT_TRUE(out.consumed);
      if (out.chosen) chosen = out.chosen;
    }
    EXPECT_EQ(chosen, c.chosen) << c.keys.size();
    EXPECT_EQ(m.is_open(), c.open_after) << c.keys.size();
  }
}

TEST(ContextMenu, PointerHoversChoosesAndDismisses) {
  ContextMenu m = channel_menu();
  m.open_at(Point{50, 60});
  const Point third = m.item_rect(2).center();
  auto moved = m.handle_event(vesk_ui::PointerMoveEvent{third, {}});
  EXPECT_TRUE(moved.consumed);
  EXPECT_EQ(m.highlighted(), 2u);
  EXPECT_EQ(m.handle_event(press(third, vesk_ui::PointerButton::Secondary)).chosen, std::nullopt);
  auto out = m.handle_event(press(Point{third.x * 2, third.y * 2}), 2.0);  // physical pixels
  EXPECT_EQ(out.chosen, 2u);
  EXPECT_FALSE(m.is_open());
  EXPECT_FALSE(m.handle_event(key(Key::Enter)).consumed) << "a closed menu takes nothing";

  m.open_at(Point{50, 60});
  out = m.handle_event(press(Point{5, 5}));
  EXPECT_TRUE(out.consumed) << "the dismissing press does not reach what lies below";
  EXPECT_FALSE(out.chosen);
  EXPECT_FALSE(m.is_open());
}

TEST(ContextMenu, OpenAtClampedStaysInsideTheBounds) {
  const Rect bounds = Rect::from_xywh(0, 0, 800, 600);
  const Point points[] = {{10, 10}, {790, 10}, {10, 590}, {799, 599}, {400, 300}, {-50, -50}};
  for (Point p : points) {
    ContextMenu m = channel_menu();
    m.open_at_clamped(p, bounds);
    const Rect r = m.rect();
    EXPECT_GE(r.x0, bounds.x0) << p.x << "," << p.y;
    EXPECT_GE(r.y0, bounds.y0) << p.x << "," << p.y;
    EXPECT_LE(r.x1, bounds.x1) << p.x << "," << p.y;
    EXPECT_LE(r.y1, bounds.y1) << p.x << "," << p.y;
  }
  ContextMenu m = channel_menu();
  m.open_at_clamped(Point{790, 590}, bounds);
  EXPECT_DOUBLE_EQ(m.rect().x1, 790) << "flipped to open left of the pointer";
  EXPECT_DOUBLE_EQ(m.rect().y1, 590) << "and above it";
  m.open_at(Point{790, 590});
  EXPECT_EQ(m.rect().origin(), (Point{790, 590})) << "open_at does not clamp";
}

TEST(ContextMenu, SemanticNamesAndAccessibility) {
  ContextMenu m = channel_menu();
  EXPECT_EQ(m.perform_semantic_action("context-menu:item:0"), std::nullopt) << "closed";
  m.open_at(Point{0, 0});
  const auto node = m.accessibility();
  EXPECT_EQ(node.role, "menu");
  ASSERT_EQ(node.children.size(), 5u);
  EXPECT_EQ(node.children[0].label, "Delete");
  EXPECT_EQ(node.children[0].role, "menuitem");
  EXPECT_EQ(node.children[2].name, "context-menu:item:2");
  EXPECT_EQ(node.children[2].rect, m.item_rect(2));
  const std::pair<const char*, std::optional<std::size_t>> cases[] = {
      {"context-menu:item:5", std::nullopt},    {"context-menu:item:-1", std::nullopt},
      {"context-menu:item:2x", std::nullopt},   {"chat.send", std::nullopt},
      {"context-menu:item:Nope", std::nullopt}, {"context-menu:item:Rename", 2},
  };
  for (const auto& [name, want] : cases) EXPECT_EQ(m.perform_semantic_action(name), want) << name;
  EXPECT_FALSE(m.is_open()) << "choosing closes";
  m.open_at(Point{0, 0});
  EXPECT_EQ(m.perform_semantic_action("context-menu:item:4"), 4u);
}

}  // namespace
