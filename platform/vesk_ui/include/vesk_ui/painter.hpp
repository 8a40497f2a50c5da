#pragma once
// Painter: the drawing API at a glance, over a Cairo context. Coordinates are
// logical pixels; the frame scales the context for the display beforehand.

#include <cairo.h>

#include "vesk_ui/color.hpp"
#include "vesk_ui/geometry.hpp"

namespace vesk_ui {

class Painter {
 public:
  explicit Painter(cairo_t* cr) : cr_(cr) {}  // not owned
  cairo_t* cairo() const { return cr_; }

  void clear(Color c);
  void fill_rect(const Rect& r, Color c);
  void fill_rounded_rect(const Rect& r, double radius, Color c);
  // The stroke lies inside `r`, so a 1 px outline does not bleed outwards.
  void stroke_rounded_rect(const Rect& r, double radius, double width, Color c);
  void fill_circle(Point center, double radius, Color c);
  void stroke_circle(Point center, double radius, double width, Color c);
  void line(Point a, Point b, double width, Color c);
  // Vertical gradient from `top` to `bottom` colour.
  void fill_rounded_rect_vgradient(const Rect& r, double radius, Color top, Color bottom);

  // Paints `image` scaled to cover `dst` (cropping the overflow, centred),
  // clipped to a rounded rectangle of `radius`.
  void draw_image_cover(cairo_surface_t* image, const Rect& dst, double radius = 0,
                        double opacity = 1);

  void clip_rect(const Rect& r);
  void clip_rounded_rect(const Rect& r, double radius);
  void translate(double dx, double dy);

  // Draws between push_layer and pop_layer go to a group composited with
  // `opacity` at pop.
  void push_layer();
  void pop_layer(double opacity);

  // Adds a rounded-rectangle path (corner radius clamped to half the sides).
  void rounded_path(const Rect& r, double radius);
  void set_color(Color c);

  // Restores the Cairo state (clip, transform, source) when it goes.
  class Saver {
   public:
    explicit Saver(Painter& p) : cr_(p.cr_) { cairo_save(cr_); }
    ~Saver() { cairo_restore(cr_); }
    Saver(const Saver&) = delete;
    Saver& operator=(const Saver&) = delete;

   private:
    cairo_t* cr_;
  };

 private:
  cairo_t* cr_;
};

}  // namespace vesk_ui
