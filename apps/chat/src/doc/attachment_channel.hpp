#pragma once
// A one-way channel from worker threads to the UI thread. Workers send; the
// frame cycle takes what has arrived without ever waiting. Tests may wait for
// an arrival, which makes their timing deterministic without sleeping.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace chat {

template <typename T>
class AttachmentChannel {
 public:
  void send(T value) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(value));
    }
    arrived_.notify_all();
  }

  std::optional<T> try_recv() {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    T value = std::move(queue_.front());
    queue_.pop_front();
    return value;
  }

  // Blocks until something is queued or the time is up; answers whether
  // something is queued. Never called by the frame cycle.
  bool wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return !queue_.empty(); });
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<T> queue_;
};

}  // namespace chat
