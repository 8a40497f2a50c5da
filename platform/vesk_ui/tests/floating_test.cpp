#include "vesk_ui/floating.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include <limits>

#include "vesk_ui/floating_window.hpp"

namespace {

using vesk_ui::Instant;
using vesk_ui::Millis;
using vesk_ui::Point;
using vesk_ui::Rect;
using namespace vesk_ui::floating_surface;

const Rect kWindow = Rect::from_xywh(0, 0, 1280, 800);
const Rect kFrame = Rect::from_xywh(100, 100, 300, 200);

AttachedChrome call_chrome() {
  AttachedChrome c;
  c.inset_left = 12;
  c.inset_top = 40;
  c.inset_right = 12;
  c.inset_bottom = 48;
  c.anchor_x = 0.505;
  c.anchor_y = 0.30;
  c.width_fraction = 0.25;
  c.height_fraction = 0.23;
  return c;
}

TEST(FloatingPlacement, AttachedRectFollowsChromeAndStaysInside) {
  FloatingPlacement p;
  EXPECT_EQ(p.rect(kWindow, kFrame), kFrame) << "no chrome: the default frame";
  p.set_attached_chrome(call_chrome());
  const Rect r = p.rect(kWindow, kFrame);
  EXPECT_DOUBLE_EQ(r.width(), 320);
  EXPECT_DOUBLE_EQ(r.height(), 184);
  EXPECT_DOUBLE_EQ(r.center().x, 1280 * 0.505);
  EXPECT_DOUBLE_EQ(r.center().y, 240);
  // A small window: minimum size, chrome kept inside where it fits.
  const Rect small = Rect::from_xywh(0, 0, 300, 200);
  const Rect s = p.rect(small, kFrame);
  EXPECT_DOUBLE_EQ(s.width(), FloatingPlacement::kMinWidth);
  EXPECT_GE(s.x0, 12);
  EXPECT_GE(s.y0, 40);
}

TEST(FloatingPlacement, DragMovesTheCardAndKeepsItInside) {
  FloatingPlacement p;
  p.set_attached_chrome(call_chrome());
  const Rect r = p.rect(kWindow, kFrame);
  p.begin_drag(Point{r.x0 + 10, r.y0 + 5}, kWindow, kFrame);
  EXPECT_TRUE(p.is_dragging());
  p.update_drag(Point{210, 305});
  EXPECT_EQ(p.rect(kWindow, kFrame), Rect::from_xywh(200, 300, r.width(), r.height()));
  EXPECT_EQ(p.end_drag(kWindow, kFrame), DragEnd::Stayed);
  EXPECT_EQ(p.rect(kWindow, kFrame).origin(), (Point{200, 300}));
  // Dragged past the bottom-right edge but with its centre inside: clamped.
  p.begin_drag(Point{210, 305}, kWindow, kFrame);
  p.update_drag(Point{1270 - 160 + 10, 790 - 90 + 5});
  EXPECT_EQ(p.end_drag(kWindow, kFrame), DragEnd::Stayed);
  const Rect kept = p.rect(kWindow, kFrame);
  EXPECT_DOUBLE_EQ(kept.x1, 1280 - 12);
  EXPECT_DOUBLE_EQ(kept.y1, 800 - 48);
}

TEST(FloatingPlacement, DetachDragBackAndAdopt) {
  const Instant t0{};
  FloatingPlacement p;
  p.set_attached_chrome(call_chrome());
  const Rect attached = p.rect(kWindow, kFrame);
  // Dropped outside the window: the framework is asked to detach.
  p.begin_drag(attached.center(), kWindow, kFrame);
  p.update_drag(Point{1500, 300});
  EXPECT_EQ(p.end_drag(kWindow, kFrame), DragEnd::LeftWindow);
  EXPECT_FALSE(p.is_detached());

  const Rect desk = Rect::from_xywh(760, 300, attached.width(), attached.height());
  p.detach_to_desktop(desk, attached, t0);
  EXPECT_TRUE(p.is_detached());
  EXPECT_EQ(p.rect(kWindow, kFrame), desk) << "window at the desktop origin";
  p.set_window_origin(Point{100, 50});
  EXPECT_EQ(p.rect(kWindow, kFrame), desk.translated(-100, -50));
  EXPECT_TRUE(p.is_handoff_animating(t0 + std::chrono::milliseconds(100)));
  EXPECT_FALSE(p.is_handoff_animating(t0 + std::chrono::seconds(1)));
  // The user moved the desktop window: the card follows, or the next frame
  // would put the window back where it was.
  const Rect moved = desk.translated(40, -20);
  p.moved_on_desktop(moved);
  EXPECT_EQ(p.rect(kWindow, kFrame), moved.translated(-100, -50));

  const Instant t1 = t0 + std::chrono::seconds(5);
  const Rect drop = Rect::from_xywh(600, 160, attached.width(), attached.height());
  p.reattach_to_app(drop, t1);
  EXPECT_FALSE(p.is_detached());
  EXPECT_TRUE(p.awaiting_adoption());
  p.confirm_app_adoption();
  EXPECT_FALSE(p.awaiting_adoption());
  EXPECT_EQ(p.rect(kWindow, kFrame), attached) << "back in its attached place";
  // At the start of the hand-off the card is drawn where it was dropped.
  const Transform start = p.presentation_transform(kWindow, kFrame, t1);
  EXPECT_DOUBLE_EQ(attached.center().x + start.dx, drop.center().x);
  EXPECT_DOUBLE_EQ(attached.center().y + start.dy, drop.center().y);
  EXPECT_TRUE(
      p.presentation_transform(kWindow, kFrame, t1 + std::chrono::seconds(1)).is_identity());
  p.moved_on_desktop(moved);
  EXPECT_EQ(p.rect(kWindow, kFrame), attached) << "an attached card ignores desktop moves";
}

TEST(FloatingPlacement, PinnedHandoffHoldsOneMoment) {
  const Instant t0{};
  FloatingPlacement p;
  p.pin_handoff_for_visual_review(Millis(1000));
  EXPECT_TRUE(p.presentation_transform(kWindow, kFrame, t0).is_identity()) << "no hand-off";
  p.reattach_to_app(Rect::from_xywh(700, 400, 300, 200), t0);
  p.pin_handoff_for_visual_review(Millis(100));
  const Transform a = p.presentation_transform(kWindow, kFrame, t0);
  const Transform b = p.presentation_transform(kWindow, kFrame, t0 + std::chrono::hours(1));
  EXPECT_EQ(a.dx, b.dx) << "time no longer moves it";
  EXPECT_GT(a.dx, 0);
  EXPECT_FALSE(p.is_handoff_animating(t0)) << "a pinned hand-off asks for no frames";
}

TEST(FloatingSurfaceMessages, ProtocolRect) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<Message, bool> cases[] = {
      {MoveTo{"chat-call:c1", Rect::from_xywh(1, 2, 3, 4)}, true},
      {Detach{"chat-call:c1", Rect::from_xywh(760, 300, 320, 180)}, true},
      {Reattach{"chat-call:c1", Rect::from_xywh(0, 0, 10, 10)}, true},
      {MoveTo{"x", Rect{0, 0, 0, 10}}, false},  // empty
      {MoveTo{"x", Rect{5, 5, 1, 1}}, false},   // inverted
      {Detach{"x", Rect{nan, 0, 10, 10}}, false},
      {Reattach{"x", Rect{0, 0, inf, 10}}, false},
  };
  for (const auto& [m, ok] : cases) {
    EXPECT_EQ(protocol_rect(m).has_value(), ok) << target(m);
  }
  EXPECT_EQ(target(cases[0].first), "chat-call:c1");
}

// Without a display (screenshots) a detached surface is drawn into the frame
// at its rectangle, and requests are granted straight back.
TEST(DesktopHost, WithoutADisplayDrawsIntoTheFrameAndGrantsRequests) {
  DesktopHost host(nullptr);
  EXPECT_FALSE(host.has_display());
  EXPECT_EQ(host.window_origin(), (Point{0, 0}));

  cairo_surface_t* frame = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 30);
  cairo_t* cr = cairo_create(frame);
  host.begin_frame();
  host.present(
      "card", "Card", Rect::from_xywh(10, 5, 20, 10),
      [](cairo_t* c, vesk_ui::Size size) {
        EXPECT_EQ(size.w, 20);
        cairo_rectangle(c, 0, 0, size.w, size.h);
        cairo_set_source_rgb(c, 1, 0, 0);
        cairo_fill(c);
      },
      cr);
  host.end_frame();
  cairo_destroy(cr);
  cairo_surface_flush(frame);
  const auto* px = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(frame));
  const int stride = cairo_image_surface_get_stride(frame) / 4;
  EXPECT_EQ(px[8 * stride + 15], 0xffff0000u) << "inside the surface's rectangle";
  EXPECT_EQ(px[2 * stride + 15], 0u) << "outside it";
  cairo_surface_destroy(frame);
  EXPECT_FALSE(host.is_shown("card")) << "no desktop window without a display";

  host.request(Detach{"card", Rect::from_xywh(700, 300, 200, 120)});
  host.request(MoveTo{"unknown", Rect::from_xywh(1, 1, 2, 2)});
  const auto answered = host.take_messages();
  ASSERT_EQ(answered.size(), 1u) << "a move of a surface that is not shown goes nowhere";
  EXPECT_TRUE(std::holds_alternative<Detach>(answered[0]));
  EXPECT_EQ(protocol_rect(answered[0]), Rect::from_xywh(700, 300, 200, 120));
  EXPECT_TRUE(host.take_messages().empty());
}

}  // namespace
