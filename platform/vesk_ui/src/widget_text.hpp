#pragma once
// Pango layouts for the widgets of this library, made the same way every
// time (no hinting, unrounded glyph positions, absolute pixel sizes) so that
// what a widget measures is what it draws, at any scale.

#include <pango/pangocairo.h>

#include <memory>
#include <string>
#include <string_view>

#include "vesk_ui/geometry.hpp"

namespace vesk_ui::text {

struct GObjectUnref {
  void operator()(void* p) const { g_object_unref(p); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, GObjectUnref>;

// The pinned font set every renderer starts from (text.cpp), so widgets
// shape exactly like the rest of the window on any machine.
PangoFontMap* pinned_font_map();

LayoutPtr new_layout();
void set_font(PangoLayout* layout, const std::string& family, double size_px, bool bold = false);
// A one-line layout of text, in the family and size given.
LayoutPtr line(std::string_view text, const std::string& family, double size_px, bool bold = false);
Size pixel_size(PangoLayout* layout);
// Fills the area covered by the byte range [start, end) of a layout drawn
// at origin, line by line, with the current source.
void fill_range(cairo_t* cr, PangoLayout* layout, Point origin, std::size_t start, std::size_t end);

}  // namespace vesk_ui::text
