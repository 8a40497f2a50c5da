#pragma once
// Avatar: a person's round badge. The drawing half comes with the widgets;
// the initials rule is pure so that identity code can use it without a window.

#include <optional>
#include <string>
#include <string_view>

#include "vesk_ui/geometry.hpp"
#include "vesk_ui/ink.hpp"

namespace vesk_ui {

class Painter;

class Avatar {
 public:
  // Up to two initials: the first letter of each of the first two words of
  // `name` that contain a letter, upper-cased (Unicode-aware, so "émile
  // zola" gives "ÉZ"). Words are separated by white space. Answers the empty
  // text when the name holds no letter at all; invalid UTF-8 is read
  // leniently (broken bytes are skipped, never copied out).
  static std::string initials_for_name(std::string_view name);

  // Draws a round badge of diameter `size` with its top-left corner at
  // `top_left`: the initials (white, bold, sized to the badge) on `color`,
  // and, when given, a presence dot of that colour at the bottom-right,
  // ringed by `ring` so it reads against any background.
  static void draw_at(cairo_t* cr, Point top_left, double size, std::string_view initials,
                      ink::Rgba color, std::optional<ink::Rgba> presence = std::nullopt,
                      ink::Rgba ring = ink::rgb8(0x1b, 0x1d, 0x22));
  static void draw_at(Painter& painter, Point top_left, double size, std::string_view initials,
                      ink::Rgba color, std::optional<ink::Rgba> presence = std::nullopt,
                      ink::Rgba ring = ink::rgb8(0x1b, 0x1d, 0x22));
};

}  // namespace vesk_ui
