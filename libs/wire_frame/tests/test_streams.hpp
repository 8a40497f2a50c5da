#pragma once
// In-memory streams for the frame tests: a reader fed by the test that hands
// out a bounded number of bytes per read and always completes through the
// executor (so every read suspends), and a writer that accepts a bounded
// number of bytes per write.

#include <asio/any_io_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/buffer.hpp>
#include <asio/co_spawn.hpp>
#include <asio/error.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <system_error>
#include <vector>

namespace wire_frame_test {

class FeedStream {
 public:
  using executor_type = asio::any_io_executor;

  FeedStream(asio::io_context& ctx, std::size_t per_read)
      : ex_(ctx.get_executor()), per_read_(per_read) {}
  executor_type get_executor() const { return ex_; }

  void feed(const std::vector<std::uint8_t>& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    wake();
  }
  // Ends the stream: plain end of stream, or a failure once buffered bytes are read.
  void end(std::error_code ec = asio::error::eof) {
    end_ = ec;
    wake();
  }
  // The next read fails with ec once, before any more bytes are handed out.
  void fail_next(std::error_code ec) { once_ = ec; }

  std::size_t reads() const { return reads_; }
  std::size_t delivered() const { return delivered_; }

  template <typename Buffers, typename Token>
  auto async_read_some(const Buffers& buffers, Token&& token) {
    return asio::async_initiate<Token, void(std::error_code, std::size_t)>(
        [this](auto handler, asio::mutable_buffer buf) {
          parked_ = [this, h = std::make_shared<decltype(handler)>(std::move(handler)), buf]() {
            ++reads_;
            std::error_code ec;
            std::size_t n = 0;
            if (once_) {
              ec = *once_;
              once_.reset();
            } else if (!data_.empty()) {
              n = std::min({buf.size(), per_read_, data_.size()});
              for (std::size_t i = 0; i < n; ++i)
                static_cast<std::uint8_t*>(buf.data())[i] = data_[i];
              data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(n));
              delivered_ += n;
            } else {
              ec = *end_;
            }
            asio::post(ex_, [h, ec, n]() { std::move (*h)(ec, n); });
          };
          if (once_ || !data_.empty() || end_) wake();
        },
        token, *asio::buffer_sequence_begin(buffers));
  }

 private:
  void wake() {
    if (!parked_) return;
    auto f = std::move(parked_);
    parked_ = nullptr;
    f();
  }

  asio::any_io_executor ex_;
  std::size_t per_read_;
  std::deque<std::uint8_t> data_;
  std::optional<std::error_code> end_;
  std::optional<std::error_code> once_;
  std::function<void()> parked_;
  std::size_t reads_ = 0;
  std::size_t delivered_ = 0;
};

class CaptureStream {
 public:
  using executor_type = asio::any_io_executor;

  CaptureStream(asio::io_context& ctx, std::size_t per_write)
      : ex_(ctx.get_executor()), per_write_(per_write) {}
  executor_type get_executor() const { return ex_; }

  // Writes fail with ec once this many bytes have been accepted.
  void fail_after(std::size_t bytes, std::error_code ec) {
    fail_at_ = bytes;
    fail_ec_ = ec;
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  template <typename Buffers, typename Token>
  auto async_write_some(const Buffers& buffers, Token&& token) {
    return asio::async_initiate<Token, void(std::error_code, std::size_t)>(
        [this](auto handler, const Buffers& bufs) {
          std::error_code ec;
          std::size_t n = 0;
          for (auto it = asio::buffer_sequence_begin(bufs); it != asio::buffer_sequence_end(bufs);
               ++it) {
            asio::const_buffer b = *it;
            if (b.size() == 0) continue;
            std::size_t room = per_write_;
            if (fail_at_) room = std::min(room, *fail_at_ - bytes_.size());
            if (room == 0) {
              ec = fail_ec_;
              break;
            }
            n = std::min(room, b.size());
            const auto* p = static_cast<const std::uint8_t*>(b.data());
            bytes_.insert(bytes_.end(), p, p + n);
            break;
          }
          asio::post(ex_, [h = std::move(handler), ec, n]() mutable { std::move(h)(ec, n); });
        },
        token, buffers);
  }

 private:
  asio::any_io_executor ex_;
  std::size_t per_write_;
  std::vector<std::uint8_t> bytes_;
  std::optional<std::size_t> fail_at_;
  std::error_code fail_ec_;
};

// Runs one coroutine to completion on ctx and returns its value.
template <typename T>
T run(asio::io_context& ctx, asio::awaitable<T> op) {
  std::optional<T> out;
  asio::co_spawn(ctx, std::move(op), [&](std::exception_ptr e, T v) {
    if (e) std::rethrow_exception(e);
    out.emplace(std::move(v));
  });
  ctx.restart();
  ctx.run();
  return std::move(*out);
}

}  // namespace wire_frame_test
