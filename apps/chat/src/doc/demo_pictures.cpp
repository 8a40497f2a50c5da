#include "doc/demo_pictures.hpp"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <functional>
#include <numbers>

#include "vesk_ui/ink.hpp"

namespace chat {
namespace {

struct Rgb {
  int r, g, b;
  Rgb lighter(int by) const {
    return {std::min(255, r + by), std::min(255, g + by), std::min(255, b + by)};
  }
};

void set(cairo_t* cr, Rgb c) {
  cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

void fill_rounded(cairo_t* cr, double x, double y, double w, double h, double r, Rgb c) {
  vesk_ui::ink::rounded_rect_path(cr, x, y, w, h, r);
  set(cr, c);
  cairo_fill(cr);
}

void fill_disc(cairo_t* cr, double cx, double cy, double r, Rgb c) {
  cairo_arc(cr, cx, cy, r, 0, 2 * std::numbers::pi);
  set(cr, c);
  cairo_fill(cr);
}

void vertical_gradient(cairo_t* cr, int w, int h, Rgb top, Rgb bottom) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
  cairo_pattern_add_color_stop_rgb(p, 0, top.r / 255.0, top.g / 255.0, top.b / 255.0);
  cairo_pattern_add_color_stop_rgb(p, 1, bottom.r / 255.0, bottom.g / 255.0, bottom.b / 255.0);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_set_source(cr, p);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
}

struct Tile {
  Rgb body, upper, avatar;
};

void draw_call_grid(cairo_t* cr) {
  constexpr double kW = 286, kH = 146;
  vertical_gradient(cr, 640, 360, {26, 28, 38}, {17, 18, 26});
  const std::array<Tile, 4> tiles = {{
      {{58, 74, 120}, {76, 92, 138}, {120, 158, 255}},  // blue
      {{70, 60, 96}, {88, 78, 114}, {176, 150, 244}},   // violet
      {{54, 84, 84}, {72, 102, 102}, {120, 214, 200}},  // teal
      {{92, 72, 66}, {110, 90, 84}, {240, 178, 150}},   // rust
  }};
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    const double x = i % 2 == 0 ? 26 : 328;
    const double y = i < 2 ? 26 : 188;
    const Tile& t = tiles[i];
    fill_rounded(cr, x, y, kW, kH, 12, t.body);
    // The upper half keeps the tile's rounded top corners.
    cairo_save(cr);
    vesk_ui::ink::rounded_rect_path(cr, x, y, kW, kH, 12);
    cairo_clip(cr);
    cairo_rectangle(cr, x, y, kW, kH / 2);
    set(cr, t.upper);
    cairo_fill(cr);
    cairo_restore(cr);
    fill_disc(cr, x + kW / 2, y + 67.16, 35.04, t.avatar);
    fill_disc(cr, x + kW / 2, y + 67.16, 29.04, t.avatar.lighter(26));
    fill_rounded(cr, x + 12, y + 116, 125.84, 18, 6, {12, 13, 18});
    if (i == 0) {
      // The speaking outline: the tile's shape less its 3-pixel inset.
      vesk_ui::ink::rounded_rect_path(cr, x, y, kW, kH, 12);
      vesk_ui::ink::rounded_rect_path(cr, x + 3, y + 3, kW - 6, kH - 6, 9);
      cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
      set(cr, {88, 214, 140});
      cairo_fill(cr);
      cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    }
  }
}

void draw_shared_shot(cairo_t* cr) {
  constexpr double kX = 28, kY = 28, kW = 564, kH = 344;
  vertical_gradient(cr, 620, 400, {32, 34, 44}, {22, 23, 31});
  fill_rounded(cr, kX, kY, kW, kH, 16, {244, 245, 248});
  cairo_save(cr);
  vesk_ui::ink::rounded_rect_path(cr, kX, kY, kW, kH, 16);
  cairo_clip(cr);
  cairo_rectangle(cr, kX, kY, kW, 46);
  set(cr, {94, 122, 232});
  cairo_fill(cr);
  cairo_restore(cr);
  for (double cx : {50.0, 70.0, 90.0}) fill_disc(cr, cx, 51, 6, {255, 255, 255});
  for (int line = 0; line < 6; ++line) {
    const double y = 102 + 38.0 * line;
    fill_rounded(cr, 52, y, line % 2 == 0 ? 462.48 : 349.68, 16, 5, {212, 216, 224});
    if (line == 1 || line == 4) fill_rounded(cr, 52, y, 90, 16, 5, {126, 150, 240});
  }
}

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
  out->insert(out->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

std::optional<std::vector<std::uint8_t>> render(int w, int h,
                                                const std::function<void(cairo_t*)>& draw) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_BEST);
  draw(cr);
  cairo_destroy(cr);
  std::vector<std::uint8_t> png;
  cairo_status_t status = cairo_surface_write_to_png_stream(surface, append_bytes, &png);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) return std::nullopt;
  return png;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> demo_picture_png(std::string_view name) {
  if (name == "call-grid") return render(640, 360, draw_call_grid);
  if (name == "shared-shot") return render(620, 400, draw_shared_shot);
  return std::nullopt;
}

}  // namespace chat
