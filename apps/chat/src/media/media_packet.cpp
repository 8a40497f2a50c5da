#include "media/media_packet.hpp"

#include <limits>

namespace chat::media {
namespace {

template <typename T>
void put_le(std::vector<std::uint8_t>& out, T v) {
  for (std::size_t i = 0; i < sizeof(T); ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

template <typename T>
T get_le(const std::uint8_t* p) {
  T v = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(p[i]) << (8 * i);
  return v;
}

}  // namespace

std::string_view kind_name(MediaKind kind) {
  switch (kind) {
    case MediaKind::Microphone:
      return "Microphone";
    case MediaKind::Camera:
      return "Camera";
    case MediaKind::Screen:
      return "Screen sharing";
  }
  return "Media";
}

MediaTime MediaTime::from_millis(std::uint64_t ms) {
  return MediaTime{ms / 1000, static_cast<std::uint32_t>((ms % 1000) * 1'000'000)};
}

std::optional<std::uint64_t> MediaTime::millis() const {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t frac = nanos / 1'000'000;
  if (secs > (kMax - frac) / 1000) return std::nullopt;
  return secs * 1000 + frac;
}

bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > text.size()) return false;
    for (std::size_t k = 1; k < len; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
      return false;
    }
    i += len;
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> encode_packet(const MediaPacket& p) {
  const std::size_t n = p.sender.size();
  const std::size_t m = p.payload.size();
  const auto ms = p.timestamp.millis();
  if (n < 1 || n > kMaxSenderBytes || m > kMaxPayloadBytes || !ms || !is_valid_utf8(p.sender))
    return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(kPacketHeaderBytes + n + m);
  out.push_back(static_cast<std::uint8_t>(p.kind));
  put_le<std::uint64_t>(out, p.seq);
  put_le<std::uint64_t>(out, *ms);
  put_le<std::uint16_t>(out, static_cast<std::uint16_t>(n));
  out.insert(out.end(), p.sender.begin(), p.sender.end());
  put_le<std::uint32_t>(out, static_cast<std::uint32_t>(m));
  out.insert(out.end(), p.payload.begin(), p.payload.end());
  return out;
}

std::optional<MediaPacket> decode_packet(std::span<const std::uint8_t> b) {
  if (b.size() < 19) return std::nullopt;
  if (b[0] >= 3) return std::nullopt;
  const std::size_t n = get_le<std::uint16_t>(&b[17]);
  if (n < 1 || n > kMaxSenderBytes || kPacketHeaderBytes + n > b.size()) return std::nullopt;
  const std::size_t m = get_le<std::uint32_t>(&b[19 + n]);
  if (m > kMaxPayloadBytes || b.size() != kPacketHeaderBytes + n + m) return std::nullopt;
  MediaPacket p;
  p.sender.assign(reinterpret_cast<const char*>(&b[19]), n);
  if (!is_valid_utf8(p.sender)) return std::nullopt;
  p.kind = static_cast<MediaKind>(b[0]);
  p.seq = get_le<std::uint64_t>(&b[1]);
  p.timestamp = MediaTime::from_millis(get_le<std::uint64_t>(&b[9]));
  p.payload.assign(b.begin() + static_cast<std::ptrdiff_t>(kPacketHeaderBytes + n), b.end());
  return p;
}

}  // namespace chat::media
