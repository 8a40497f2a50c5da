// Pixel comparisons of the widgets against reviewed images in golden/.
// VESK_UPDATE_GOLDENS=1 rewrites the images (review them before committing);
// a missing image is a failure, never silently created.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "vesk_ui/avatar.hpp"
#include "vesk_ui/button.hpp"
#include "vesk_ui/context_menu.hpp"
#include "vesk_ui/text_input.hpp"
#include "vesk_ui/tooltip.hpp"

namespace {

namespace fs = std::filesystem;
using vesk_ui::Point;
using vesk_ui::Rect;
using vesk_ui::ink::Rgba;

const fs::path kGoldenDir = fs::path(__FILE__).parent_path() / "golden";

void check_golden(const std::string& name, int w, int h,
                  const std::function<void(cairo_t*)>& draw) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0x1b / 255.0, 0x1d / 255.0, 0x22 / 255.0);
  cairo_paint(cr);
  draw(cr);
  cairo_destroy(cr);
  cairo_surface_flush(s);
  const fs::path path = kGoldenDir / (name + ".png");
  const char* update = std::getenv("VESK_UPDATE_GOLDENS");
  if (update != nullptr && std::string(update) == "1") {
    ASSERT_EQ(cairo_surface_write_to_png(s, path.c_str()), CAIRO_STATUS_SUCCESS);
  }
  cairo_surface_t* want = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(want), CAIRO_STATUS_SUCCESS) << "missing golden " << path;
  ASSERT_EQ(cairo_image_surface_get_width(want), w);
  ASSERT_EQ(cairo_image_surface_get_height(want), h);
  const unsigned char* a = cairo_image_surface_get_data(s);
  const unsigned char* b = cairo_image_surface_get_data(want);
  const int sa = cairo_image_surface_get_stride(s);
  const int sb = cairo_image_surface_get_stride(want);
  int worst = 0;
  int differing = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w * 4; ++x) {
      const int d = std::abs(a[y * sa + x] - b[y * sb + x]);
      worst = std::max(worst, d);
      differing += d > 2;
    }
  }
  EXPECT_EQ(differing, 0) << name << ": " << differing << " channels differ, worst by " << worst;
  if (differing != 0) {
    const fs::path got = fs::temp_directory_path() / (name + ".actual.png");
    cairo_surface_write_to_png(s, got.c_str());
    ADD_FAILURE() << "actual image written to " << got;
  }
  cairo_surface_destroy(want);
  cairo_surface_destroy(s);
}

TEST(Golden, ContextMenuWithHighlight) {
  check_golden("context_menu", 280, 230, [](cairo_t* cr) {
    vesk_ui::ContextMenu m;
    m.push("Delete", true, 78);
    m.push("Archive / unarchive", false, 36);
    m.push("Rename", false, 49);
    m.push("Move up", false, 15);
    m.push("Move down", false, 16);
    m.open_at_clamped(Point{30, 20}, Rect::from_xywh(0, 0, 280, 230));
    m.handle_event(vesk_ui::PointerMoveEvent{m.item_rect(2).center(), {}});
    m.paint(cr);
  });
}

TEST(Golden, Avatars) {
  check_golden("avatars", 250, 70, [](cairo_t* cr) {
    using vesk_ui::Avatar;
    Avatar::draw_at(cr, Point{10, 10}, 48, Avatar::initials_for_name("Ada Lovelace"),
                    vesk_ui::ink::rgb8(0x5b, 0x6e, 0xe1));
    Avatar::draw_at(cr, Point{70, 10}, 48, Avatar::initials_for_name("émile zola"),
                    vesk_ui::ink::rgb8(0xe0, 0x7a, 0x3f), vesk_ui::ink::rgb8(0x3b, 0xa5, 0x5d));
    Avatar::draw_at(cr, Point{130, 14}, 40, Avatar::initials_for_name("Grace Hopper"),
                    vesk_ui::ink::rgb8(0x2f, 0x9e, 0x8f), vesk_ui::ink::rgb8(0xf0, 0xb2, 0x32));
    Avatar::draw_at(cr, Point{184, 19}, 30, "", vesk_ui::ink::rgb8(0x80, 0x84, 0x8e),
                    vesk_ui::ink::rgb8(0x74, 0x7f, 0x8d));
  });
}

TEST(Golden, ButtonStates) {
  check_golden("buttons", 560, 60, [](cairo_t* cr) {
    using vesk_ui::Button;
    const std::pair<const char*, Button::State> buttons[] = {
        {"Mute", {}},
        {"Deafen", {Button::Kind::Active, false, false}},
        {"Leave", {Button::Kind::Danger, false, false}},
        {"Camera", {Button::Kind::Normal, false, true}},
        {"Expand", {Button::Kind::Normal, true, false}},
    };
    double x = 12;
    for (const auto& [label, state] : buttons) {
      Button::paint(cr, Rect::from_xywh(x, 14, 96, 32), label, state);
      x += 108;
    }
  });
}

TEST(Golden, InputWithSelectionAndTooltip) {
  check_golden("input_selection", 360, 150, [](cairo_t* cr) {
    vesk_ui::TextInput input(true);
    input.set_focused(true);
    input.set_text(
        "Shipping the composer on the shared TextInput.\nEnter sends, Shift+Enter for a new line.");
    const Rect box = Rect::from_xywh(20, 16, 320, 80);
    input.set_rect(box);
    input.select(std::string("Shipping the ").size(),
                 std::string("Shipping the composer on the shared TextInput.\nEnter").size());
    cairo_set_source_rgb(cr, 0x26 / 255.0, 0x28 / 255.0, 0x2f / 255.0);
    cairo_rectangle(cr, box.x0, box.y0, box.width(), box.height());
    cairo_fill(cr);
    input.paint(cr, box);
    vesk_ui::tooltip::draw_hover_tooltip(cr, {"Send message", Rect::from_xywh(280, 100, 40, 20)},
                                         Rect::from_xywh(0, 0, 360, 150));
  });
}

}  // namespace
