#pragma once
// Helpers for endpoint tests: run a coroutine on the runtime and wait for it
// with a deadline, and a frame sink that handlers fill and tests wait on.

#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/use_future.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>

#include "quic_endpoint/endpoint.hpp"
#include "wire_frame/async_io.hpp"

namespace quic_test {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Runs op on the runtime; fails the test (and returns nullopt) past the deadline.
template <typename T>
std::optional<T> run_for(quic::Runtime& rt, asio::awaitable<T> op,
                         std::chrono::seconds deadline = 20s) {
  auto fut = asio::co_spawn(rt.executor(), std::move(op), asio::use_future);
  if (fut.wait_for(deadline) != std::future_status::ready) {
    ADD_FAILURE() << "operation did not finish within " << deadline.count() << " s";
    return std::nullopt;
  }
  return fut.get();
}

// Frame i of a test stream: its index in the first 4 bytes, then a pattern
// derived from it.
inline Bytes make_sized_frame(std::uint32_t i, std::size_t size) {
  Bytes b(std::max<std::size_t>(size, 4));
  for (int k = 0; k < 4; ++k) b[k] = static_cast<std::uint8_t>(i >> (8 * k));
  for (std::size_t k = 4; k < b.size(); ++k) b[k] = static_cast<std::uint8_t>(i * 31 + k);
  return b;
}

// Sizes vary from frame to frame, up to max_size.
inline Bytes make_frame(std::uint32_t i, std::size_t max_size = 4000) {
  return make_sized_frame(i, 4 + (static_cast<std::size_t>(i) * 7919) % max_size);
}

using FrameMaker = std::function<Bytes(std::uint32_t)>;
inline FrameMaker varied(std::size_t max_size = 4000) {
  return [max_size](std::uint32_t i) { return make_frame(i, max_size); };
}

// Collects what a receiving handler saw, for the test thread to wait on.
class Sink {
 public:
  void frame(Bytes b) {
    std::lock_guard lock(mu_);
    frames_.push_back(std::move(b));
    cv_.notify_all();
  }
  void ended(std::string how) {
    std::lock_guard lock(mu_);
    end_ = std::move(how);
    cv_.notify_all();
  }
  // Waits until n frames arrived or the stream ended; false on timeout.
  bool wait(std::size_t n, std::chrono::seconds deadline = 20s) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, deadline, [&] { return frames_.size() >= n || !end_.empty(); });
  }
  bool wait_end(std::chrono::seconds deadline = 20s) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, deadline, [&] { return !end_.empty(); });
  }
  std::vector<Bytes> frames() {
    std::lock_guard lock(mu_);
    return frames_;
  }
  std::string end() {
    std::lock_guard lock(mu_);
    return end_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Bytes> frames_;
  std::string end_;
};

// A protocol handler that reads frames from the first one-way stream.
inline quic::ProtocolHandler reading_handler(std::shared_ptr<Sink> sink) {
  return [sink](quic::Connection conn) -> asio::awaitable<void> {
    auto stream = co_await conn.accept_uni();
    if (!stream) {
      sink->ended("accept: " + stream.error());
      co_return;
    }
    for (;;) {
      auto r = co_await wire_frame::read_frame(*stream, wire_frame::kMediaFrameSettings);
      if (r.is_frame()) {
        sink->frame(std::move(r.body()));
        continue;
      }
      sink->ended(r.is_end() ? "end" : r.error().message());
      co_return;
    }
  };
}

// Dials, opens one stream and writes frames [0, count); answers "" or the failure.
inline asio::awaitable<std::string> send_frames(quic::Endpoint& ep, quic::PeerAddress to,
                                                std::string alpn, std::uint32_t count,
                                                FrameMaker make = varied()) {
  auto conn = co_await ep.connect(std::move(to), std::move(alpn));
  if (!conn) co_return "connect: " + conn.error();
  auto stream = co_await conn->open_uni();
  if (!stream) co_return "open: " + stream.error();
  for (std::uint32_t i = 0; i < count; ++i) {
    const Bytes f = make(i);
    const auto w = co_await wire_frame::write_frame(*stream, wire_frame::kMediaFrameSettings, f);
    if (!w.ok()) co_return "write: " + w.error->message();
  }
  stream->finish();
  co_return std::string();
}

inline void expect_frames_in_order(const std::vector<Bytes>& got, std::uint32_t count,
                                   const FrameMaker& make = varied()) {
  ASSERT_EQ(got.size(), count);
  for (std::uint32_t i = 0; i < count; ++i) ASSERT_TRUE(got[i] == make(i)) << "frame " << i;
}

}  // namespace quic_test
