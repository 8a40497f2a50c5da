#include "vesk_ui/presence.hpp"

#include "vesk_ui/theme.hpp"

namespace vesk_ui {

namespace presence {

const std::array<Color, kPaletteSize>& palette() {
  static const std::array<Color, kPaletteSize> p = {
      Color::rgb(0x7c9cff),  // blue
      Color::rgb(0x4cc38a),  // green
      Color::rgb(0xf2a65a),  // orange
      Color::rgb(0xe879a6),  // pink
      Color::rgb(0xb48cff),  // violet
      Color::rgb(0x3fc4d2),  // teal
      Color::rgb(0xe5c453),  // yellow
      Color::rgb(0xf07c6c),  // coral
  };
  return p;
}

Color user_color(std::uint32_t color_idx) {
  return palette()[color_idx % kPaletteSize];
}

Color status_color(PresenceStatus status, const Theme& theme) {
  switch (status) {
    case PresenceStatus::Online:
      return theme.colors.success;
    case PresenceStatus::Idle:
      return theme.colors.warning;
    case PresenceStatus::Dnd:
      return theme.colors.danger;
    case PresenceStatus::Offline:
      break;
  }
  return theme.colors.text_dim;
}

}  // namespace presence

Color PresenceCtx::color_for(std::string_view user_id, std::uint32_t color_idx) const {
  return presence::user_color(is_self(user_id) ? self_color_idx_ : color_idx);
}

}  // namespace vesk_ui
