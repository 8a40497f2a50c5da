#include <cairo.h>

#include <cmath>

#include "vesk_ui/avatar.hpp"
#include "vesk_ui/painter.hpp"
#include "widget_text.hpp"

namespace vesk_ui {

void Avatar::draw_at(Painter& painter, Point top_left, double size, std::string_view initials,
                     ink::Rgba color, std::optional<ink::Rgba> presence, ink::Rgba ring) {
  draw_at(painter.cairo(), top_left, size, initials, color, presence, ring);
}

void Avatar::draw_at(cairo_t* cr, Point top_left, double size, std::string_view initials,
                     ink::Rgba color, std::optional<ink::Rgba> presence, ink::Rgba ring) {
  if (!(size > 0)) return;
  const double r = size / 2;
  const Point c{top_left.x + r, top_left.y + r};
  cairo_save(cr);
  cairo_new_path(cr);
  cairo_arc(cr, c.x, c.y, r, 0, 2 * M_PI);
  ink::set_source(cr, color);
  cairo_fill(cr);
  if (!initials.empty()) {
    auto l = text::line(initials, "Noto Sans", size * 0.4, true);
    const Size s = text::pixel_size(l.get());
    ink::set_source(cr, ink::Rgba{1, 1, 1, 1});
    cairo_move_to(cr, c.x - s.w / 2, c.y - s.h / 2);
    pango_cairo_show_layout(cr, l.get());
  }
  if (presence) {
    const double dot = std::max(3.0, size * 0.16);
    const Point d{c.x + r * 0.7071, c.y + r * 0.7071};
    cairo_new_path(cr);
    cairo_arc(cr, d.x, d.y, dot + std::max(1.5, size * 0.05), 0, 2 * M_PI);
    ink::set_source(cr, ring);
    cairo_fill(cr);
    cairo_arc(cr, d.x, d.y, dot, 0, 2 * M_PI);
    ink::set_source(cr, *presence);
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

}  // namespace vesk_ui
