#include "vesk_ui/color.hpp"

#include <algorithm>
#include <cmath>

namespace vesk_ui::color {

Color mix(Color from, Color to, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return Color{from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
               from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

Color over(Color top, Color bottom) {
  double a = std::clamp(top.a, 0.0, 1.0);
  return Color{top.r * a + bottom.r * (1 - a), top.g * a + bottom.g * (1 - a),
               top.b * a + bottom.b * (1 - a), 1};
}

namespace {
double linear(double c) {
  c = std::clamp(c, 0.0, 1.0);
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
}  // namespace

double relative_luminance(Color c) {
  return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

double contrast_ratio(Color a, Color b) {
  double la = relative_luminance(a), lb = relative_luminance(b);
  if (la < lb) std::swap(la, lb);
  return (la + 0.05) / (lb + 0.05);
}

}  // namespace vesk_ui::color
