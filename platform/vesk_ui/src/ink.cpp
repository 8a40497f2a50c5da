#include "vesk_ui/ink.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace vesk_ui::ink {

void set_source(cairo_t* cr, Rgba c) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void rounded_rect_path(cairo_t* cr, double x, double y, double w, double h, double radius) {
  const double r = std::max(0.0, std::min({radius, w / 2, h / 2}));
  if (r <= 0) {
    cairo_rectangle(cr, x, y, w, h);
    return;
  }
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

}  // namespace vesk_ui::ink
