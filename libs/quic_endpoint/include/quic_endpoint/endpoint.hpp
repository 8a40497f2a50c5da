#pragma once
// A peer-to-peer QUIC endpoint named by an Ed25519 key made afresh at each
// start. Dialling authenticates the peer by the key in its address (TLS 1.3,
// a self-signed certificate pinned to that key); incoming connections are
// routed by ALPN to registered handlers. Streams are one-way and behave as
// Asio async streams, so wire frames can be written and read on them.
//
// Threads: everything that touches ngtcp2, GnuTLS, the UDP socket and the
// timers runs on one strand of the runtime; user code (handlers, tasks) runs
// on the runtime's workers and meets the strand only by posting to it.

#include <asio/any_io_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "base/result.hpp"
#include "quic_endpoint/detail/completion.hpp"
#include "quic_endpoint/peer_address.hpp"
#include "quic_endpoint/runtime.hpp"

namespace quic {

namespace detail {
struct EndpointCore;
struct ConnUse;
struct StreamUse;
void start_read(StreamUse& s, asio::mutable_buffer buf, Completion done);
void start_write(StreamUse& s, asio::const_buffer buf, Completion done);
}  // namespace detail

// Stream operations fail with asio errors: eof at the end of a received stream,
// connection_reset when the peer reset it or closed the connection,
// timed_out when the peer went silent, operation_aborted when the endpoint
// shut down.
class SendStream {
 public:
  using executor_type = asio::any_io_executor;
  SendStream() = default;
  executor_type get_executor() const { return ex_; }
  std::int64_t id() const;

  // Accepts as many bytes as fit in the stream's send buffer; waits while it
  // is full. Bytes are retransmitted by QUIC until the peer acknowledges them.
  template <typename Buffers, typename Token>
  auto async_write_some(const Buffers& buffers, Token&& token) {
    return asio::async_initiate<Token, void(std::error_code, std::size_t)>(
        [this](auto handler, asio::const_buffer buf) {
          detail::start_write(*use_, buf, detail::Completion(std::move(handler)));
        },
        token, first_buffer(buffers));
  }
  // Ends the stream after everything written so far.
  void finish();

 private:
  friend class Connection;
  template <typename Buffers>
  static asio::const_buffer first_buffer(const Buffers& buffers) {
    for (auto it = asio::buffer_sequence_begin(buffers); it != asio::buffer_sequence_end(buffers);
         ++it)
      if (asio::const_buffer(*it).size() != 0) return *it;
    return {};
  }
  explicit SendStream(std::shared_ptr<detail::StreamUse> use);
  std::shared_ptr<detail::StreamUse> use_;
  asio::any_io_executor ex_;
};

class RecvStream {
 public:
  using executor_type = asio::any_io_executor;
  RecvStream() = default;
  executor_type get_executor() const { return ex_; }
  std::int64_t id() const;

  template <typename Buffers, typename Token>
  auto async_read_some(const Buffers& buffers, Token&& token) {
    return asio::async_initiate<Token, void(std::error_code, std::size_t)>(
        [this](auto handler, asio::mutable_buffer buf) {
          detail::start_read(*use_, buf, detail::Completion(std::move(handler)));
        },
        token, asio::mutable_buffer(*asio::buffer_sequence_begin(buffers)));
  }

 private:
  friend class Connection;
  explicit RecvStream(std::shared_ptr<detail::StreamUse> use);
  std::shared_ptr<detail::StreamUse> use_;
  asio::any_io_executor ex_;
};

// A handle on an established connection. The connection stays open while any
// handle or stream of it is held; when the last is dropped it closes once its
// sent data has been acknowledged.
class Connection {
 public:
  Connection() = default;
  const std::string& alpn() const;
  // The peer's key: pinned for dialled connections, taken from its
  // certificate for accepted ones.
  const PublicKey& remote_key() const;
  asio::ip::udp::endpoint remote_address() const;

  asio::awaitable<base::Result<SendStream>> open_uni();
  asio::awaitable<base::Result<RecvStream>> accept_uni();
  // Closes now, dropping unsent data.
  void close();

 private:
  friend struct detail::EndpointCore;
  friend class Endpoint;
  std::shared_ptr<detail::ConnUse> use_;
};

using ProtocolHandler = std::function<asio::awaitable<void>(Connection)>;

struct EndpointOptions {
  // Where to bind; 0.0.0.0 lists every IPv4 interface address in the peer address.
  asio::ip::udp::endpoint bind{asio::ip::address_v4::any(), 0};
  std::chrono::milliseconds idle_timeout{10'000};
  std::chrono::milliseconds handshake_timeout{3'000};
  // Tests name an endpoint with a fixed seed to restart "the same" peer; left
  // empty, a fresh key is drawn from the system's random source.
  std::optional<std::array<std::uint8_t, 32>> key_seed;
  // Sees every outgoing datagram; answering false drops it (loss shims).
  std::function<bool(std::span<const std::uint8_t>)> outgoing_filter;
};

class Endpoint {
 public:
  // Generates the key, binds the UDP socket and starts receiving.
  static base::Result<std::unique_ptr<Endpoint>> bind(Runtime& runtime,
                                                      EndpointOptions options = {});
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  const PublicKey& key() const;
  PeerAddress address() const;
  asio::ip::udp::endpoint local_endpoint() const;

  // Incoming connections that negotiate this ALPN are handed to the handler,
  // each in its own coroutine on the runtime.
  void register_protocol(std::string alpn, ProtocolHandler handler);

  // Dials the peer's IP addresses in order until one completes the handshake
  // with the pinned key and the given ALPN. Relay addresses are skipped.
  asio::awaitable<base::Result<Connection>> connect(PeerAddress peer, std::string alpn);

  // Closes every connection and stops the socket; waits for that to finish
  // when called from outside the runtime's workers. Safe to call twice.
  void shutdown();

  std::size_t connection_count() const;

 private:
  explicit Endpoint(std::shared_ptr<detail::EndpointCore> core) : core_(std::move(core)) {}
  std::shared_ptr<detail::EndpointCore> core_;
};

}  // namespace quic
