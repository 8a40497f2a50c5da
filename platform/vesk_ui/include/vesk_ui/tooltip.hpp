#pragma once
// Hover tooltips. The view tells the TooltipHost, on every pointer move,
// which labelled rectangle is under the pointer (or none); the host shows
// the tooltip once the pointer has rested on the same candidate for the
// delay, and hides it as soon as the candidate changes or goes.

#include <optional>
#include <string>

#include "vesk_ui/clock.hpp"
#include "vesk_ui/geometry.hpp"

typedef struct _cairo cairo_t;

namespace vesk_ui {

class Painter;

struct TooltipCandidate {
  std::string label;
  Rect rect;  // what the tooltip is about; it is placed beside this
  friend bool operator==(const TooltipCandidate&, const TooltipCandidate&) = default;
};

class TooltipHost {
 public:
  static constexpr Millis kDefaultDelay{600};
  explicit TooltipHost(Millis delay = kDefaultDelay) : delay_(delay) {}

  // Answers whether what is shown changed (the view then redraws).
  bool on_pointer(std::optional<TooltipCandidate> candidate, Instant now);
  // Advances the delay; answers whether the tooltip just appeared.
  bool tick(Instant now);
  // The tooltip to draw now, if any.
  const std::optional<TooltipCandidate>& shown() const { return shown_; }
  // A candidate is waiting for its delay (the view should keep animating).
  bool is_pending() const { return pending_.has_value() && !shown_; }

 private:
  Millis delay_;
  std::optional<TooltipCandidate> pending_;
  Instant since_;
  std::optional<TooltipCandidate> shown_;
};

namespace tooltip {

// The bubble's rectangle: centred under the candidate (above when there is
// no room below), kept inside the window.
Rect bubble_rect(cairo_t* cr, const TooltipCandidate& c, Rect window);
void draw_hover_tooltip(cairo_t* cr, const TooltipCandidate& c, Rect window);
void draw_hover_tooltip(Painter& painter, const TooltipCandidate& c, Rect window);

}  // namespace tooltip
}  // namespace vesk_ui
