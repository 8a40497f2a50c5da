#include "base/random.hpp"

#include <sodium.h>

#include <cstdlib>
#include <cstdio>

namespace base {
namespace {
void ensure_sodium() {
  static const bool ready = [] {
    if (sodium_init() < 0) {
      std::fputs("fatal: libsodium could not initialise the system random source\n", stderr);
      std::abort();
    }
    return true;
  }();
  (void)ready;
}
}  // namespace

void random_bytes(void* out, std::size_t size) {
  ensure_sodium();
  randombytes_buf(out, size);
}

std::uint64_t random_u64() {
  std::uint64_t v = 0;
  random_bytes(&v, sizeof v);
  return v;
}

Uuid Uuid::v4() {
  Uuid u;
  random_bytes(u.bytes.data(), u.bytes.size());
  u.bytes[6] = static_cast<std::uint8_t>((u.bytes[6] & 0x0f) | 0x40);
  u.bytes[8] = static_cast<std::uint8_t>((u.bytes[8] & 0x3f) | 0x80);
  return u;
}

std::string to_hex(const std::uint8_t* data, std::size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  s.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    s.push_back(kDigits[data[i] >> 4]);
    s.push_back(kDigits[data[i] & 15]);
  }
  return s;
}

std::string Uuid::simple() const { return to_hex(bytes.data(), bytes.size()); }

std::string Uuid::hyphenated() const {
  std::string h = simple();
  h.insert(20, "-");
  h.insert(16, "-");
  h.insert(12, "-");
  h.insert(8, "-");
  return h;
}

}  // namespace base
