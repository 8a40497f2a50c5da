#pragma once
// The asynchronous runtime the endpoint and its users run on: one io_context
// served by a fixed number of worker threads (2 for the media session).
// Destroy it last: after every endpoint on it has been shut down.

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quic {

class Runtime {
 public:
  explicit Runtime(int threads = 2);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  asio::io_context& context() { return ctx_; }
  asio::io_context::executor_type executor() { return ctx_.get_executor(); }
  // True when called from one of this runtime's worker threads.
  bool on_worker() const;

 private:
  asio::io_context ctx_;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  std::vector<std::thread> threads_;
  std::mutex mu_;
  std::condition_variable done_;
  std::size_t finished_ = 0;
};

}  // namespace quic
