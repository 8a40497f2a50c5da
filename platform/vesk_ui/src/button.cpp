#include "vesk_ui/button.hpp"

#include <cairo.h>

#include "vesk_ui/painter.hpp"
#include "widget_text.hpp"

namespace vesk_ui {
namespace {

ink::Rgba lighten(ink::Rgba c, double t) {
  return ink::Rgba{c.r + (1 - c.r) * t, c.g + (1 - c.g) * t, c.b + (1 - c.b) * t, c.a};
}

}  // namespace

double Button::measure(std::string_view label, const ButtonStyle& style) {
  auto l = text::line(label, style.font_family, style.font_size);
  return text::pixel_size(l.get()).w + 2 * style.padding_x;
}

void Button::paint(Painter& painter, Rect rect, std::string_view label, State state,
                   const ButtonStyle& style) {
  paint(painter.cairo(), rect, label, state, style);
}

void Button::paint(cairo_t* cr, Rect rect, std::string_view label, State state,
                   const ButtonStyle& style) {
  if (rect.is_empty()) return;
  ink::Rgba fill = style.normal;
  ink::Rgba fg = style.text;
  if (state.kind == Kind::Active) {
    fill = style.active;
    fg = style.on_accent;
  } else if (state.kind == Kind::Danger) {
    fill = style.danger;
    fg = style.on_accent;
  }
  if (state.hovered && !state.disabled)
    fill = state.kind == Kind::Normal ? style.hovered : lighten(fill, 0.12);
  cairo_save(cr);
  if (state.disabled) cairo_push_group(cr);
  ink::rounded_rect_path(cr, rect.x0, rect.y0, rect.width(), rect.height(), style.corner_radius);
  ink::set_source(cr, fill);
  cairo_fill(cr);
  auto l = text::line(label, style.font_family, style.font_size, state.kind != Kind::Normal);
  pango_layout_set_width(l.get(), static_cast<int>(std::max(1.0, rect.width() - 8) * PANGO_SCALE));
  pango_layout_set_ellipsize(l.get(), PANGO_ELLIPSIZE_END);
  pango_layout_set_alignment(l.get(), PANGO_ALIGN_CENTER);
  const Size s = text::pixel_size(l.get());
  ink::set_source(cr, fg);
  cairo_move_to(cr, rect.x0 + 4, rect.y0 + (rect.height() - s.h) / 2);
  pango_cairo_show_layout(cr, l.get());
  if (state.disabled) {
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, 0.45);
  }
  cairo_restore(cr);
}

}  // namespace vesk_ui
