#include "bytes.hpp"

#include <zlib.h>

namespace crdt::detail {

bool utf8_to_code_points(std::string_view in, std::u32string& out) {
  bool valid = true;
  std::size_t i = 0;
  const std::size_t n = in.size();
  while (i < n) {
    const auto b0 = static_cast<unsigned char>(in[i]);
    if (b0 < 0x80) {
      out.push_back(b0);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xe0) == 0xc0) {
      extra = 1, cp = b0 & 0x1f, min = 0x80;
    } else if ((b0 & 0xf0) == 0xe0) {
      extra = 2, cp = b0 & 0x0f, min = 0x800;
    } else if ((b0 & 0xf8) == 0xf0) {
      extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
      out.push_back(0xfffd);
      valid = false;
      ++i;
      continue;
    }
    bool good = true;
    std::size_t j = 1;
    for (; good && j <= static_cast<std::size_t>(extra); ++j) {
      if (i + j >= n) {
        good = false;
        break;
      }
      const auto b = static_cast<unsigned char>(in[i + j]);
      if ((b & 0xc0) != 0x80) {
        good = false;
        break;
      }
      cp = (cp << 6) | (b & 0x3f);
    }
    if (!good || cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) {
      out.push_back(0xfffd);
      valid = false;
      i += (j > 1 ? j : 1);
      continue;
    }
    out.push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return valid;
}

void append_utf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  } else {
    out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
  }
}

std::string to_utf8(std::u32string_view in) {
  std::string out;
  out.reserve(in.size());
  for (char32_t c : in) append_utf8(c, out);
  return out;
}

std::size_t count_code_points(std::string_view s) {
  std::size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xc0) != 0x80) ++n;
  return n;
}

std::uint32_t crc32(std::span<const std::uint8_t> data) {
  uLong c = ::crc32(0L, Z_NULL, 0);
  std::size_t off = 0;
  while (off < data.size()) {
    const auto chunk = static_cast<uInt>(std::min<std::size_t>(data.size() - off, 1u << 30));
    c = ::crc32(c, data.data() + off, chunk);
    off += chunk;
  }
  return static_cast<std::uint32_t>(c);
}

}  // namespace crdt::detail
