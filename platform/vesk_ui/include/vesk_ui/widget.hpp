#pragma once
// The Widget protocol: how the frame loop (window or screenshot) drives the
// application's root widget. Per frame, in this order:
//   sync          -> bring state up to date (the document is lent here)
//   build_layout  -> describe the layout tree
//   apply_layout  -> receive the solved rectangles of the same frame
//   draw          -> paint everything, in logical pixels
// handle_event runs between frames, once per input event. When
// needs_animation_frame() answers false and no event arrives, the window
// sleeps: a widget that animates must say so here.
//
// After each drawn frame the framework collects accessibility(): it answers
// the automation endpoint's "accessibility.tree" (and would feed a desktop
// accessibility bridge). Automation names controls; the framework hands such
// a request to perform_semantic_action on the UI thread.
//
// All calls come on the UI thread, one at a time.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vesk_ui/accessibility.hpp"
#include "vesk_ui/clock.hpp"
#include "vesk_ui/event.hpp"
#include "vesk_ui/floating.hpp"
#include "vesk_ui/geometry.hpp"
#include "vesk_ui/layout.hpp"

namespace crdt {
class Document;
}
namespace vesk_actions {
class AutomationHost;
}
namespace vesk_ui::floating_surface {
class DesktopHost;
}

namespace vesk_ui {

class Painter;
class TextRenderer;
struct Theme;

struct SyncContext {
  crdt::Document* document = nullptr;  // lent for this call; null when none was opened
  const Theme& theme;
  TextRenderer& text;
  Size window;  // logical pixels
  double scale_factor = 1;
  Instant now;
  // Where the window's top-left corner sits on the desktop (0,0 in shots).
  Point window_origin;
};

struct LayoutContext {
  const Theme& theme;
  TextRenderer& text;
  Size window;  // logical pixels
  double scale_factor = 1;
};

struct DrawContext {
  Painter& painter;  // already scaled: draw in logical pixels
  const Theme& theme;
  TextRenderer& text;
  Size window;  // logical pixels
  double scale_factor = 1;
  Instant now;
  // Shows detached floating surfaces. A surface presented in a frame stays
  // on the desktop; one no longer presented goes away after the frame.
  floating_surface::DesktopHost& desktop;
};

class Widget {
 public:
  virtual ~Widget() = default;

  virtual std::string_view type_name() const { return "vesk_ui::Widget"; }
  virtual std::string_view debug_name() const { return type_name(); }

  virtual void sync(SyncContext& /*ctx*/) {}
  // Default: one node named "root" filling the window.
  virtual LayoutNode build_layout(const LayoutContext& /*ctx*/) { return LayoutNode::fill(); }
  virtual void apply_layout(const LayoutResult& /*layout*/) {}
  virtual void draw(DrawContext& ctx) = 0;
  // Surfaces that float above everything else (menus, the detached call
  // card); drawn after draw() in the same frame.
  virtual void draw_floating_surfaces(DrawContext& /*ctx*/) {}

  // Answers whether the event was handled. `scale_factor` turns the event's
  // physical pixels into logical ones.
  virtual bool handle_event(const Event& /*event*/, double /*scale_factor*/) { return false; }

  virtual bool needs_animation_frame() const { return false; }
  // Hands over and clears a one-shot request for one more frame.
  virtual bool take_redraw_request() { return false; }

  virtual Rect bounds() const { return {}; }
  // The operation kinds this widget handles (for the action host).
  virtual std::vector<std::string> operation_kinds() const { return {}; }

  // The accessibility tree of the frame just drawn. Default: one window node.
  virtual accessibility::Tree accessibility() const {
    return {{"window", std::string(debug_name()), bounds(), "", {}}, {}};
  }
  // The rectangle of synthetic node `index` of the last frame, when in range.
  virtual std::optional<Rect> synthetic_accessibility_rect(std::size_t /*index*/) const {
    return std::nullopt;
  }
  // Moves the keyboard focus to synthetic node `index`; false when out of range.
  virtual bool focus_synthetic_accessibility(std::size_t /*index*/) { return false; }
  // Runs the control named `name` (a semantic name); false when nothing on
  // screen answers to it or the action does not apply.
  virtual bool perform_semantic_action(std::string_view /*name*/,
                                       const accessibility::SemanticAction& /*action*/) {
    return false;
  }

  // Requests to the framework about floating surfaces (a card dragged out of
  // the window asks to be detached); handed over and cleared after each
  // event. The framework answers with FloatingSurfaceEvents.
  virtual std::vector<floating_surface::Message> take_floating_requests() { return {}; }

  // The widget under the action framework's interface (resources, actions,
  // search) for automation clients; null when it offers none.
  virtual vesk_actions::AutomationHost* automation_host() { return nullptr; }
};

}  // namespace vesk_ui
