#include "frame.hpp"

#include <exception>

#include "base/log.hpp"
#include "vesk_ui/painter.hpp"

namespace vesk_ui::detail {

void frame_sync(Widget& w, const FrameEnv& env, crdt::Document* doc) {
  env.text.set_ui_scale(env.theme.ui_scale);
  SyncContext ctx{
      doc, env.theme, env.text, env.logical, env.scale, env.now, env.desktop.window_origin()};
  w.sync(ctx);
}

base::Status frame_layout(Widget& w, const FrameEnv& env) {
  LayoutContext ctx{env.theme, env.text, env.logical, env.scale};
  auto solved = solve_layout(w.build_layout(ctx), Rect::from_origin_size({0, 0}, env.logical));
  if (!solved.ok()) return std::move(solved).take_error();
  w.apply_layout(*solved);
  return {};
}

void frame_draw(Widget& w, const FrameEnv& env, cairo_surface_t* target, bool floating) {
  cairo_t* cr = cairo_create(target);
  cairo_scale(cr, env.scale, env.scale);
  Painter painter(cr);
  if (!floating) painter.clear(env.theme.colors.base);
  DrawContext ctx{painter, env.theme, env.text, env.logical, env.scale, env.now, env.desktop};
  if (floating) {
    w.draw_floating_surfaces(ctx);
  } else {
    w.draw(ctx);
  }
  cairo_destroy(cr);
  cairo_surface_flush(target);
}

accessibility::Tree frame_accessibility(const Widget& w) {
  try {
    return w.accessibility();
  } catch (const std::exception& ex) {
    base::log::error("vesk_ui", "the accessibility export failed: {}", ex.what());
    return w.Widget::accessibility();
  }
}

}  // namespace vesk_ui::detail
