#pragma once
// Surfaces: the few recipes every card, panel and separator is drawn with, so
// the whole product shares one look.

#include "vesk_ui/geometry.hpp"
#include "vesk_ui/painter.hpp"
#include "vesk_ui/theme.hpp"

namespace vesk_ui {

namespace surface {

// A filled card of surface `level` (0..3) with the edge that suits it.
void card(Painter& p, const Theme& t, const Rect& r, double radius, int level = 2);
// The 1 px edge of a shape filled with `fill`: hairline_on(fill), inside r.
void edge_on(Painter& p, const Theme& t, const Rect& r, double radius, Color fill);
// A crisp 1 px outline in the theme's hairline colour, for unfilled shapes.
void edge_outline(Painter& p, const Theme& t, const Rect& r, double radius);
// A fainter outline (half the hairline's strength), for quiet grouping.
void soft_outline(Painter& p, const Theme& t, const Rect& r, double radius);
// 1 px hairline from (x0, y) to (x1, y), aligned to the pixel grid.
void separator(Painter& p, const Theme& t, double x0, double x1, double y);
// 1 px hairline from (x, y0) to (x, y1).
void separator_vertical(Painter& p, const Theme& t, double x, double y0, double y1);
// A soft drop shadow under a shape of `r` and `radius`; `elevation` 1 for
// menus and cards, 2 for dialogs and floating surfaces.
void shadow(Painter& p, const Theme& t, const Rect& r, double radius, double elevation = 1);
// The grip along the top of a floating card that says "drag me": a short
// rounded bar centred in `strip` (the card's top strip), in a tone that reads
// on `fill`, the card's colour. Answers the bar's rectangle.
Rect floating_drag_grip(Painter& p, const Theme& t, const Rect& strip, Color fill);

}  // namespace surface

namespace chrome::shell {

// The border of a floating panel (menus, history cards, the detached call
// card): an outer hairline and a faint inner highlight along the top.
void panel_border(Painter& p, const Theme& t, const Rect& r, double radius);

}  // namespace chrome::shell

}  // namespace vesk_ui
