#pragma once
// Presence: the eight-colour palette that tells people apart, status dot
// colours, and the per-frame context that knows who "self" is.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "vesk_ui/color.hpp"

namespace vesk_ui {

struct Theme;

enum class PresenceStatus : std::uint8_t { Online, Idle, Dnd, Offline };

namespace presence {

inline constexpr std::size_t kPaletteSize = 8;
// The palette; every entry reads on the dark theme's surfaces.
const std::array<Color, kPaletteSize>& palette();
// The palette colour of a colour index; indices wrap (index mod 8).
Color user_color(std::uint32_t color_idx);
Color status_color(PresenceStatus status, const Theme& theme);

}  // namespace presence

// Built per frame from the local identity: colours people and names "self".
class PresenceCtx {
 public:
  PresenceCtx() = default;
  PresenceCtx(std::string self_id, std::string self_name, std::uint32_t self_color_idx)
      : self_id_(std::move(self_id)),
        self_name_(std::move(self_name)),
        self_color_idx_(self_color_idx) {}

  // The colour of a person: self always gets self's own index (so a stale
  // record cannot recolour the user), others their own index.
  Color color_for(std::string_view user_id, std::uint32_t color_idx) const;
  bool is_self(std::string_view user_id) const { return !self_id_.empty() && user_id == self_id_; }
  std::string_view self_id() const { return self_id_; }
  std::string_view self_name() const { return self_name_; }

 private:
  std::string self_id_;
  std::string self_name_;
  std::uint32_t self_color_idx_ = 0;
};

}  // namespace vesk_ui
