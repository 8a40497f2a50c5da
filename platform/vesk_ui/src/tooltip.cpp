#include "vesk_ui/tooltip.hpp"

#include <cairo.h>

#include <algorithm>

#include "vesk_ui/ink.hpp"
#include "vesk_ui/painter.hpp"
#include "widget_text.hpp"

namespace vesk_ui {

bool TooltipHost::on_pointer(std::optional<TooltipCandidate> candidate, Instant now) {
  if (candidate == pending_) return false;
  const bool was_shown = shown_.has_value();
  pending_ = std::move(candidate);
  since_ = now;
  shown_.reset();
  return was_shown;
}

bool TooltipHost::tick(Instant now) {
  if (!pending_ || shown_ || Millis(now - since_) < delay_) return false;
  shown_ = pending_;
  return true;
}

namespace tooltip {
namespace {
constexpr double kFont = 12;
constexpr double kPadX = 8;
constexpr double kPadY = 5;
constexpr double kGap = 6;
}  // namespace

Rect bubble_rect(cairo_t*, const TooltipCandidate& c, Rect window) {
  auto l = text::line(c.label, "Noto Sans", kFont);
  const Size s = text::pixel_size(l.get());
  const double w = s.w + 2 * kPadX;
  const double h = s.h + 2 * kPadY;
  double x = c.rect.center().x - w / 2;
  double y = c.rect.y1 + kGap;
  if (y + h > window.y1 - 4) y = c.rect.y0 - kGap - h;
  x = std::max(window.x0 + 4, std::min(x, window.x1 - 4 - w));
  y = std::max(window.y0 + 4, y);
  return Rect::from_xywh(x, y, w, h);
}

void draw_hover_tooltip(Painter& painter, const TooltipCandidate& c, Rect window) {
  draw_hover_tooltip(painter.cairo(), c, window);
}

void draw_hover_tooltip(cairo_t* cr, const TooltipCandidate& c, Rect window) {
  if (c.label.empty()) return;
  const Rect b = bubble_rect(cr, c, window);
  cairo_save(cr);
  ink::rounded_rect_path(cr, b.x0, b.y0 + 1.5, b.width(), b.height(), 6);
  ink::set_source(cr, ink::Rgba{0, 0, 0, 0.3});
  cairo_fill(cr);
  ink::rounded_rect_path(cr, b.x0, b.y0, b.width(), b.height(), 6);
  ink::set_source(cr, ink::rgb8(0x0f, 0x10, 0x13, 0.96));
  cairo_fill(cr);
  auto l = text::line(c.label, "Noto Sans", kFont);
  ink::set_source(cr, ink::rgb8(0xf1, 0xf2, 0xf5));
  cairo_move_to(cr, b.x0 + kPadX, b.y0 + kPadY);
  pango_cairo_show_layout(cr, l.get());
  cairo_restore(cr);
}

}  // namespace tooltip
}  // namespace vesk_ui
