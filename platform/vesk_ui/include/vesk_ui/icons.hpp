#pragma once
// The icon set: small numbered glyphs drawn with the text fonts, so menus and
// buttons need no image files. Unknown codes have no glyph.

#include <cstdint>
#include <string_view>

namespace vesk_ui::icons {

// The glyph (UTF-8) for an icon code, or the empty text.
std::string_view glyph(std::uint16_t code);

}  // namespace vesk_ui::icons
