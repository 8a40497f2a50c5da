#include "vesk_ui/floating.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace vesk_ui::floating_surface {

const std::string& target(const Message& m) {
  return std::visit([](const auto& v) -> const std::string& { return v.surface; }, m);
}

std::optional<Rect> protocol_rect(const Message& m) {
  const Rect r = std::visit([](const auto& v) { return v.rect; }, m);
  // A rectangle from another process is checked before anyone sizes a
  // window from it.
  const bool finite =
      std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1);
  if (!finite || r.is_empty()) return std::nullopt;
  return r;
}

void Transform::apply(cairo_t* cr, Rect rect) const {
  const Point c = rect.center();
  cairo_translate(cr, c.x + dx, c.y + dy);
  cairo_scale(cr, scale, scale);
  cairo_translate(cr, -c.x, -c.y);
}

Rect FloatingPlacement::attached_base(Rect window, Rect default_frame) const {
  if (!chrome_) return default_frame;
  const AttachedChrome& c = *chrome_;
  const double w = std::max(kMinWidth, window.width() * c.width_fraction);
  const double h = std::max(kMinHeight, window.height() * c.height_fraction);
  const double cx = window.x0 + window.width() * c.anchor_x;
  const double cy = window.y0 + window.height() * c.anchor_y;
  return Rect::from_xywh(cx - w / 2, cy - h / 2, w, h);
}

Rect FloatingPlacement::clamp_attached(Rect r, Rect window) const {
  const AttachedChrome c = chrome_.value_or(AttachedChrome{});
  // Keep the card with its chrome inside the window; a window too small for
  // it pins the card to the top-left.
  const double min_x = window.x0 + c.inset_left;
  const double max_x = window.x1 - c.inset_right - r.width();
  const double min_y = window.y0 + c.inset_top;
  const double max_y = window.y1 - c.inset_bottom - r.height();
  const double x = std::max(min_x, std::min(r.x0, max_x));
  const double y = std::max(min_y, std::min(r.y0, max_y));
  return Rect::from_xywh(x, y, r.width(), r.height());
}

Rect FloatingPlacement::rect(Rect window, Rect default_frame) const {
  if (drag_) {
    return Rect::from_xywh(drag_->pointer.x - drag_->grab.x, drag_->pointer.y - drag_->grab.y,
                           drag_->size.w, drag_->size.h);
  }
  if (detached_) return desktop_rect_.translated(-window_origin_.x, -window_origin_.y);
  return clamp_attached(attached_base(window, default_frame).translated(offset_.x, offset_.y),
                        window);
}

void FloatingPlacement::begin_drag(Point pointer, Rect window, Rect default_frame) {
  const Rect r = rect(window, default_frame);
  drag_ = Drag{Point{pointer.x - r.x0, pointer.y - r.y0}, pointer, r.size()};
}

void FloatingPlacement::update_drag(Point pointer) {
  if (drag_) drag_->pointer = pointer;
}

DragEnd FloatingPlacement::end_drag(Rect window, Rect default_frame) {
  if (!drag_) return DragEnd::Stayed;
  const Rect dropped = rect(window, default_frame);
  drag_.reset();
  if (detached_) {
    desktop_rect_ = dropped.translated(window_origin_.x, window_origin_.y);
    return DragEnd::Stayed;
  }
  if (!window.contains(dropped.center())) {
    // Stay where it was dropped until the framework's detach arrives.
    desktop_rect_ = dropped.translated(window_origin_.x, window_origin_.y);
    return DragEnd::LeftWindow;
  }
  const Rect base = attached_base(window, default_frame);
  const Rect kept = clamp_attached(dropped, window);
  offset_ = Point{kept.x0 - base.x0, kept.y0 - base.y0};
  return DragEnd::Stayed;
}

void FloatingPlacement::detach_to_desktop(Rect desktop_rect, Rect from, Instant now) {
  detached_ = true;
  adoption_pending_ = false;
  desktop_rect_ = desktop_rect;
  drag_.reset();
  handoff_ = Handoff{from, now};
}

void FloatingPlacement::reattach_to_app(Rect rect, Instant now) {
  detached_ = false;
  adoption_pending_ = true;
  drag_.reset();
  offset_ = Point{};
  handoff_ = Handoff{rect, now};
}

double FloatingPlacement::handoff_progress(Instant now) const {
  if (!handoff_) return 1;
  const Millis elapsed = pinned_ ? *pinned_ : Millis(now - handoff_->start);
  return std::clamp(elapsed / kHandoff, 0.0, 1.0);
}

bool FloatingPlacement::is_handoff_animating(Instant now) const {
  return handoff_ && !pinned_ && handoff_progress(now) < 1;
}

Transform FloatingPlacement::presentation_transform(Rect window, Rect default_frame,
                                                    Instant now) const {
  const double t = handoff_progress(now);
  if (t >= 1 || drag_) return Transform{};
  const double e = 1 - (1 - t) * (1 - t) * (1 - t);  // ease-out cubic
  const Rect to = rect(window, default_frame);
  const Rect& from = handoff_->from;
  const Point fc = from.center();
  const Point tc = to.center();
  Transform out;
  out.dx = (fc.x - tc.x) * (1 - e);
  out.dy = (fc.y - tc.y) * (1 - e);
  const double from_scale = to.width() > 0 ? from.width() / to.width() : 1;
  out.scale = from_scale + (1 - from_scale) * e;
  out.opacity = 0.8 + 0.2 * e;
  return out;
}

}  // namespace vesk_ui::floating_surface
