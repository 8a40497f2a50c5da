#include "vesk_ui/painter.hpp"

#include <algorithm>
#include <cmath>

namespace vesk_ui {

void Painter::set_color(Color c) {
  cairo_set_source_rgba(cr_, c.r, c.g, c.b, c.a);
}

void Painter::rounded_path(const Rect& r, double radius) {
  double w = r.width(), h = r.height();
  double rad = std::clamp(radius, 0.0, std::min(w, h) / 2);
  if (rad <= 0) {
    cairo_rectangle(cr_, r.x0, r.y0, w, h);
    return;
  }
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, r.x1 - rad, r.y0 + rad, rad, -M_PI / 2, 0);
  cairo_arc(cr_, r.x1 - rad, r.y1 - rad, rad, 0, M_PI / 2);
  cairo_arc(cr_, r.x0 + rad, r.y1 - rad, rad, M_PI / 2, M_PI);
  cairo_arc(cr_, r.x0 + rad, r.y0 + rad, rad, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr_);
}

void Painter::clear(Color c) {
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  set_color(c);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void Painter::fill_rect(const Rect& r, Color c) {
  if (r.is_empty() || c.a <= 0) return;
  cairo_rectangle(cr_, r.x0, r.y0, r.width(), r.height());
  set_color(c);
  cairo_fill(cr_);
}

void Painter::fill_rounded_rect(const Rect& r, double radius, Color c) {
  if (r.is_empty() || c.a <= 0) return;
  rounded_path(r, radius);
  set_color(c);
  cairo_fill(cr_);
}

void Painter::fill_rounded_rect_vgradient(const Rect& r, double radius, Color top, Color bottom) {
  if (r.is_empty()) return;
  cairo_pattern_t* p = cairo_pattern_create_linear(0, r.y0, 0, r.y1);
  cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
  cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
  rounded_path(r, radius);
  cairo_set_source(cr_, p);
  cairo_fill(cr_);
  cairo_pattern_destroy(p);
}

void Painter::stroke_rounded_rect(const Rect& r, double radius, double width, Color c) {
  if (r.is_empty() || width <= 0 || c.a <= 0) return;
  double h = width / 2;
  rounded_path(r.inset(h), std::max(0.0, radius - h));
  set_color(c);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void Painter::fill_circle(Point center, double radius, Color c) {
  if (radius <= 0 || c.a <= 0) return;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, center.x, center.y, radius, 0, 2 * M_PI);
  set_color(c);
  cairo_fill(cr_);
}

void Painter::stroke_circle(Point center, double radius, double width, Color c) {
  if (radius <= 0 || width <= 0 || c.a <= 0) return;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, center.x, center.y, radius, 0, 2 * M_PI);
  set_color(c);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void Painter::line(Point a, Point b, double width, Color c) {
  if (width <= 0 || c.a <= 0) return;
  cairo_move_to(cr_, a.x, a.y);
  cairo_line_to(cr_, b.x, b.y);
  set_color(c);
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
  cairo_stroke(cr_);
}

void Painter::draw_image_cover(cairo_surface_t* image, const Rect& dst, double radius,
                               double opacity) {
  if (!image || dst.is_empty() || opacity <= 0) return;
  if (cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE) return;
  double iw = cairo_image_surface_get_width(image), ih = cairo_image_surface_get_height(image);
  if (iw <= 0 || ih <= 0) return;
  double s = std::max(dst.width() / iw, dst.height() / ih);
  double ox = dst.x0 + (dst.width() - iw * s) / 2, oy = dst.y0 + (dst.height() - ih * s) / 2;
  Saver keep(*this);
  rounded_path(dst, radius);
  cairo_clip(cr_);
  cairo_translate(cr_, ox, oy);
  cairo_scale(cr_, s, s);
  cairo_set_source_surface(cr_, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
  cairo_paint_with_alpha(cr_, opacity);
}

void Painter::clip_rect(const Rect& r) {
  cairo_rectangle(cr_, r.x0, r.y0, std::max(0.0, r.width()), std::max(0.0, r.height()));
  cairo_clip(cr_);
}

void Painter::clip_rounded_rect(const Rect& r, double radius) {
  rounded_path(r, radius);
  cairo_clip(cr_);
}

void Painter::translate(double dx, double dy) {
  cairo_translate(cr_, dx, dy);
}

void Painter::push_layer() {
  cairo_push_group(cr_);
}

void Painter::pop_layer(double opacity) {
  cairo_pop_group_to_source(cr_);
  cairo_paint_with_alpha(cr_, std::clamp(opacity, 0.0, 1.0));
}

}  // namespace vesk_ui
