#include "media/media_session.hpp"

#include <cstdlib>
#include <limits>

#include "media/media_network.hpp"

namespace chat::media {

bool networking_allowed_from_env() {
  return std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr ||
         std::getenv("WAYLAND_DISPLAY") != nullptr;
}

MediaSession::MediaSession(bool networking_allowed)
    : transport_(std::make_unique<LoopbackTransport>()), networking_allowed_(networking_allowed) {}

void MediaSession::start() {
  if (!networking_allowed_) return;
  networking_allowed_ = false;  // one attempt per run
  auto networked = NetworkedTransport::start();
  if (!networked) return;
  transport_ = std::move(networked).value();
  networked_ = true;
}

void dial_peers(MediaTransport& transport, const std::vector<PeerTicket>& participants,
                const std::string& local_user) {
  for (const auto& p : participants)
    if (p.user_id != local_user && !p.ticket.empty()) transport.connect(p.ticket);
}

MediaTime media_timestamp(MediaKind kind, std::uint64_t seq) {
  const std::uint64_t step = kind == MediaKind::Microphone ? 20 : 33;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t ms = seq > kMax / step ? kMax : seq * step;
  return MediaTime::from_millis(ms);
}

std::string media_limit_notice(MediaKind kind, std::size_t payload_size) {
  return std::string(kind_name(kind)) + " stopped: encoded frame (" + std::to_string(payload_size) +
         " bytes) exceeds Chat's " + std::to_string(kMaxPayloadBytes) + " byte media limit";
}

PublishResult Publisher::publish(MediaTransport& transport, MediaKind kind,
                                 std::vector<std::uint8_t> payload, const std::string& sender) {
  if (payload.size() > kMaxPayloadBytes)
    return {PublishOutcome::OverMediaLimit, media_limit_notice(kind, payload.size())};
  if (next_seq_ == std::numeric_limits<std::uint64_t>::max())
    return {PublishOutcome::SequenceLimit, std::string(kSequenceLimitNotice)};
  MediaPacket packet;
  packet.kind = kind;
  packet.seq = next_seq_++;
  packet.timestamp = media_timestamp(kind, packet.seq);
  packet.sender = sender;
  packet.payload = std::move(payload);
  transport.send(packet);
  return {};
}

bool ReceiveFilter::accept(const MediaPacket& packet) {
  const bool fresh_start = packet.seq == 0 && packet.timestamp == MediaTime{};
  if (!fresh_start) {
    const auto it = last_seq_.find(packet.sender);
    if (it != last_seq_.end() && packet.seq <= it->second) return false;
  }
  last_seq_[packet.sender] = packet.seq;
  return true;
}

std::vector<MediaPacket> receive_packets(MediaTransport& transport, ReceiveFilter& filter,
                                         const std::string& local_user) {
  std::vector<MediaPacket> out;
  for (auto& p : transport.drain()) {
    if (p.sender == local_user) continue;
    if (filter.accept(p)) out.push_back(std::move(p));
  }
  return out;
}

}  // namespace chat::media
