#pragma once
// ContextMenu: a popup list of actions. While open it takes every input
// event first (an event it consumes goes no further): the pointer hovers and
// clicks items, Up/Down/Home/End move the highlight, Enter or Space chooses,
// Escape or a press outside closes. A choice is reported once and closes
// the menu. Automation reaches items as "context-menu:item:" + index (or +
// the item's label).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vesk_ui/accessibility.hpp"
#include "vesk_ui/event.hpp"
#include "vesk_ui/geometry.hpp"
#include "vesk_ui/ink.hpp"

namespace vesk_ui {

class Painter;

struct ContextMenuItem {
  std::string label;
  bool destructive = false;
  std::uint16_t icon = 0;  // icons::glyph code; 0 for none
};

struct ContextMenuStyle {
  std::string font_family = "Noto Sans";
  double font_size = 13.5;
  double item_height = 30;
  double padding = 6;
  double min_width = 180;
  double corner_radius = 10;
  ink::Rgba background = ink::rgb8(0x23, 0x25, 0x2b);
  ink::Rgba border = ink::rgb8(0xff, 0xff, 0xff, 0.10);
  ink::Rgba text = ink::rgb8(0xe6, 0xe8, 0xee);
  ink::Rgba icon = ink::rgb8(0xa8, 0xad, 0xba);
  ink::Rgba destructive = ink::rgb8(0xf2, 0x5c, 0x5c);
  ink::Rgba highlight = ink::rgb8(0x4f, 0x6b, 0xed, 0.85);
  ink::Rgba shadow = ink::rgb8(0, 0, 0, 0.35);
};

class ContextMenu {
 public:
  static constexpr std::string_view kItemPrefix = "context-menu:item:";

  struct Outcome {
    bool consumed = false;
    std::optional<std::size_t> chosen;  // the item picked by this event
  };

  void push(ContextMenuItem item) { items_.push_back(std::move(item)); }
  void push(std::string label, bool destructive, std::uint16_t icon) {
    push(ContextMenuItem{std::move(label), destructive, icon});
  }
  const std::vector<ContextMenuItem>& items() const { return items_; }

  // Opens with the top-left corner at p.
  void open_at(Point p);
  // Opens at p, moved (or flipped to the pointer's other side) so the whole
  // menu stays inside bounds; a menu larger than bounds keeps its top-left
  // corner inside them.
  void open_at_clamped(Point p, Rect bounds);
  void close();
  bool is_open() const { return open_; }

  Rect rect() const;
  Rect item_rect(std::size_t i) const;
  std::optional<std::size_t> highlighted() const { return highlight_; }

  Outcome handle_event(const Event& event, double scale_factor = 1);
  // Runs a semantic action name; answers the chosen item when it names one.
  std::optional<std::size_t> perform_semantic_action(std::string_view name);
  accessibility::Node accessibility() const;

  void set_style(ContextMenuStyle s);
  const ContextMenuStyle& style() const { return style_; }
  void paint(cairo_t* cr) const;
  void paint(Painter& painter) const;

 private:
  Size measure() const;
  std::optional<std::size_t> item_at(Point p) const;
  std::optional<std::size_t> choose(std::size_t i);
  void step(int delta);

  std::vector<ContextMenuItem> items_;
  ContextMenuStyle style_;
  Point origin_;
  mutable std::optional<Size> size_;
  bool open_ = false;
  std::optional<std::size_t> highlight_;
};

}  // namespace vesk_ui
