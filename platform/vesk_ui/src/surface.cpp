#include "vesk_ui/surface.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vesk_ui {

namespace surface {

void card(Painter& p, const Theme& t, const Rect& r, double radius, int level) {
  Color fill = t.surface(level);
  p.fill_rounded_rect(r, radius, fill);
  edge_on(p, t, r, radius, fill);
}

void edge_on(Painter& p, const Theme& t, const Rect& r, double radius, Color fill) {
  p.stroke_rounded_rect(r, radius, 1, t.colors.hairline_on(fill));
}

void edge_outline(Painter& p, const Theme& t, const Rect& r, double radius) {
  p.stroke_rounded_rect(r, radius, 1, t.colors.hairline);
}

void soft_outline(Painter& p, const Theme& t, const Rect& r, double radius) {
  p.stroke_rounded_rect(r, radius, 1, t.colors.hairline.scale_alpha(0.5));
}

Rect floating_drag_grip(Painter& p, const Theme& t, const Rect& strip, Color fill) {
  constexpr double kWidth = 36;
  constexpr double kHeight = 4;
  const double w = std::min(kWidth, strip.width() * 0.5);
  const Point c = strip.center();
  const Rect bar{c.x - w / 2, c.y - kHeight / 2, c.x + w / 2, c.y + kHeight / 2};
  // The hairline recipe is tuned to read on any fill; doubled, it reads as
  // a handle rather than an edge.
  Color tone = t.colors.hairline_on(fill);
  tone.a = std::min(1.0, tone.a * 2);
  p.fill_rounded_rect(bar, kHeight / 2, tone);
  return bar;
}

void separator(Painter& p, const Theme& t, double x0, double x1, double y) {
  double yy = std::floor(y) + 0.5;
  p.line({x0, yy}, {x1, yy}, 1, t.colors.hairline);
}

void separator_vertical(Painter& p, const Theme& t, double x, double y0, double y1) {
  double xx = std::floor(x) + 0.5;
  p.line({xx, y0}, {xx, y1}, 1, t.colors.hairline);
}

namespace {

constexpr int kShadowSteps = 6;

// Stacked translucent rings approximate a blur at a fraction of its cost.
// Like a CSS box shadow it lies only outside the shape (the shape is a hole
// in an even-odd fill); it sits `dy` lower, as light comes from above.
void shadow_rings(cairo_t* cr, const Rect& shape, double radius, double spread, double dy,
                  Color c) {
  Painter p(cr);
  cairo_save(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  for (int i = kShadowSteps; i >= 1; --i) {
    double f = static_cast<double>(i) / kShadowSteps;
    p.rounded_path(shape.inset(-spread * f).translated(0, dy), radius + spread * f);
    p.rounded_path(shape, radius);
    p.set_color(c.scale_alpha(0.22 / kShadowSteps * (1.6 - f)));
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

// A shadow drawn once for the smallest shape of its radius, then cut in
// nine: corners are copied, the 2 px middle strips stretched along the sides.
// Drawing rings for every card every frame cost more than all the text.
struct ShadowTile {
  double radius, spread, dy, scale;
  Color color;
  cairo_surface_t* surface;
};

struct TileCache {
  std::vector<ShadowTile> tiles;
  ~TileCache() { clear(); }
  void clear() {
    for (auto& t : tiles) cairo_surface_destroy(t.surface);
    tiles.clear();
  }
};

const ShadowTile& shadow_tile(double radius, double spread, double dy, double scale, Color c) {
  static TileCache cache;  // UI thread only
  auto& tiles = cache.tiles;
  for (const auto& t : tiles) {
    if (t.radius == radius && t.spread == spread && t.dy == dy && t.scale == scale &&
        t.color == c) {
      return t;
    }
  }
  if (tiles.size() >= 32) cache.clear();
  double w = 2 * radius + 2 + 2 * spread, h = 2 * radius + 2 + 2 * dy + 2 * spread;
  cairo_surface_t* s =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(std::ceil(w * scale)),
                                 static_cast<int>(std::ceil(h * scale)));
  cairo_surface_set_device_scale(s, scale, scale);
  cairo_t* cr = cairo_create(s);
  shadow_rings(cr, Rect::from_xywh(spread, spread, 2 * radius + 2, 2 * radius + 2 + dy), radius,
               spread, dy, c);
  cairo_destroy(cr);
  tiles.push_back(ShadowTile{radius, spread, dy, scale, c, s});
  return tiles.back();
}

// Paints the tile's part [sx, sx+sw] x [sy, sy+sh] onto `dst`, stretched.
void blit(cairo_t* cr, cairo_surface_t* tile, double sx, double sy, double sw, double sh,
          const Rect& dst) {
  if (dst.is_empty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, dst.x0, dst.y0, dst.width(), dst.height());
  cairo_clip(cr);
  cairo_translate(cr, dst.x0, dst.y0);
  cairo_scale(cr, dst.width() / sw, dst.height() / sh);
  cairo_set_source_surface(cr, tile, -sx, -sy);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  // A stretched strip is uniform along the stretch; nearest sampling keeps
  // the arcs beside it from bleeding in.
  if (std::abs(dst.width() - sw) > 1e-9 || std::abs(dst.height() - sh) > 1e-9) {
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  }
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace

void shadow(Painter& p, const Theme& t, const Rect& r, double radius, double elevation) {
  if (r.is_empty() || !(elevation > 0)) return;
  double spread = 3 * elevation;
  double dy = std::ceil(1.5 * elevation);
  double R = std::clamp(radius, 0.0, std::min(r.width(), r.height()) / 2);
  cairo_t* cr = p.cairo();
  double xx = 1, yx = 0;
  cairo_user_to_device_distance(cr, &xx, &yx);
  double scale = std::hypot(xx, yx);
  // Shapes too small to slice, or a rotated context: draw the rings directly.
  if (r.width() < 2 * R + 2 || r.height() < 2 * R + 2 + dy || yx != 0 || !(scale > 0)) {
    shadow_rings(cr, r, R, spread, dy, t.colors.shadow);
    return;
  }
  const ShadowTile& tile = shadow_tile(R, spread, dy, scale, t.colors.shadow);
  double S = spread;
  double left = S + R, right = R + S;            // tile columns: left | 2 | right
  double top = S + R + dy, bottom = R + S + dy;  // tile rows: top | 2 | bottom
  double tw = left + 2 + right, th = top + 2 + bottom;
  double xs[4] = {r.x0 - S, r.x0 + R, r.x1 - R, r.x1 + S};
  double ys[4] = {r.y0 - S, r.y0 + R + dy, r.y1 - R, r.y1 + S + dy};
  double sxs[4] = {0, left, left + 2, tw};
  double sys[4] = {0, top, top + 2, th};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      if (row == 1 && col == 1) continue;  // under the shape: nothing to draw
      blit(cr, tile.surface, sxs[col], sys[row], sxs[col + 1] - sxs[col], sys[row + 1] - sys[row],
           Rect{xs[col], ys[row], xs[col + 1], ys[row + 1]});
    }
  }
}

}  // namespace surface

namespace chrome::shell {

void panel_border(Painter& p, const Theme& t, const Rect& r, double radius) {
  p.stroke_rounded_rect(r, radius, 1, t.colors.hairline_on(t.colors.floating));
  Painter::Saver keep(p);
  p.clip_rect(Rect{r.x0, r.y0 + 1, r.x1, r.y0 + radius + 2});
  p.stroke_rounded_rect(r.inset(1), std::max(0.0, radius - 1), 1,
                        t.colors.lift(t.colors.floating, 0.08).with_alpha(0.6));
}

}  // namespace chrome::shell

}  // namespace vesk_ui
