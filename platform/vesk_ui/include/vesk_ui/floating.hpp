#pragma once
// Floating surfaces: a small card (a call, a player) that floats over the
// window, can be dragged, detached onto the desktop as a borderless window of
// its own, and dragged back in. FloatingPlacement is the card's geometry and
// hand-off state, owned by the view that draws the card; the messages below
// are how the framework tells that view what happened to its desktop window.
//
// Coordinates: window rectangles are logical pixels of the main window;
// desktop rectangles are logical pixels of the desktop. The framework gives
// the main window's origin on the desktop with every message it sends, so a
// view never needs to know where its window is.

#include <optional>
#include <string>
#include <variant>

#include "vesk_ui/clock.hpp"
#include "vesk_ui/geometry.hpp"

typedef struct _cairo cairo_t;

namespace vesk_ui::floating_surface {

// Messages addressed to a floating surface by its identifier.
struct MoveTo {  // the desktop window moved (desktop coordinates)
  std::string surface;
  Rect rect;
};
struct Detach {  // hand the surface to the desktop at rect (desktop coordinates)
  std::string surface;
  Rect rect;
};
struct Reattach {  // the desktop window was dropped on the main window at rect (window coordinates)
  std::string surface;
  Rect rect;
};
using Message = std::variant<MoveTo, Detach, Reattach>;

const std::string& target(const Message& m);
// The rectangle a message carries.
std::optional<Rect> protocol_rect(const Message& m);

// What a surface tells the framework about itself each frame.
struct SurfaceDescription {
  std::string id;
  Rect rect;   // the card
  Rect inner;  // its content, inset by 8
};

// A presentation transform: draw the card at its rect() after translating
// by (dx, dy) and scaling by `scale` about the rect's centre, at `opacity`.
struct Transform {
  double dx = 0;
  double dy = 0;
  double scale = 1;
  double opacity = 1;
  bool is_identity() const { return dx == 0 && dy == 0 && scale == 1 && opacity == 1; }
  void apply(cairo_t* cr, Rect rect) const;
};

// How an attached card sits in the window: the chrome around the placement
// rectangle (the card's content reaches this far beyond it) and the anchor,
// as fractions of the window, where the card's centre goes; the card's size
// is the given fractions of the window's.
struct AttachedChrome {
  double inset_left = 0;
  double inset_top = 0;
  double inset_right = 0;
  double inset_bottom = 0;
  double anchor_x = 0.5;
  double anchor_y = 0.5;
  double width_fraction = 0.25;
  double height_fraction = 0.25;
};

enum class DragEnd : unsigned char { Stayed, LeftWindow };

class FloatingPlacement {
 public:
  static constexpr double kMinWidth = 220;
  static constexpr double kMinHeight = 150;
  static constexpr Millis kHandoff{420};

  // The card's rectangle in window coordinates. Attached: from the chrome
  // (or default_frame without one) plus where the user dragged it, kept with
  // its chrome inside the window. Detached: its desktop rectangle seen from
  // the window. While dragging: under the pointer.
  Rect rect(Rect window, Rect default_frame) const;
  void set_attached_chrome(const AttachedChrome& chrome) { chrome_ = chrome; }
  const std::optional<AttachedChrome>& attached_chrome() const { return chrome_; }

  bool is_detached() const { return detached_; }
  // Where the window sits on the desktop (the framework's answer; 0,0 in
  // screenshots, where the window is the whole desktop).
  void set_window_origin(Point desktop) { window_origin_ = desktop; }

  void begin_drag(Point pointer, Rect window, Rect default_frame);
  void update_drag(Point pointer);
  // Ends a drag. An attached card dropped with its centre outside the window
  // answers LeftWindow: the framework then detaches it.
  DragEnd end_drag(Rect window, Rect default_frame);
  bool is_dragging() const { return drag_.has_value(); }

  // Hands the card to the desktop at desktop_rect; animated from `from`
  // (window coordinates, usually its last rect()).
  void detach_to_desktop(Rect desktop_rect, Rect from, Instant now);
  // The desktop window moved (a MoveTo message): a detached card follows it,
  // so the next frame presents it where the user left it.
  void moved_on_desktop(Rect desktop_rect) {
    if (detached_) desktop_rect_ = desktop_rect;
  }
  // The desktop window was dropped on the main window at rect (window
  // coordinates): the card animates from there to its attached place.
  void reattach_to_app(Rect rect, Instant now);
  // The view has drawn the card in the window again; the desktop window may
  // go. Until then the surface counts as detached for the framework.
  void confirm_app_adoption() { adoption_pending_ = false; }
  bool awaiting_adoption() const { return adoption_pending_; }

  bool is_handoff_animating(Instant now) const;
  // Freezes the hand-off at `elapsed` after its start (or shows the settled
  // card when none runs), so screenshots show one chosen moment.
  void pin_handoff_for_visual_review(Millis elapsed) { pinned_ = elapsed; }
  Transform presentation_transform(Rect window, Rect default_frame, Instant now) const;

  // Forgets drags, offsets and hand-offs (a new call starts attached).
  void reset() { *this = FloatingPlacement(); }

 private:
  Rect attached_base(Rect window, Rect default_frame) const;
  Rect clamp_attached(Rect r, Rect window) const;
  double handoff_progress(Instant now) const;

  std::optional<AttachedChrome> chrome_;
  Point offset_;  // user's move of the attached card from its base
  bool detached_ = false;
  bool adoption_pending_ = false;
  Rect desktop_rect_;
  Point window_origin_;
  struct Drag {
    Point grab;     // pointer minus card origin
    Point pointer;  // latest pointer, window coordinates
    Size size;
  };
  std::optional<Drag> drag_;
  struct Handoff {
    Rect from;  // window coordinates
    Instant start;
  };
  std::optional<Handoff> handoff_;
  std::optional<Millis> pinned_;
};

}  // namespace vesk_ui::floating_surface

namespace vesk_ui {
using floating_surface::FloatingPlacement;
}
