#pragma once
// The steps of one frame, shared by the window and ShotFrame so both draw
// exactly alike.

#include <cairo.h>

#include "base/result.hpp"
#include "vesk_ui/clock.hpp"
#include "vesk_ui/floating_window.hpp"
#include "vesk_ui/geometry.hpp"
#include "vesk_ui/text.hpp"
#include "vesk_ui/theme.hpp"
#include "vesk_ui/widget.hpp"

namespace vesk_ui::detail {

struct FrameEnv {
  const Theme& theme;
  TextRenderer& text;
  Size logical;
  double scale = 1;
  Instant now;
  floating_surface::DesktopHost& desktop;
};

void frame_sync(Widget& w, const FrameEnv& env, crdt::Document* doc);
base::Status frame_layout(Widget& w, const FrameEnv& env);
// Paints into `target`, which is logical * scale device pixels. The base
// pass clears to the theme's base colour first.
void frame_draw(Widget& w, const FrameEnv& env, cairo_surface_t* target, bool floating);
// The tree of the frame just drawn; a widget that throws exports its
// default window node instead of failing the frame.
accessibility::Tree frame_accessibility(const Widget& w);

}  // namespace vesk_ui::detail
