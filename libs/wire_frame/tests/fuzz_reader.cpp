// Feeds arbitrary bytes to the frame reader in arbitrary read sizes. The reader
// must never crash, never return a body past its limit, and must account for
// every byte it consumed.
#include <cstdlib>

#include "test_streams.hpp"
#include "wire_frame/async_io.hpp"

namespace {

struct Outcome {
  std::size_t consumed = 0;
  bool ended = false;
  bool clean_end = false;
};

asio::awaitable<void> read_until_done(wire_frame_test::FeedStream& in,
                                      wire_frame::FrameSettings settings, Outcome& out) {
  for (;;) {
    wire_frame::ReadResult r = co_await wire_frame::read_frame(in, settings);
    if (!r.is_frame()) {
      out.ended = true;
      out.clean_end = r.is_end();
      co_return;
    }
    if (r.body().size() > settings.max_frame_len) std::abort();
    if (r.body().empty() && !settings.allow_empty) std::abort();
    out.consumed += 4 + r.body().size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::size_t per_read = 1 + data[0] % 16;
  const wire_frame::FrameSettings settings{static_cast<std::uint64_t>(data[1]) * 4,
                                           (data[1] & 1) != 0, (data[1] & 2) != 0};
  asio::io_context ctx;
  wire_frame_test::FeedStream in(ctx, per_read);
  in.feed(std::vector<std::uint8_t>(data + 2, data + size));
  in.end();
  Outcome out;
  asio::co_spawn(ctx, read_until_done(in, settings, out), [](std::exception_ptr e) {
    if (e) std::abort();
  });
  ctx.run();
  if (!out.ended || out.consumed > size - 2) std::abort();
  if (out.clean_end && out.consumed != size - 2) std::abort();
  return 0;
}
