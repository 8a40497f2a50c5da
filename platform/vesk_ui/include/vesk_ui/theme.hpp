#pragma once
// Theme: the colour tokens, scale, spacing and motion every view reads.

#include "vesk_ui/color.hpp"

namespace vesk_ui {

struct Colors {
  bool dark = true;
  // Surface levels, from the window's base to the highest floating card.
  Color base;      // level 0: the window background
  Color raised;    // level 1: panels, sidebars
  Color overlay;   // level 2: cards on panels, inputs
  Color floating;  // level 3: menus, popovers, tooltips
  Color text;      // primary text
  Color text_dim;  // secondary text, timestamps
  Color accent;
  Color on_accent;  // text on the accent colour
  Color danger;
  Color on_danger;
  Color success;
  Color warning;
  Color hairline;  // 1 px lines on the base surface
  Color scrim;     // over content behind a modal or overlay panel
  Color shadow;    // the darkest point of a drop shadow
  Color focus_ring;

  // A step "up" from `c` in this theme: lighter on a dark theme, darker on a
  // light one; `amount` 0..1. Keeps alpha. Hover and selection use this.
  Color lift(Color c, double amount = 0.06) const;
  // A 1 px line colour that stays visible on `surface`, opaque.
  Color hairline_on(Color surface) const;
};

struct Motion {
  double fast_ms = 120;
  double normal_ms = 200;
  double slow_ms = 320;
};

struct Theme {
  Colors colors;
  double ui_scale = 1;  // text scale factor; enters line heights and layout modes
  double line_gap = 4;  // extra space between text lines and rows
  Motion motion;
  bool reduced_motion = false;
  double radius_small = 6;
  double radius = 10;
  double radius_large = 14;

  // The product's dark theme.
  static Theme dark();

  // Surface colour of a level 0..3 (clamped).
  Color surface(int level) const;
  // Text colour that reads on `surface`: the theme's text colour when it has
  // a contrast of at least 4.5, else whichever of black or white contrasts more.
  Color on_surface(Color surface) const;
  // The UI scale to compute with: values below 1 or not a number count as 1.
  double effective_ui_scale() const;
};

}  // namespace vesk_ui
