#pragma once
// Pictures the program draws itself for the demonstration workspace, so that
// seeded messages can show images without shipping any files.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace chat {

// PNG bytes of the named picture: "call-grid" (640 × 360) or "shared-shot"
// (620 × 400); nothing for any other name.
std::optional<std::vector<std::uint8_t>> demo_picture_png(std::string_view name);

}  // namespace chat
