#include "media/media_network.hpp"

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <future>

#include "wire_frame/async_io.hpp"

namespace chat::media {
namespace {

// One per dialled peer: connect, open one stream, then write each queued
// packet as one frame. Any failure ends the task and closes its queue, which
// tells the UI side to forget the peer and dial again.
asio::awaitable<void> send_task(std::shared_ptr<quic::Endpoint> endpoint, quic::PeerAddress peer,
                                std::shared_ptr<OutboundQueue> queue) {
  std::string alpn = kMediaAlpn;
  auto conn = co_await endpoint->connect(std::move(peer), std::move(alpn));
  if (conn) {
    auto stream = co_await conn->open_uni();
    if (stream) {
      for (;;) {
        std::error_code ec;
        std::vector<std::uint8_t> bytes =
            co_await queue->async_receive(asio::redirect_error(asio::use_awaitable, ec));
        if (ec) break;
        const auto written =
            co_await wire_frame::write_frame(*stream, wire_frame::kMediaFrameSettings, bytes);
        if (!written.ok()) break;
      }
      stream->finish();
    }
  }
  queue->close();
}

}  // namespace

asio::awaitable<void> MediaProtocol::operator()(quic::Connection conn) const {
  // Copies: the handler object may be gone before this coroutine ends.
  const auto inbound = inbound_;
  const auto stats = stats_;
  auto stream = co_await conn.accept_uni();
  if (!stream) co_return;
  for (;;) {
    auto frame = co_await wire_frame::read_frame(*stream, wire_frame::kMediaFrameSettings);
    if (!frame.is_frame()) co_return;
    stats->frames.fetch_add(1, std::memory_order_relaxed);
    auto packet = decode_packet(frame.body());
    if (!packet) {
      stats->invalid.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    switch (inbound->offer(std::move(*packet))) {
      case Offer::Accepted:
        break;
      case Offer::Full:
        stats->dropped.fetch_add(1, std::memory_order_relaxed);
        break;
      case Offer::Closed:
        co_return;
    }
  }
}

base::Result<std::unique_ptr<NetworkedTransport>> NetworkedTransport::start(
    quic::EndpointOptions options) {
  std::unique_ptr<NetworkedTransport> t(new NetworkedTransport());
  t->runtime_ = std::make_shared<quic::Runtime>(2);
  t->inbound_ = std::make_shared<InboundQueue>(kQueueCapacity);
  t->stats_ = std::make_shared<InboundStats>();
  // Binding and registering happen on the runtime, as everything of the
  // endpoint does; the caller waits for the ticket.
  std::promise<base::Result<std::string>> ready;
  asio::post(t->runtime_->executor(), [&] {
    auto ep = quic::Endpoint::bind(*t->runtime_, std::move(options));
    if (!ep) {
      ready.set_value(std::move(ep).take_error());
      return;
    }
    t->endpoint_ = std::shared_ptr<quic::Endpoint>(std::move(ep).value());
    MediaProtocol protocol(t->inbound_, t->stats_);
    t->endpoint_->register_protocol(
        kMediaAlpn, [protocol](quic::Connection c) { return protocol(std::move(c)); });
    ready.set_value(t->endpoint_->address().to_json());
  });
  auto ticket = ready.get_future().get();
  if (!ticket) return std::move(ticket).take_error();
  t->ticket_ = std::move(ticket).value();
  return t;
}

NetworkedTransport::~NetworkedTransport() {
  inbound_->close();
  for (auto& [ticket, queue] : peers_) queue->close();
  // Closing the endpoint ends every connection, so every task and handler
  // finishes before the runtime's threads are joined.
  if (endpoint_) endpoint_->shutdown();
  endpoint_.reset();
  // The queues are Asio objects: they must go before the runtime they run on.
  peers_.clear();
  runtime_.reset();
}

bool NetworkedTransport::connect(const std::string& ticket) {
  if (ticket == ticket_) return false;
  if (peers_.count(ticket)) return true;
  auto peer = quic::PeerAddress::from_json(ticket);
  if (!peer) return false;
  auto queue = std::make_shared<OutboundQueue>(runtime_->executor(), kQueueCapacity);
  asio::co_spawn(runtime_->executor(), send_task(endpoint_, std::move(peer).value(), queue),
                 asio::detached);
  peers_.emplace(ticket, std::move(queue));
  return true;
}

bool NetworkedTransport::send(const MediaPacket& packet) {
  const auto bytes = encode_packet(packet);
  if (!bytes) return false;
  bool taken = false;
  for (auto it = peers_.begin(); it != peers_.end();) {
    auto& queue = *it->second;
    if (!queue.is_open()) {
      it = peers_.erase(it);
      continue;
    }
    // Each peer gets its own copy; a full queue drops this packet for that
    // peer only.
    if (queue.try_send(std::error_code{}, *bytes)) taken = true;
    ++it;
  }
  return taken;
}

std::vector<MediaPacket> NetworkedTransport::drain() {
  return inbound_->take(kDrainMax);
}

}  // namespace chat::media
