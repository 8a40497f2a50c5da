#pragma once
// The media session as the rest of the application sees it. The UI thread
// calls every operation; none of them waits on the network.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/media_packet.hpp"

namespace chat::media {

inline constexpr std::size_t kQueueCapacity = 128;  // inbound, and outbound per peer
inline constexpr std::size_t kDrainMax = 64;        // packets taken per frame
inline constexpr char kMediaAlpn[] = "vesk-chat-media/0";
inline constexpr char kLoopbackTicket[] = "sim://local";

class MediaTransport {
 public:
  virtual ~MediaTransport() = default;
  // The local ticket peers dial, when there is one.
  virtual std::optional<std::string> ticket() const = 0;
  // Dials a peer by its ticket; true when it is (now) being dialled.
  virtual bool connect(const std::string& ticket) = 0;
  // Offers the packet to every connected peer; true when at least one took it.
  virtual bool send(const MediaPacket& packet) = 0;
  // Up to 64 received packets, oldest first.
  virtual std::vector<MediaPacket> drain() = 0;
};

// Without networking: packets sent come straight back, 128 at most held.
class LoopbackTransport final : public MediaTransport {
 public:
  std::optional<std::string> ticket() const override { return kLoopbackTicket; }
  bool connect(const std::string&) override { return true; }
  bool send(const MediaPacket& packet) override;
  std::vector<MediaPacket> drain() override;

 private:
  std::vector<MediaPacket> queue_;
};

}  // namespace chat::media
