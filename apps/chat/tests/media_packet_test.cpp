#include "media/media_packet.hpp"

#include <gtest/gtest.h>

namespace {

using namespace chat::media;
using Bytes = std::vector<std::uint8_t>;

MediaPacket packet(std::string sender = "u_ada", std::size_t payload = 5) {
  MediaPacket p;
  p.kind = MediaKind::Camera;
  p.seq = 0x0102030405060708ull;
  p.timestamp = MediaTime{12, 345'000'000};
  p.sender = std::move(sender);
  p.payload.resize(payload);
  for (std::size_t i = 0; i < payload; ++i) p.payload[i] = static_cast<std::uint8_t>(i + 1);
  return p;
}

TEST(MediaPacket, EncodesTheDocumentedLayout) {
  const auto bytes = encode_packet(packet("ab", 3));
  ASSERT_TRUE(bytes.has_value());
  const Bytes expected{1,                                 // kind
                       8,    7,    6,   5,   4, 3, 2, 1,  // seq
                       0x39, 0x30, 0,   0,   0, 0, 0, 0,  // 12345 ms
                       2,    0,    'a', 'b',              // sender
                       3,    0,    0,   0,   1, 2, 3};    // payload
  EXPECT_EQ(*bytes, expected);
  EXPECT_EQ(bytes->size(), kPacketHeaderBytes + 2 + 3);
}

TEST(MediaPacket, RoundTripsEveryKindAndTheLargestPacket) {
  for (MediaKind kind : {MediaKind::Microphone, MediaKind::Camera, MediaKind::Screen}) {
    MediaPacket p = packet();
    p.kind = kind;
    const auto decoded = decode_packet(*encode_packet(p));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, p);
  }
  const MediaPacket biggest = packet(std::string(kMaxSenderBytes, 's'), kMaxPayloadBytes);
  const auto bytes = encode_packet(biggest);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(bytes->size(), kMaxPacketBytes);
  EXPECT_EQ(kMaxPacketBytes, 2'097'431u);
  EXPECT_TRUE(decode_packet(*bytes) == biggest);
}

TEST(MediaPacket, RefusesToEncodeInvalidPackets) {
  struct Case {
    const char* name;
    MediaPacket p;
    bool ok;
  };
  MediaPacket far_future = packet();
  far_future.timestamp = MediaTime{std::numeric_limits<std::uint64_t>::max() / 1000 + 1, 0};
  MediaPacket last_ms = packet();
  last_ms.timestamp = MediaTime{std::numeric_limits<std::uint64_t>::max() / 1000, 615'000'000};
  const std::vector<Case> cases{
      {"empty sender", packet(""), false},
      {"257-byte sender", packet(std::string(257, 'x')), false},
      {"256-byte sender", packet(std::string(256, 'x')), true},
      {"payload one past 2 MiB", packet("u", kMaxPayloadBytes + 1), false},
      {"payload of exactly 2 MiB", packet("u", kMaxPayloadBytes), true},
      {"timestamp past 64-bit ms", far_future, false},
      {"timestamp at the last ms", last_ms, true},
      {"sender not UTF-8", packet(std::string("\xff\xfe")), false},
  };
  for (const auto& c : cases) EXPECT_EQ(encode_packet(c.p).has_value(), c.ok) << c.name;
}

TEST(MediaPacket, DropsMalformedBodies) {
  const Bytes good = *encode_packet(packet("ab", 3));
  auto with = [&](auto edit) {
    Bytes b = good;
    edit(b);
    return b;
  };
  struct Case {
    const char* name;
    Bytes body;
  };
  const std::vector<Case> cases{
      {"empty", {}},
      {"18 bytes", Bytes(good.begin(), good.begin() + 18)},
      {"one trailing byte", with([](Bytes& b) { b.push_back(0); })},
      {"one byte short", with([](Bytes& b) { b.pop_back(); })},
      {"kind 3", with([](Bytes& b) { b[0] = 3; })},
      {"sender length 0", with([](Bytes& b) { b[17] = 0; })},
      {"sender length 257", with([](Bytes& b) { b[17] = 1, b[18] = 1; })},
      {"sender past the end", with([](Bytes& b) { b[17] = 200; })},
      {"payload length past the end", with([](Bytes& b) { b[21] = 4; })},
      {"payload length above 2 MiB", with([](Bytes& b) { b[24] = 1; })},
      {"sender not UTF-8", with([](Bytes& b) { b[19] = 0xC0; })},
      {"19-byte header only", Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
  };
  for (const auto& c : cases) EXPECT_FALSE(decode_packet(c.body).has_value()) << c.name;
  ASSERT_TRUE(decode_packet(good).has_value());
  EXPECT_EQ(decode_packet(good)->timestamp, (MediaTime{12, 345'000'000}));
}

TEST(MediaPacket, MillisecondConversions) {
  EXPECT_EQ(MediaTime::from_millis(1999), (MediaTime{1, 999'000'000}));
  EXPECT_EQ((MediaTime{3, 999'999'999}).millis(), 3999u);
  EXPECT_EQ(MediaTime::from_millis(std::numeric_limits<std::uint64_t>::max()).millis(),
            std::numeric_limits<std::uint64_t>::max());
}

TEST(MediaPacket, Utf8Validation) {
  EXPECT_TRUE(is_valid_utf8("u_ada"));
  EXPECT_TRUE(is_valid_utf8("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"));
  for (const char* bad :
       {"\x80", "\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82"})
    EXPECT_FALSE(is_valid_utf8(bad)) << bad;
}

}  // namespace
