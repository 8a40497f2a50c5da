#include "wire_frame/reader.hpp"

#include <asio/error.hpp>
#include <limits>

namespace wire_frame {

std::string WireFrameError::message() const {
  switch (kind) {
    case WireFrameErrorKind::Io:
      return "stream I/O error: " + io.message();
    case WireFrameErrorKind::TruncatedPrefix:
      return "stream ended inside a frame length";
    case WireFrameErrorKind::Truncated:
      return io ? "stream failed inside a frame body: " + io.message()
                : "stream ended inside a frame body";
    case WireFrameErrorKind::EmptyFrame:
      return "empty frame not allowed";
    case WireFrameErrorKind::FrameTooLarge:
      return "announced frame of " + std::to_string(length) + " bytes is too large";
    case WireFrameErrorKind::PayloadTooLarge:
      return "frame body of " + std::to_string(length) + " bytes is too large to send";
  }
  return "unknown frame error";
}

PrefixDecision classify_prefix_error(const std::error_code& ec, std::size_t prefix_read) {
  if (ec == asio::error::eof) {
    if (prefix_read == 0) return {PrefixAction::CleanEnd, {}};
    return {PrefixAction::Fail, WireFrameError{WireFrameErrorKind::TruncatedPrefix, {}, 0}};
  }
  if (ec == asio::error::interrupted || ec == asio::error::would_block ||
      ec == asio::error::try_again) {
    return {PrefixAction::Retry, {}};
  }
  return {PrefixAction::Fail, WireFrameError{WireFrameErrorKind::Io, ec, 0}};
}

WireFrameError truncated(const std::error_code& ec) {
  if (ec == asio::error::eof) return WireFrameError{WireFrameErrorKind::Truncated, {}, 0};
  return WireFrameError{WireFrameErrorKind::Truncated, ec, 0};
}

std::array<std::uint8_t, 4> encode_prefix(std::uint32_t length, bool big_endian) {
  std::array<std::uint8_t, 4> out{};
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<std::uint8_t>(length >> (8 * i));
    out[big_endian ? 3 - i : i] = byte;
  }
  return out;
}

std::uint32_t decode_prefix(const std::array<std::uint8_t, 4>& prefix, bool big_endian) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint32_t byte = prefix[big_endian ? 3 - i : i];
    v |= byte << (8 * i);
  }
  return v;
}

std::optional<WireFrameError> check_outgoing(const FrameSettings& settings, std::uint64_t length) {
  if (length == 0 && !settings.allow_empty)
    return WireFrameError{WireFrameErrorKind::EmptyFrame, {}, 0};
  if (length > settings.max_frame_len || length > std::numeric_limits<std::uint32_t>::max())
    return WireFrameError{WireFrameErrorKind::PayloadTooLarge, {}, length};
  return std::nullopt;
}

std::optional<WireFrameError> check_incoming(const FrameSettings& settings, std::uint64_t length) {
  if (length == 0 && !settings.allow_empty)
    return WireFrameError{WireFrameErrorKind::EmptyFrame, {}, 0};
  if (length > settings.max_frame_len)
    return WireFrameError{WireFrameErrorKind::FrameTooLarge, {}, length};
  return std::nullopt;
}

}  // namespace wire_frame
