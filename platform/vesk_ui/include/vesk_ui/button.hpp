#pragma once
// Button: the look of a push button. Views own the behaviour (a hit region
// and its control); paint draws one state of it.

#include <string>
#include <string_view>

#include "vesk_ui/geometry.hpp"
#include "vesk_ui/ink.hpp"

namespace vesk_ui {

class Painter;

struct ButtonStyle {
  std::string font_family = "Noto Sans";
  double font_size = 13;
  double corner_radius = 9;
  double padding_x = 14;
  ink::Rgba normal = ink::rgb8(0x2e, 0x31, 0x3a);
  ink::Rgba hovered = ink::rgb8(0x3a, 0x3e, 0x49);
  ink::Rgba active = ink::rgb8(0x4f, 0x6b, 0xed);
  ink::Rgba danger = ink::rgb8(0xd9, 0x3f, 0x3f);
  ink::Rgba text = ink::rgb8(0xe6, 0xe8, 0xee);
  ink::Rgba on_accent = ink::Rgba{1, 1, 1, 1};
};

struct Button {
  enum class Kind : unsigned char { Normal, Active, Danger };
  struct State {
    Kind kind = Kind::Normal;
    bool hovered = false;
    bool disabled = false;
  };

  // The width a label needs at this style.
  static double measure(std::string_view label, const ButtonStyle& style = {});
  // Fills the rounded button and centres its label. Hovered lightens;
  // disabled draws at reduced opacity and ignores hover.
  static void paint(cairo_t* cr, Rect rect, std::string_view label, State state,
                    const ButtonStyle& style = {});
  static void paint(Painter& painter, Rect rect, std::string_view label, State state,
                    const ButtonStyle& style = {});
};

}  // namespace vesk_ui
