#pragma once
// Internal state of the endpoint. Every member of EndpointCore, ConnState and
// StreamState below is touched only on the endpoint's strand, except where a
// comment says otherwise. User-facing handles (ConnUse, StreamUse) reach this
// state only by posting to that strand.

#include <ngtcp2/ngtcp2.h>
#include <ngtcp2/ngtcp2_crypto.h>

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#include "identity.hpp"
#include "quic_endpoint/endpoint.hpp"

namespace quic::detail {

struct EndpointCore;

struct StreamState {
  std::int64_t id = -1;
  bool local = false;
  // Receiving: chunks in stream order, handed to the reader as it asks.
  std::deque<std::vector<std::uint8_t>> rx;
  std::size_t rx_pos = 0;  // consumed bytes of rx.front()
  bool rx_fin = false;
  std::error_code rx_error;
  Completion reader;
  asio::mutable_buffer read_buf;
  // Sending: bytes stay buffered until acknowledged, since QUIC may resend them.
  std::deque<std::vector<std::uint8_t>> tx;
  std::uint64_t tx_base = 0;  // stream offset of tx.front()[0]
  std::uint64_t tx_end = 0;   // offset after the last buffered byte
  std::uint64_t tx_sent = 0;  // offset handed to ngtcp2
  bool fin_requested = false;
  bool fin_sent = false;
  bool blocked = false;  // flow control said wait; cleared on every write pass
  std::error_code tx_error;
  Completion writer;
  asio::const_buffer write_buf;
};

struct ConnState : std::enable_shared_from_this<ConnState> {
  ConnState(EndpointCore* core, asio::strand<asio::io_context::executor_type> strand)
      : ep(core), timer(strand) {}
  ~ConnState();

  EndpointCore* ep;
  ngtcp2_conn* conn = nullptr;
  gnutls_session_t tls = nullptr;
  ngtcp2_crypto_conn_ref ref{};
  bool server = false;
  // Fixed before any user handle exists, so user threads may read them.
  PublicKey expected_key;  // dialled: the pinned key
  PublicKey peer_key;      // the key the peer's certificate carried
  std::string alpn;
  asio::ip::udp::endpoint remote;
  sockaddr_storage remote_sa{};
  socklen_t remote_salen = 0;

  asio::steady_timer timer;
  ngtcp2_tstamp armed = UINT64_MAX;
  std::map<std::int64_t, std::shared_ptr<StreamState>> streams;
  std::deque<std::shared_ptr<StreamState>> incoming;
  Completion acceptor;
  std::shared_ptr<std::shared_ptr<StreamState>> accept_slot;
  Completion handshake_waiter;
  std::vector<std::string> cids;
  bool handshake_done = false;
  bool established = false;
  bool closed = false;
  bool released = false;
  bool flush_posted = false;
  bool tls_refused = false;
  std::error_code close_reason;
};

struct EndpointCore : std::enable_shared_from_this<EndpointCore> {
  EndpointCore(Runtime& runtime, EndpointOptions options);

  Runtime& rt;
  asio::strand<asio::io_context::executor_type> strand;
  asio::ip::udp::socket sock;
  EndpointOptions opts;
  std::unique_ptr<Identity> identity;
  sockaddr_storage local_sa{};
  socklen_t local_salen = 0;
  std::unordered_map<std::string, std::shared_ptr<ConnState>> by_cid;
  std::set<std::shared_ptr<ConnState>> conns;
  std::vector<std::shared_ptr<ConnState>> touched;
  std::array<std::uint8_t, 65536> rxbuf{};
  asio::ip::udp::endpoint rx_from;
  bool stopped = false;
  std::vector<std::uint8_t> batch;  // datagrams of one connection awaiting one send
  std::size_t batch_segment = 0;
  bool gso = true;
  std::atomic<std::size_t> live_conns{0};  // read from any thread

  std::mutex protocols_mu;  // guards protocols: registered from any thread
  std::map<std::string, ProtocolHandler> protocols;

  void start_receive();
  void on_datagram(const std::uint8_t* data, std::size_t len, const asio::ip::udp::endpoint& from);
  void accept_new(const std::uint8_t* data, std::size_t len, const asio::ip::udp::endpoint& from);
  void read_packet(const std::shared_ptr<ConnState>& c, const std::uint8_t* data, std::size_t len);
  void flush_touched();

  void start_client(const std::shared_ptr<ConnState>& c, Completion done);
  void on_established(const std::shared_ptr<ConnState>& c);
  void write_conn(const std::shared_ptr<ConnState>& c);
  void schedule_flush(const std::shared_ptr<ConnState>& c);
  void arm_timer(const std::shared_ptr<ConnState>& c);
  void send_datagram(const ConnState& c, const std::uint8_t* data, std::size_t len);
  void queue_datagram(const ConnState& c, const std::uint8_t* data, std::size_t len);
  void flush_batch(const ConnState& c);
  void close_conn(const std::shared_ptr<ConnState>& c, std::error_code reason, bool send_close);
  void maybe_close_released(const std::shared_ptr<ConnState>& c);
  void register_cid(const std::shared_ptr<ConnState>& c, const ngtcp2_cid& cid);
  void unregister_cid(const ngtcp2_cid& cid);
  void do_shutdown();

  base::Status setup_conn(const std::shared_ptr<ConnState>& c, bool server, const ngtcp2_cid& dcid,
                          const ngtcp2_cid& scid, std::uint32_t version,
                          const ngtcp2_cid* original_dcid);
};

// Dropping the last handle of a connection (or stream) is what releases it;
// these are never copied, only shared.
struct ConnUse {
  ConnUse(std::shared_ptr<EndpointCore> e, std::shared_ptr<ConnState> conn)
      : ep(std::move(e)), c(std::move(conn)) {}
  ConnUse(const ConnUse&) = delete;
  ConnUse& operator=(const ConnUse&) = delete;
  ~ConnUse();
  std::shared_ptr<EndpointCore> ep;
  std::shared_ptr<ConnState> c;
};

struct StreamUse {
  StreamUse(std::shared_ptr<ConnUse> cu, std::shared_ptr<StreamState> st)
      : conn(std::move(cu)), s(std::move(st)) {}
  StreamUse(const StreamUse&) = delete;
  StreamUse& operator=(const StreamUse&) = delete;
  ~StreamUse();
  std::shared_ptr<ConnUse> conn;
  std::shared_ptr<StreamState> s;
};

// Stream bookkeeping used by the ngtcp2 callbacks and the user operations.
void deliver_rx(EndpointCore& ep, ConnState& c, StreamState& s);
void offer_write(StreamState& s);
void fail_stream(StreamState& s, std::error_code ec);
const ngtcp2_callbacks& client_callbacks();
const ngtcp2_callbacks& server_callbacks();

}  // namespace quic::detail
