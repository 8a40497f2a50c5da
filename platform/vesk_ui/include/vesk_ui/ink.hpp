#pragma once
// Colours and small cairo helpers shared by the widgets. Widgets paint on a
// cairo context in logical pixels; the caller has already applied the scale.

#include <cstdint>

typedef struct _cairo cairo_t;

namespace vesk_ui::ink {

// A straight (not premultiplied) colour, components 0..1.
struct Rgba {
  double r = 0, g = 0, b = 0, a = 1;
  static constexpr Rgba rgb8(std::uint8_t r, std::uint8_t g, std::uint8_t b, double a = 1) {
    return Rgba{r / 255.0, g / 255.0, b / 255.0, a};
  }
  constexpr Rgba with_alpha(double na) const { return Rgba{r, g, b, na}; }
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

void set_source(cairo_t* cr, Rgba c);
// Adds a rounded rectangle path (radius clamped to half the shorter side).
void rounded_rect_path(cairo_t* cr, double x, double y, double w, double h, double radius);

}  // namespace vesk_ui::ink
