#pragma once
// The unit of call media on the wire and in the session's queues, and its
// byte layout (all integers little-endian, no padding):
//   kind u8 | seq u64 | timestamp ms u64 | n u16 | sender (n bytes UTF-8)
//   | m u32 | payload (m bytes)

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace chat::media {

enum class MediaKind : std::uint8_t { Microphone = 0, Camera = 1, Screen = 2 };

// "Microphone", "Camera", "Screen sharing": the names used in notices.
std::string_view kind_name(MediaKind kind);

inline constexpr std::size_t kMaxSenderBytes = 256;
inline constexpr std::size_t kMaxPayloadBytes = 2'097'152;
inline constexpr std::size_t kPacketHeaderBytes = 23;
inline constexpr std::size_t kMaxPacketBytes =
    kPacketHeaderBytes + kMaxSenderBytes + kMaxPayloadBytes;

// Media time as whole seconds and nanoseconds; milliseconds on the wire.
struct MediaTime {
  std::uint64_t secs = 0;
  std::uint32_t nanos = 0;  // below 1,000,000,000

  static MediaTime from_millis(std::uint64_t ms);
  // Seconds × 1000 + nanoseconds ÷ 1,000,000, or nothing when that overflows.
  std::optional<std::uint64_t> millis() const;
  friend bool operator==(const MediaTime&, const MediaTime&) = default;
};

struct MediaPacket {
  MediaKind kind = MediaKind::Microphone;
  std::uint64_t seq = 0;
  MediaTime timestamp;
  std::string sender;
  std::vector<std::uint8_t> payload;
  friend bool operator==(const MediaPacket&, const MediaPacket&) = default;
};

// The packet's bytes, or nothing when it may not be sent: sender of 1 to 256
// bytes of UTF-8, payload of at most 2 MiB, timestamp that fits in 64-bit ms.
std::optional<std::vector<std::uint8_t>> encode_packet(const MediaPacket& packet);

// A packet from a received frame body, or nothing when any rule is broken:
// known kind, sender of 1 to 256 bytes of valid UTF-8, payload of at most
// 2 MiB, and a length that matches the layout exactly.
std::optional<MediaPacket> decode_packet(std::span<const std::uint8_t> body);

bool is_valid_utf8(std::string_view text);

}  // namespace chat::media
