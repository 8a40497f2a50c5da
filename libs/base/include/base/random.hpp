#pragma once
// Randomness from the system's CSPRNG (libsodium), and version-4 UUIDs.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

void random_bytes(void* out, std::size_t size);
std::uint64_t random_u64();

struct Uuid {
  std::array<std::uint8_t, 16> bytes{};
  static Uuid v4();
  // 32 lower-case hex digits, no hyphens: the form new object ids use.
  std::string simple() const;
  // 8-4-4-4-12 lower-case hex digits.
  std::string hyphenated() const;
};

// Lower-case hex of arbitrary bytes.
std::string to_hex(const std::uint8_t* data, std::size_t size);

// 64-bit FNV-1a over bytes.
constexpr std::uint64_t fnv1a64(std::string_view bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

}  // namespace base
