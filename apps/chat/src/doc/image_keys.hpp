#pragma once
// How attachment images are named in the image store, what a card shows while
// one is not ready, and how a name turns back into encoded bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chat {

inline constexpr std::string_view kDemoImagePrefix = "vesk-demo://";
inline constexpr std::string_view kBlobImagePrefix = "vesk-blob://";

// The blob reference itself for a built-in picture, else "vesk-blob://" and the reference.
std::string image_key(std::string_view blob);

// What an image card shows before its picture is decoded.
std::string placeholder_text(std::string_view blob);

// The image store's loader: encoded bytes for a key, or nothing. Called from
// the image store's workers, so it keeps no state of its own.
std::optional<std::vector<std::uint8_t>> resolve_image(std::string_view key);

}  // namespace chat
