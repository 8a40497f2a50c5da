#include "quic_endpoint/runtime.hpp"

#include <algorithm>
#include <chrono>

namespace quic {

Runtime::Runtime(int threads) : work_(asio::make_work_guard(ctx_)) {
  for (int i = 0; i < std::max(1, threads); ++i)
    threads_.emplace_back([this] {
      ctx_.run();
      std::lock_guard lock(mu_);
      ++finished_;
      done_.notify_all();
    });
}

Runtime::~Runtime() {
  // Let the work already queued finish (closing streams, completing tasks) so
  // nothing is destroyed half-way; a runtime still busy after a grace period
  // is stopped outright.
  work_.reset();
  {
    std::unique_lock lock(mu_);
    if (!done_.wait_for(lock, std::chrono::seconds(5),
                        [&] { return finished_ == threads_.size(); }))
      ctx_.stop();
  }
  for (auto& t : threads_) t.join();
}

bool Runtime::on_worker() const {
  const auto self = std::this_thread::get_id();
  return std::any_of(threads_.begin(), threads_.end(),
                     [&](const std::thread& t) { return t.get_id() == self; });
}

}  // namespace quic
