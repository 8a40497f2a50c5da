#pragma once
// Colours: straight (not premultiplied) sRGB with alpha, components 0..1.

#include <cstdint>

namespace vesk_ui {

struct Color {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 1;

  // 0xRRGGBB, opaque.
  static constexpr Color rgb(std::uint32_t hex) {
    return Color{((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0,
                 1};
  }
  // 0xRRGGBBAA.
  static constexpr Color rgba(std::uint32_t hex) {
    return Color{((hex >> 24) & 0xff) / 255.0, ((hex >> 16) & 0xff) / 255.0,
                 ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0};
  }
  constexpr Color with_alpha(double alpha) const { return Color{r, g, b, alpha}; }
  constexpr Color scale_alpha(double f) const { return Color{r, g, b, a * f}; }
  friend bool operator==(const Color&, const Color&) = default;
};

namespace color {

// Linear interpolation of every component, t in 0..1.
Color mix(Color from, Color to, double t);
// `top` composited over an opaque `bottom`: the colour the eye sees.
Color over(Color top, Color bottom);
// WCAG 2 relative luminance of the opaque colour (alpha ignored), 0..1.
double relative_luminance(Color c);
// WCAG 2 contrast ratio between two opaque colours, 1..21, symmetric.
double contrast_ratio(Color a, Color b);

}  // namespace color
}  // namespace vesk_ui
