#include "media/media_transport.hpp"

#include <algorithm>

namespace chat::media {

bool LoopbackTransport::send(const MediaPacket& packet) {
  if (!encode_packet(packet)) return false;
  if (queue_.size() >= kQueueCapacity) return false;
  queue_.push_back(packet);
  return true;
}

std::vector<MediaPacket> LoopbackTransport::drain() {
  const auto n = static_cast<std::ptrdiff_t>(std::min(queue_.size(), kDrainMax));
  std::vector<MediaPacket> out(std::make_move_iterator(queue_.begin()),
                               std::make_move_iterator(queue_.begin() + n));
  queue_.erase(queue_.begin(), queue_.begin() + n);
  return out;
}

}  // namespace chat::media
