#pragma once
// The networked media session: a QUIC endpoint on its own 2-thread runtime,
// one send task per dialled peer fed by that peer's outbound queue, and one
// MediaProtocol handler per incoming connection feeding the inbound queue.

#include <asio/experimental/concurrent_channel.hpp>
#include <atomic>
#include <map>

#include "base/result.hpp"
#include "media/media_queue.hpp"
#include "media/media_transport.hpp"
#include "quic_endpoint/endpoint.hpp"

namespace chat::media {

using OutboundQueue =
    asio::experimental::concurrent_channel<void(std::error_code, std::vector<std::uint8_t>)>;

// Counters the handlers keep; read by tests and diagnostics.
struct InboundStats {
  std::atomic<std::uint64_t> frames{0};   // frames read from peers
  std::atomic<std::uint64_t> invalid{0};  // bodies that were not media packets
  std::atomic<std::uint64_t> dropped{0};  // packets lost to a full inbound queue
};

// Reads the first one-way stream of an incoming connection, one packet per
// frame, into the inbound queue. Never waits on the queue.
class MediaProtocol {
 public:
  MediaProtocol(std::shared_ptr<InboundQueue> inbound, std::shared_ptr<InboundStats> stats)
      : inbound_(std::move(inbound)), stats_(std::move(stats)) {}
  asio::awaitable<void> operator()(quic::Connection conn) const;

 private:
  std::shared_ptr<InboundQueue> inbound_;
  std::shared_ptr<InboundStats> stats_;
};

class NetworkedTransport final : public MediaTransport {
 public:
  // Builds the runtime and the endpoint, registers the media protocol and
  // reads the ticket. The options are for tests (bind address, fixed key).
  static base::Result<std::unique_ptr<NetworkedTransport>> start(
      quic::EndpointOptions options = {});
  ~NetworkedTransport() override;

  std::optional<std::string> ticket() const override { return ticket_; }
  bool connect(const std::string& ticket) override;
  bool send(const MediaPacket& packet) override;
  std::vector<MediaPacket> drain() override;

  std::size_t peer_count() const { return peers_.size(); }
  const InboundStats& stats() const { return *stats_; }

 private:
  NetworkedTransport() = default;

  std::shared_ptr<quic::Runtime> runtime_;
  std::shared_ptr<quic::Endpoint> endpoint_;
  std::string ticket_;
  std::shared_ptr<InboundQueue> inbound_;
  std::shared_ptr<InboundStats> stats_;
  std::map<std::string, std::shared_ptr<OutboundQueue>> peers_;
};

}  // namespace chat::media
