#pragma once
// The machine user's identity, when the machine has one: a 32-byte public key
// and a name. It is provisioned outside the chat (an identity file under the
// user's config directory); the chat only reads it.
//
// File format (UTF-8 text, one "key = value" per line, '#' starts a comment):
//   public_key = <64 hex digits>
//   name = <display name>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "base/result.hpp"

namespace runtime_identity {

struct Identity {
  std::array<std::uint8_t, 32> public_key{};
  std::string name;
};

namespace unix {

// $VESK_IDENTITY_FILE, else $XDG_CONFIG_HOME/vesk/identity, else
// ~/.config/vesk/identity; nothing when none of these can be formed.
std::optional<std::filesystem::path> default_path();

// The identity at default_path(), or nothing when the machine has none or the
// file cannot be read as one.
std::optional<Identity> load();
std::optional<Identity> load_from(const std::filesystem::path& path);

// Writes an identity file (mode 0600), replacing any earlier one atomically.
base::Status store(const std::filesystem::path& path, const Identity& identity);

}  // namespace unix
}  // namespace runtime_identity
