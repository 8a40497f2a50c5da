#pragma once
// Colour shorthands and small cairo helpers shared by the widgets. Widgets paint on a
// cairo context in logical pixels; the caller has already applied the scale.

#include <cstdint>

#include "vesk_ui/color.hpp"

typedef struct _cairo cairo_t;

namespace vesk_ui::ink {

// The widgets' colours are the framework's colours, so owners can hand
// theme tokens straight in.
using Rgba = Color;
constexpr Rgba rgb8(std::uint8_t r, std::uint8_t g, std::uint8_t b, double a = 1) {
  return Rgba{r / 255.0, g / 255.0, b / 255.0, a};
}

void set_source(cairo_t* cr, Rgba c);
// Adds a rounded rectangle path (radius clamped to half the shorter side).
void rounded_rect_path(cairo_t* cr, double x, double y, double w, double h, double radius);

}  // namespace vesk_ui::ink
