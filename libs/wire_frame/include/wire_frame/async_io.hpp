#pragma once
// Asynchronous frame writer and reader as C++20 coroutines over any stream with
// Asio's async_read_some / async_write_some. One task per stream; no locks.

#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>
#include <asio/error.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>
#include <span>

#include "wire_frame/reader.hpp"

namespace wire_frame {

// Writes one frame. The body goes to the stream straight from the caller's
// buffer, gathered with the prefix; partial writes are repeated until done.
template <typename AsyncWriteStream>
asio::awaitable<WriteResult> write_frame(AsyncWriteStream& stream, const FrameSettings& settings,
                                         std::span<const std::uint8_t> body) {
  if (auto bad = check_outgoing(settings, body.size())) co_return WriteResult{std::move(bad)};
  const auto prefix = encode_prefix(static_cast<std::uint32_t>(body.size()), settings.big_endian);
  const std::array<asio::const_buffer, 2> parts{asio::buffer(prefix),
                                                asio::buffer(body.data(), body.size())};
  std::error_code ec;
  co_await asio::async_write(stream, parts, asio::redirect_error(asio::use_awaitable, ec));
  if (ec) co_return WriteResult{WireFrameError{WireFrameErrorKind::Io, ec, 0}};
  co_return WriteResult{};
}

// Reads one frame: its body, the clean end of the stream, or an error. The body
// buffer is sized once to the announced length after that length is checked.
template <typename AsyncReadStream>
asio::awaitable<ReadResult> read_frame(AsyncReadStream& stream, const FrameSettings& settings) {
  // A stream that keeps answering "try again" without progress is treated as
  // failed rather than spun on forever.
  constexpr int kMaxIdleRetries = 64;
  std::array<std::uint8_t, 4> prefix{};
  std::size_t have = 0;
  int idle_retries = 0;
  while (have < prefix.size()) {
    std::error_code ec;
    const std::size_t n =
        co_await stream.async_read_some(asio::buffer(prefix.data() + have, prefix.size() - have),
                                        asio::redirect_error(asio::use_awaitable, ec));
    have += n;
    if (!ec) continue;
    if (have == prefix.size()) break;
    const PrefixDecision d = classify_prefix_error(ec, have);
    if (d.action == PrefixAction::CleanEnd) co_return EndOfStream{};
    if (d.action == PrefixAction::Fail) co_return d.error;
    if (n == 0 && ++idle_retries > kMaxIdleRetries)
      co_return WireFrameError{WireFrameErrorKind::Io, ec, 0};
  }
  const std::uint32_t length = decode_prefix(prefix, settings.big_endian);
  if (auto bad = check_incoming(settings, length)) co_return std::move(*bad);

  std::vector<std::uint8_t> body(length);
  std::size_t got = 0;
  while (got < length) {
    std::error_code ec;
    const std::size_t n =
        co_await stream.async_read_some(asio::buffer(body.data() + got, length - got),
                                        asio::redirect_error(asio::use_awaitable, ec));
    got += n;
    if (ec && got < length) co_return truncated(ec);
  }
  co_return std::move(body);
}

}  // namespace wire_frame
