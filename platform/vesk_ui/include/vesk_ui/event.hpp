#pragma once
// Input events as the frame loop delivers them to Widget::handle_event.
// Pointer positions are in physical pixels; the widget divides them by the
// scale factor passed beside the event to get logical pixels.

#include <cstdint>
#include <string>
#include <variant>

#include "vesk_ui/floating.hpp"
#include "vesk_ui/geometry.hpp"

namespace vesk_ui {

enum class PointerButton : std::uint8_t { Primary, Secondary, Middle, Other };

struct Modifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool super = false;
  friend bool operator==(const Modifiers&, const Modifiers&) = default;
  bool none() const { return !shift && !ctrl && !alt && !super; }
};

// Keys by meaning. Letters, digits and punctuation arrive as Key::Character
// with the unshifted character of the key in `character` (so Ctrl+C is
// Character 'c' with ctrl); typed text comes separately as a TextEvent.
enum class Key : std::uint8_t {
  Unknown,
  Character,
  Enter,
  Escape,
  Tab,
  Backspace,
  Delete,
  Insert,
  Left,
  Right,
  Up,
  Down,
  Home,
  End,
  PageUp,
  PageDown,
  Space,
  F1,
  F2,
  F3,
  F4,
  F5,
  F6,
  F7,
  F8,
  F9,
  F10,
  F11,
  F12,
};

struct PointerMoveEvent {
  Point position;
  Modifiers modifiers;
};

struct PointerPressEvent {
  Point position;
  PointerButton button = PointerButton::Primary;
  Modifiers modifiers;
  int clicks = 1;  // 2 for a double click
};

struct PointerReleaseEvent {
  Point position;
  PointerButton button = PointerButton::Primary;
  Modifiers modifiers;
};

// The pointer left the window.
struct PointerLeaveEvent {};

enum class WheelUnit : std::uint8_t { Lines, Pixels };

// Positive dy scrolls content up (the wheel turned away from the user), as
// desktop wheels report it; dx positive scrolls right.
struct WheelEvent {
  Point position;
  double dx = 0;
  double dy = 0;
  WheelUnit unit = WheelUnit::Lines;
  Modifiers modifiers;
};

struct KeyPressEvent {
  Key key = Key::Unknown;
  char32_t character = 0;  // for Key::Character (and Space: ' ')
  Modifiers modifiers;
  bool repeat = false;
};

struct KeyReleaseEvent {
  Key key = Key::Unknown;
  char32_t character = 0;
  Modifiers modifiers;
};

// Committed text from the keyboard or the input method (UTF-8).
struct TextEvent {
  std::string text;
};

// The input method's composition in progress (pre-edit), to draw at the
// caret; an empty text ends the composition.
struct TextEditingEvent {
  std::string text;
  int cursor = 0;
};

struct FocusEvent {
  bool gained = true;
};

// What happened to a floating surface's desktop window (moved, dropped back
// on the main window), or the framework's answer to a surface's request.
struct FloatingSurfaceEvent {
  floating_surface::Message message;
};

using Event = std::variant<PointerMoveEvent, PointerPressEvent, PointerReleaseEvent,
                           PointerLeaveEvent, WheelEvent, KeyPressEvent, KeyReleaseEvent, TextEvent,
                           TextEditingEvent, FocusEvent, FloatingSurfaceEvent>;

}  // namespace vesk_ui
