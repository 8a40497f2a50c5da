#include "vesk_ui/theme.hpp"

#include <algorithm>
#include <cmath>

namespace vesk_ui {

Color Colors::lift(Color c, double amount) const {
  Color target = dark ? Color{1, 1, 1, c.a} : Color{0, 0, 0, c.a};
  Color out = color::mix(c, target, amount);
  out.a = c.a;
  return out;
}

Color Colors::hairline_on(Color surface) const {
  Color s = surface.with_alpha(1);
  return color::mix(s, text.with_alpha(1), dark ? 0.13 : 0.16);
}

Theme Theme::dark() {
  Theme t;
  Colors& c = t.colors;
  c.dark = true;
  c.base = Color::rgb(0x15171c);
  c.raised = Color::rgb(0x1b1e24);
  c.overlay = Color::rgb(0x23272f);
  c.floating = Color::rgb(0x2b3039);
  c.text = Color::rgb(0xe8eaef);
  c.text_dim = Color::rgb(0x9aa1ad);
  c.accent = Color::rgb(0x5b7cfa);
  c.on_accent = Color::rgb(0xffffff);
  c.danger = Color::rgb(0xe5484d);
  c.on_danger = Color::rgb(0xffffff);
  c.success = Color::rgb(0x3fb950);
  c.warning = Color::rgb(0xd9a520);
  c.hairline = c.hairline_on(c.base);
  c.scrim = Color::rgba(0x05060acc);
  c.shadow = Color::rgba(0x00000080);
  c.focus_ring = Color::rgb(0x8aa4ff);
  return t;
}

Color Theme::surface(int level) const {
  switch (std::clamp(level, 0, 3)) {
    case 0:
      return colors.base;
    case 1:
      return colors.raised;
    case 2:
      return colors.overlay;
    default:
      return colors.floating;
  }
}

Color Theme::on_surface(Color surface) const {
  Color s = surface.with_alpha(1);
  if (color::contrast_ratio(colors.text, s) >= 4.5) return colors.text;
  Color black{0, 0, 0, 1}, white{1, 1, 1, 1};
  return color::contrast_ratio(black, s) >= color::contrast_ratio(white, s) ? black : white;
}

double Theme::effective_ui_scale() const {
  return (std::isnan(ui_scale) || ui_scale < 1) ? 1.0 : ui_scale;
}

}  // namespace vesk_ui
