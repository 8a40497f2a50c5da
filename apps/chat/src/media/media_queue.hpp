#pragma once
// The inbound queue: many incoming-stream handlers offer packets without
// waiting, the UI thread takes them without waiting. A full queue drops.

#include <deque>
#include <mutex>
#include <vector>

#include "media/media_packet.hpp"

namespace chat::media {

enum class Offer { Accepted, Full, Closed };

class InboundQueue {
 public:
  explicit InboundQueue(std::size_t capacity) : capacity_(capacity) {}

  Offer offer(MediaPacket packet) {
    std::lock_guard lock(mu_);
    if (closed_) return Offer::Closed;
    if (items_.size() >= capacity_) return Offer::Full;
    items_.push_back(std::move(packet));
    return Offer::Accepted;
  }
  std::vector<MediaPacket> take(std::size_t max) {
    std::lock_guard lock(mu_);
    std::vector<MediaPacket> out;
    while (!items_.empty() && out.size() < max) {
      out.push_back(std::move(items_.front()));
      items_.pop_front();
    }
    return out;
  }
  void close() {
    std::lock_guard lock(mu_);
    closed_ = true;
  }

 private:
  std::mutex mu_;
  std::deque<MediaPacket> items_;
  std::size_t capacity_;
  bool closed_ = false;
};

}  // namespace chat::media
