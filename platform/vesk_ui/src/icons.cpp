#include "vesk_ui/icons.hpp"

#include <array>
#include <utility>

namespace vesk_ui::icons {

std::string_view glyph(std::uint16_t code) {
  static constexpr std::array<std::pair<std::uint16_t, std::string_view>, 16> kGlyphs = {{
      {1, "✕"},      // close
      {2, "✓"},      // check
      {15, "↑"},     // move up
      {16, "↓"},     // move down / collapse
      {18, "+"},     // new
      {21, "⚙"},     // settings
      {24, "🔍"},     // search
      {30, "🔊"},     // voice
      {33, "#"},     // channel
      {36, "🗄"},  // archive
      {42, "🎤"},     // microphone
      {49, "✎"},     // edit / rename
      {55, "📌"},     // pin
      {60, "➤"},     // send
      {66, "🙂"},  // emoji
      {78, "🗑"},  // delete
  }};
  for (const auto& [c, g] : kGlyphs) {
    if (c == code) return g;
  }
  return {};
}

}  // namespace vesk_ui::icons
