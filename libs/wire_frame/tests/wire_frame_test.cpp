#include <gtest/gtest.h>

#include <asio/detached.hpp>
#include <numeric>

#include "test_streams.hpp"
#include "wire_frame/async_io.hpp"

namespace {

using namespace wire_frame;
using wire_frame_test::CaptureStream;
using wire_frame_test::FeedStream;
using wire_frame_test::run;
using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t n, std::uint8_t seed = 7) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 31 + (i >> 9));
  return b;
}

Bytes write_all(asio::io_context& ctx, const std::vector<Bytes>& bodies, std::size_t per_write,
                const FrameSettings& s = kMediaFrameSettings) {
  CaptureStream out(ctx, per_write);
  for (const auto& b : bodies) {
    const WriteResult r = run(ctx, write_frame(out, s, b));
    EXPECT_TRUE(r.ok()) << r.error->message();
  }
  return out.bytes();
}

// Reads frames until the stream ends or fails; the last entry tells how it stopped.
struct ReadAll {
  std::vector<Bytes> frames;
  std::optional<WireFrameError> error;
};
ReadAll read_all(asio::io_context& ctx, FeedStream& in,
                 const FrameSettings& s = kMediaFrameSettings) {
  ReadAll out;
  for (;;) {
    ReadResult r = run(ctx, read_frame(in, s));
    if (r.is_frame()) {
      out.frames.push_back(std::move(r.body()));
      continue;
    }
    if (r.is_error()) out.error = r.error();
    return out;
  }
}

TEST(WireFrame, RoundTripsThroughByteAtATimeStreams) {
  asio::io_context ctx;
  const std::vector<Bytes> bodies{pattern(0), pattern(1), pattern(5), pattern(1000),
                                  pattern(70'000, 3)};
  const Bytes wire = write_all(ctx, bodies, 3);
  std::size_t expected = 0;
  for (const auto& b : bodies) expected += 4 + b.size();
  ASSERT_EQ(wire.size(), expected);

  FeedStream in(ctx, 1);
  in.feed(wire);
  in.end();
  const ReadAll got = read_all(ctx, in);
  EXPECT_FALSE(got.error.has_value());
  EXPECT_EQ(got.frames, bodies);
  EXPECT_GE(in.reads(), wire.size());  // one byte per read, each suspended
}

TEST(WireFrame, LargestBodyPassesAndOneMoreIsRefusedBothWays) {
  asio::io_context ctx;
  const Bytes biggest = pattern(kMediaMaxFrameLen);
  EXPECT_EQ(kMediaMaxFrameLen, 2'097'431u);
  const Bytes wire = write_all(ctx, {biggest}, 1 << 20);
  ASSERT_EQ(wire.size(), biggest.size() + 4);
  FeedStream in(ctx, 1 << 16);
  in.feed(wire);
  in.end();
  const ReadAll got = read_all(ctx, in);
  ASSERT_EQ(got.frames.size(), 1u);
  EXPECT_TRUE(got.frames[0] == biggest);

  CaptureStream out(ctx, 1 << 20);
  const Bytes too_big(kMediaMaxFrameLen + 1);
  const WriteResult w = run(ctx, write_frame(out, kMediaFrameSettings, too_big));
  ASSERT_FALSE(w.ok());
  EXPECT_EQ(w.error->kind, WireFrameErrorKind::PayloadTooLarge);
  EXPECT_EQ(w.error->length, kMediaMaxFrameLen + 1);
  EXPECT_TRUE(out.bytes().empty());

  // A peer announcing one byte more is refused before any body byte is read.
  FeedStream hostile(ctx, 1 << 16);
  const auto prefix = encode_prefix(static_cast<std::uint32_t>(kMediaMaxFrameLen + 1), false);
  Bytes announced(prefix.begin(), prefix.end());
  announced.resize(announced.size() + 100, 0xAA);
  hostile.feed(announced);
  ReadResult r = run(ctx, read_frame(hostile, kMediaFrameSettings));
  ASSERT_TRUE(r.is_error());
  EXPECT_EQ(r.error().kind, WireFrameErrorKind::FrameTooLarge);
  EXPECT_EQ(r.error().length, kMediaMaxFrameLen + 1);
  EXPECT_EQ(hostile.delivered(), 4u);

  // The 32-bit ceiling holds even when the settings would allow more.
  const FrameSettings loose{std::uint64_t{1} << 40, false, true};
  EXPECT_EQ(check_outgoing(loose, std::uint64_t{1} << 32)->kind,
            WireFrameErrorKind::PayloadTooLarge);
  EXPECT_FALSE(check_outgoing(loose, 0xFFFF'FFFFu).has_value());
}

TEST(WireFrame, PrefixByteOrderFollowsSettings) {
  struct Case {
    bool big_endian;
    Bytes prefix;
  };
  for (const Case& c : {Case{true, {0, 0, 0, 5}}, Case{false, {5, 0, 0, 0}}}) {
    asio::io_context ctx;
    const FrameSettings s{kMediaMaxFrameLen, c.big_endian, true};
    const Bytes wire = write_all(ctx, {pattern(5)}, 64, s);
    ASSERT_EQ(wire.size(), 9u);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 4), c.prefix) << c.big_endian;
    FeedStream in(ctx, 2);
    in.feed(wire);
    in.end();
    const ReadAll got = read_all(ctx, in, s);
    ASSERT_EQ(got.frames.size(), 1u);
    EXPECT_EQ(got.frames[0], pattern(5));
  }
  EXPECT_EQ(decode_prefix(encode_prefix(0x01020304, true), true), 0x01020304u);
  EXPECT_EQ(encode_prefix(0x01020304, false), (std::array<std::uint8_t, 4>{4, 3, 2, 1}));
}

TEST(WireFrame, EmptyBodiesFollowSettings) {
  asio::io_context ctx;
  EXPECT_EQ(write_all(ctx, {Bytes{}}, 64), (Bytes{0, 0, 0, 0}));

  const FrameSettings strict{kMediaMaxFrameLen, false, false};
  CaptureStream out(ctx, 64);
  const WriteResult w = run(ctx, write_frame(out, strict, Bytes{}));
  ASSERT_FALSE(w.ok());
  EXPECT_EQ(w.error->kind, WireFrameErrorKind::EmptyFrame);
  EXPECT_TRUE(out.bytes().empty());

  FeedStream in(ctx, 64);
  in.feed({0, 0, 0, 0, 1, 0, 0, 0, 9});
  in.end();
  const ReadAll got = read_all(ctx, in, strict);
  EXPECT_TRUE(got.frames.empty());
  ASSERT_TRUE(got.error.has_value());
  EXPECT_EQ(got.error->kind, WireFrameErrorKind::EmptyFrame);
}

TEST(WireFrame, StreamEndingsAndFailuresMapToTheirKinds) {
  const std::error_code reset = asio::error::connection_reset;
  struct Case {
    const char* name;
    Bytes wire;
    std::error_code end;
    std::size_t frames;
    std::optional<WireFrameErrorKind> kind;
    std::error_code carried;
  };
  const Bytes one{3, 0, 0, 0, 'a', 'b', 'c'};
  auto cat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const std::vector<Case> cases{
      {"end between frames", cat(one, one), asio::error::eof, 2, std::nullopt, {}},
      {"end after 2 prefix bytes",
       cat(one, {9, 0}),
       asio::error::eof,
       1,
       WireFrameErrorKind::TruncatedPrefix,
       {}},
      {"end after 3 prefix bytes",
       {1, 0, 0},
       asio::error::eof,
       0,
       WireFrameErrorKind::TruncatedPrefix,
       {}},
      {"end inside a body",
       cat(one, {5, 0, 0, 0, 'x', 'y'}),
       asio::error::eof,
       1,
       WireFrameErrorKind::Truncated,
       {}},
      {"failure inside a body", {5, 0, 0, 0, 'x'}, reset, 0, WireFrameErrorKind::Truncated, reset},
      {"failure between frames", one, reset, 1, WireFrameErrorKind::Io, reset},
      {"failure inside a prefix", {5, 0}, reset, 0, WireFrameErrorKind::Io, reset},
  };
  for (const Case& c : cases) {
    asio::io_context ctx;
    FeedStream in(ctx, 1);
    in.feed(c.wire);
    in.end(c.end);
    const ReadAll got = read_all(ctx, in);
    EXPECT_EQ(got.frames.size(), c.frames) << c.name;
    EXPECT_EQ(got.error.has_value(), c.kind.has_value()) << c.name;
    if (got.error && c.kind) {
      EXPECT_EQ(got.error->kind, *c.kind) << c.name;
      EXPECT_EQ(got.error->io, c.carried) << c.name;
      EXPECT_FALSE(got.error->message().empty());
    }
  }
}

TEST(WireFrame, WriterReportsStreamFailures) {
  asio::io_context ctx;
  for (std::size_t fail_at : {0u, 2u, 4u, 9u}) {
    CaptureStream out(ctx, 3);
    out.fail_after(fail_at, asio::error::broken_pipe);
    const WriteResult w = run(ctx, write_frame(out, kMediaFrameSettings, pattern(20)));
    ASSERT_FALSE(w.ok()) << fail_at;
    EXPECT_EQ(w.error->kind, WireFrameErrorKind::Io);
    EXPECT_EQ(w.error->io, std::error_code(asio::error::broken_pipe));
    EXPECT_EQ(out.bytes().size(), fail_at);
  }
}

TEST(WireFrame, InterruptedPrefixReadsAreRetried) {
  asio::io_context ctx;
  FeedStream in(ctx, 1);
  std::optional<ReadResult> got;
  asio::co_spawn(
      ctx,
      [&]() -> asio::awaitable<void> { got.emplace(co_await read_frame(in, kMediaFrameSettings)); },
      asio::detached);
  // Interrupted before the first byte, then again in the middle of the prefix.
  in.fail_next(asio::error::interrupted);
  ctx.poll();
  in.feed({2, 0});
  ctx.poll();
  in.fail_next(asio::error::interrupted);
  in.feed({0, 0, 'h', 'i'});
  ctx.run();
  ASSERT_TRUE(got.has_value());
  ASSERT_TRUE(got->is_frame());
  EXPECT_EQ(got->body(), (Bytes{'h', 'i'}));
  EXPECT_GE(in.reads(), 6u + 2u);
}

TEST(WireFrame, SuspendedReaderResumesAtTheSameByte) {
  asio::io_context ctx;
  const std::vector<Bytes> bodies{pattern(6), pattern(0), pattern(3)};
  const Bytes wire = write_all(ctx, bodies, 64);
  FeedStream in(ctx, 64);
  std::vector<Bytes> got;
  bool done = false;
  asio::co_spawn(
      ctx,
      [&]() -> asio::awaitable<void> {
        for (;;) {
          ReadResult r = co_await read_frame(in, kMediaFrameSettings);
          if (!r.is_frame()) break;
          got.push_back(std::move(r.body()));
        }
        done = true;
      },
      asio::detached);
  ctx.restart();
  // Hand the bytes over one at a time: a frame appears exactly when its last
  // byte arrives, never earlier, never twice.
  std::size_t frame_ends = 0;
  std::vector<std::size_t> ends;
  for (const auto& b : bodies) ends.push_back(frame_ends += 4 + b.size());
  for (std::size_t i = 0; i < wire.size(); ++i) {
    ctx.poll();
    std::size_t complete = 0;
    while (complete < ends.size() && ends[complete] <= i) ++complete;
    ASSERT_EQ(got.size(), complete) << "after " << i << " bytes";
    in.feed({wire[i]});
  }
  ctx.poll();
  EXPECT_FALSE(done);
  in.end();
  ctx.run();
  EXPECT_TRUE(done);
  EXPECT_EQ(got, bodies);
}

TEST(WireFrame, ClassifiesPrefixErrors) {
  struct Case {
    std::error_code ec;
    std::size_t read;
    PrefixAction action;
    WireFrameErrorKind kind;
  };
  const std::vector<Case> cases{
      {asio::error::eof, 0, PrefixAction::CleanEnd, {}},
      {asio::error::eof, 1, PrefixAction::Fail, WireFrameErrorKind::TruncatedPrefix},
      {asio::error::eof, 3, PrefixAction::Fail, WireFrameErrorKind::TruncatedPrefix},
      {asio::error::interrupted, 2, PrefixAction::Retry, {}},
      {asio::error::would_block, 0, PrefixAction::Retry, {}},
      {asio::error::connection_reset, 0, PrefixAction::Fail, WireFrameErrorKind::Io},
      {asio::error::operation_aborted, 1, PrefixAction::Fail, WireFrameErrorKind::Io},
  };
  for (const Case& c : cases) {
    const PrefixDecision d = classify_prefix_error(c.ec, c.read);
    EXPECT_EQ(d.action, c.action) << c.ec.message() << " " << c.read;
    if (d.action == PrefixAction::Fail) {
      EXPECT_EQ(d.error.kind, c.kind);
    }
  }
  EXPECT_EQ(truncated(asio::error::eof).kind, WireFrameErrorKind::Truncated);
  EXPECT_FALSE(truncated(asio::error::eof).io);
  EXPECT_EQ(truncated(asio::error::connection_reset).io,
            std::error_code(asio::error::connection_reset));
}

}  // namespace
