#pragma once
// The application's side of call media: the session holder (loopback until
// the first join starts networking, at most once per run), dialling the
// call's peers, publishing local media with one sequence counter, and the
// per-sender filter applied to what arrives.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media/media_transport.hpp"

namespace chat::media {

// True when the environment names a desktop session (D-Bus or Wayland).
bool networking_allowed_from_env();

class MediaSession {
 public:
  explicit MediaSession(bool networking_allowed);

  // Replaces the loopback by the networked session, once per run; any failure
  // keeps the loopback silently. Blocks until the endpoint is bound.
  void start();
  MediaTransport& transport() { return *transport_; }
  bool networked() const { return networked_; }
  bool networking_allowed() const { return networking_allowed_; }

 private:
  std::unique_ptr<MediaTransport> transport_;
  bool networking_allowed_;
  bool networked_ = false;
};

// A call participant as dialling needs it.
struct PeerTicket {
  std::string user_id;
  std::string ticket;  // empty when the participant has none
};

// Dials every participant who is not the local user and has a ticket.
void dial_peers(MediaTransport& transport, const std::vector<PeerTicket>& participants,
                const std::string& local_user);

// Media time of a packet from the sequence number it is about to take:
// 20 ms steps for the microphone, 33 ms for camera and screen, saturating.
MediaTime media_timestamp(MediaKind kind, std::uint64_t seq);

std::string media_limit_notice(MediaKind kind, std::size_t payload_size);
inline constexpr char kSequenceLimitNotice[] =
    "Media stopped: stream sequence limit reached. Leave and rejoin to restart it.";

enum class PublishOutcome {
  Sent,            // handed to the transport (its answer is not checked)
  OverMediaLimit,  // payload above 2 MiB: stop that source
  SequenceLimit,   // counter exhausted: nothing more until the call is rejoined
};

struct PublishResult {
  PublishOutcome outcome = PublishOutcome::Sent;
  std::optional<std::string> notice;  // the call notice to show, if any
};

// One sequence counter per run of a call, shared by all kinds.
class Publisher {
 public:
  PublishResult publish(MediaTransport& transport, MediaKind kind,
                        std::vector<std::uint8_t> payload, const std::string& sender);
  // Tear down: the next call starts again at 0.
  void reset() { next_seq_ = 0; }
  std::uint64_t next_seq() const { return next_seq_; }
  // For tests of the limit: place the counter anywhere.
  void set_next_seq(std::uint64_t seq) { next_seq_ = seq; }

 private:
  std::uint64_t next_seq_ = 0;
};

// Drops a sender's duplicates and stale packets. A packet with seq 0 and
// timestamp 0 always passes: the sender has just (re)joined.
class ReceiveFilter {
 public:
  bool accept(const MediaPacket& packet);
  void reset() { last_seq_.clear(); }

 private:
  std::map<std::string, std::uint64_t> last_seq_;
};

// The receiving half of a frame: drain, skip the local user's own packets,
// filter. What remains is dispatched by kind by the caller.
std::vector<MediaPacket> receive_packets(MediaTransport& transport, ReceiveFilter& filter,
                                         const std::string& local_user);

}  // namespace chat::media
