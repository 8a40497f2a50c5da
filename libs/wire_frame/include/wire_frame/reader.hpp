#pragma once
// Frame layout and error kinds shared by the asynchronous reader and writer.
// A frame is a 4-byte length followed by that many body bytes; nothing else.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

namespace wire_frame {

struct FrameSettings {
  std::uint64_t max_frame_len = 0;
  bool big_endian = false;
  bool allow_empty = true;
};

// The largest media packet: 23 header bytes + 256 sender bytes + 2 MiB payload.
inline constexpr std::uint64_t kMediaMaxFrameLen = 2'097'152 + 279;
inline constexpr FrameSettings kMediaFrameSettings{kMediaMaxFrameLen, false, true};

enum class WireFrameErrorKind {
  Io,
  TruncatedPrefix,
  Truncated,
  EmptyFrame,
  FrameTooLarge,
  PayloadTooLarge,
};

struct WireFrameError {
  WireFrameErrorKind kind = WireFrameErrorKind::Io;
  std::error_code io;        // the stream's error, for Io (and Truncated when it failed)
  std::uint64_t length = 0;  // announced or offered length, for the *TooLarge kinds
  std::string message() const;
};

struct EndOfStream {};

struct [[nodiscard]] WriteResult {
  std::optional<WireFrameError> error;
  bool ok() const { return !error.has_value(); }
};

// One frame body, the clean end of the stream, or the error that ended it.
class [[nodiscard]] ReadResult {
 public:
  ReadResult() : v_(EndOfStream{}) {}
  ReadResult(std::vector<std::uint8_t> body) : v_(std::move(body)) {}  // NOLINT
  ReadResult(EndOfStream end) : v_(end) {}                             // NOLINT
  ReadResult(WireFrameError error) : v_(std::move(error)) {}           // NOLINT

  bool is_frame() const { return v_.index() == 0; }
  bool is_end() const { return v_.index() == 1; }
  bool is_error() const { return v_.index() == 2; }
  std::vector<std::uint8_t>& body() { return std::get<0>(v_); }
  const WireFrameError& error() const { return std::get<2>(v_); }

 private:
  std::variant<std::vector<std::uint8_t>, EndOfStream, WireFrameError> v_;
};

// What to do after an I/O error met while reading a length prefix.
enum class PrefixAction { Retry, CleanEnd, Fail };
struct PrefixDecision {
  PrefixAction action = PrefixAction::Fail;
  WireFrameError error;  // meaningful for Fail
};

// End of stream before any prefix byte is a clean end; after 1-3 bytes it is a
// truncated prefix. Interrupted or would-block reads are retried; everything
// else is an I/O failure.
PrefixDecision classify_prefix_error(const std::error_code& ec, std::size_t prefix_read);

// The error to report when a body read stops early: always Truncated, carrying
// the stream's error unless it was a plain end of stream.
WireFrameError truncated(const std::error_code& ec);

std::array<std::uint8_t, 4> encode_prefix(std::uint32_t length, bool big_endian);
std::uint32_t decode_prefix(const std::array<std::uint8_t, 4>& prefix, bool big_endian);

// Checks a body about to be written; nothing is written when this fails.
std::optional<WireFrameError> check_outgoing(const FrameSettings& settings, std::uint64_t length);
// Checks an announced length before any body byte is read or allocated.
std::optional<WireFrameError> check_incoming(const FrameSettings& settings, std::uint64_t length);

}  // namespace wire_frame
