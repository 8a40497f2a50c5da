// The endpoint's event loop: one UDP socket, one timer per connection, and the
// ngtcp2 connections, all on one strand. ngtcp2 decides what to send and when
// (retransmission, congestion and flow control); this loop only moves
// datagrams and wakes ngtcp2 when its timer expires.
#include <gnutls/crypto.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/udp.h>
#include <ngtcp2/ngtcp2_crypto_gnutls.h>

#include <asio/bind_executor.hpp>
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/redirect_error.hpp>
#include <asio/use_awaitable.hpp>
#include <cerrno>
#include <cstring>
#include <future>

#include "base/log.hpp"
#include "endpoint_core.hpp"

namespace quic {
namespace detail {
namespace {

constexpr std::size_t kScidLen = 16;
constexpr std::size_t kMaxUdpPayload = 1452;
// Packets written in one pass before the strand lets incoming datagrams (and
// their acknowledgements) in again.
constexpr int kPacketBudget = 64;
constexpr int kReceiveBudget = 64;
constexpr std::size_t kBatchSegments = 32;

constexpr char kPriority[] =
    "NORMAL:-VERS-ALL:+VERS-TLS1.3:-CIPHER-ALL:+AES-128-GCM:+AES-256-GCM:+CHACHA20-POLY1305:"
    "-GROUP-ALL:+GROUP-X25519:+GROUP-SECP256R1:%DISABLE_TLS13_COMPAT_MODE";

ngtcp2_tstamp now_ts() {
  return static_cast<ngtcp2_tstamp>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::string cid_key(const std::uint8_t* data, std::size_t len) {
  return std::string(reinterpret_cast<const char*>(data), len);
}

// Holds the handler (and whatever its closure captured) for as long as the
// coroutine it started runs.
asio::awaitable<void> run_handler(ProtocolHandler handler, Connection conn) {
  co_await handler(std::move(conn));
}

ngtcp2_conn* get_conn(ngtcp2_crypto_conn_ref* ref) {
  return static_cast<ConnState*>(ref->user_data)->conn;
}

// Client side: the peer must present exactly the key its address named.
int verify_pinned_key(gnutls_session_t session) {
  auto* ref = static_cast<ngtcp2_crypto_conn_ref*>(gnutls_session_get_ptr(session));
  auto* c = static_cast<ConnState*>(ref->user_data);
  const auto key = peer_certificate_key(session);
  if (!key || *key != c->expected_key) {
    c->tls_refused = true;
    return GNUTLS_E_CERTIFICATE_ERROR;
  }
  c->peer_key = *key;
  return 0;
}

// Server side: any well-formed key is accepted; it becomes the remote's name.
int record_client_key(gnutls_session_t session) {
  auto* ref = static_cast<ngtcp2_crypto_conn_ref*>(gnutls_session_get_ptr(session));
  auto* c = static_cast<ConnState*>(ref->user_data);
  if (const auto key = peer_certificate_key(session)) c->peer_key = *key;
  return 0;
}

void to_sockaddr(const asio::ip::udp::endpoint& ep, sockaddr_storage& out, socklen_t& len) {
  std::memcpy(&out, ep.data(), ep.size());
  len = static_cast<socklen_t>(ep.size());
}

}  // namespace

ConnState::~ConnState() {
  if (conn) ngtcp2_conn_del(conn);
  if (tls) gnutls_deinit(tls);
}

EndpointCore::EndpointCore(Runtime& runtime, EndpointOptions options)
    : rt(runtime),
      strand(asio::make_strand(runtime.context())),
      sock(strand),
      opts(std::move(options)) {}

void EndpointCore::register_cid(const std::shared_ptr<ConnState>& c, const ngtcp2_cid& cid) {
  auto key = cid_key(cid.data, cid.datalen);
  by_cid[key] = c;
  c->cids.push_back(std::move(key));
}

void EndpointCore::unregister_cid(const ngtcp2_cid& cid) {
  by_cid.erase(cid_key(cid.data, cid.datalen));
}

base::Status EndpointCore::setup_conn(const std::shared_ptr<ConnState>& c, bool server,
                                      const ngtcp2_cid& dcid, const ngtcp2_cid& scid,
                                      std::uint32_t version, const ngtcp2_cid* original_dcid) {
  c->server = server;
  to_sockaddr(c->remote, c->remote_sa, c->remote_salen);
  ngtcp2_path path{{reinterpret_cast<ngtcp2_sockaddr*>(&local_sa), local_salen},
                   {reinterpret_cast<ngtcp2_sockaddr*>(&c->remote_sa), c->remote_salen},
                   nullptr};
  ngtcp2_settings settings;
  ngtcp2_settings_default(&settings);
  settings.initial_ts = now_ts();
  settings.max_tx_udp_payload_size = kMaxUdpPayload;
  settings.handshake_timeout = static_cast<ngtcp2_duration>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(opts.handshake_timeout).count());
  settings.max_window = 32u << 20;
  settings.max_stream_window = 16u << 20;
  ngtcp2_transport_params params;
  ngtcp2_transport_params_default(&params);
  params.initial_max_streams_uni = 16;
  params.initial_max_streams_bidi = 0;
  params.initial_max_stream_data_uni = 8u << 20;
  params.initial_max_data = 16u << 20;
  params.max_idle_timeout = static_cast<ngtcp2_duration>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(opts.idle_timeout).count());
  if (original_dcid) params.original_dcid = *original_dcid;

  c->ref.get_conn = get_conn;
  c->ref.user_data = c.get();
  int rv = server
               ? ngtcp2_conn_server_new(&c->conn, &dcid, &scid, &path, version, &server_callbacks(),
                                        &settings, &params, nullptr, c.get())
               : ngtcp2_conn_client_new(&c->conn, &dcid, &scid, &path, version, &client_callbacks(),
                                        &settings, &params, nullptr, c.get());
  if (rv != 0)
    return base::make_error(std::string("QUIC connection setup: ") + ngtcp2_strerror(rv));

  rv = gnutls_init(
      &c->tls, server ? (GNUTLS_SERVER | GNUTLS_NO_AUTO_SEND_TICKET | GNUTLS_NO_END_OF_EARLY_DATA)
                      : (GNUTLS_CLIENT | GNUTLS_NO_END_OF_EARLY_DATA));
  if (rv != 0) return base::make_error(std::string("TLS setup: ") + gnutls_strerror(rv));
  rv = server ? ngtcp2_crypto_gnutls_configure_server_session(c->tls)
              : ngtcp2_crypto_gnutls_configure_client_session(c->tls);
  if (rv != 0) return base::make_error("TLS setup for QUIC failed");
  if ((rv = gnutls_priority_set_direct(c->tls, kPriority, nullptr)) != 0 ||
      (rv = gnutls_credentials_set(c->tls, GNUTLS_CRD_CERTIFICATE, identity->credentials())) != 0) {
    return base::make_error(std::string("TLS setup: ") + gnutls_strerror(rv));
  }
  gnutls_session_set_ptr(c->tls, &c->ref);
  if (server) {
    std::vector<std::string> names;
    {
      std::lock_guard lock(protocols_mu);
      for (const auto& [name, handler] : protocols) names.push_back(name);
    }
    std::vector<gnutls_datum_t> alpns;
    for (auto& n : names)
      alpns.push_back(
          {reinterpret_cast<unsigned char*>(n.data()), static_cast<unsigned>(n.size())});
    gnutls_alpn_set_protocols(c->tls, alpns.data(), static_cast<unsigned>(alpns.size()),
                              GNUTLS_ALPN_MANDATORY | GNUTLS_ALPN_SERVER_PRECEDENCE);
    gnutls_certificate_server_set_request(c->tls, GNUTLS_CERT_REQUEST);
    gnutls_session_set_verify_function(c->tls, record_client_key);
  } else {
    gnutls_datum_t alpn{reinterpret_cast<unsigned char*>(c->alpn.data()),
                        static_cast<unsigned>(c->alpn.size())};
    gnutls_alpn_set_protocols(c->tls, &alpn, 1, GNUTLS_ALPN_MANDATORY);
    gnutls_session_set_verify_function(c->tls, verify_pinned_key);
  }
  ngtcp2_conn_set_tls_native_handle(c->conn, c->tls);
  // Quiet but healthy connections stay open; a dead peer stops answering the
  // probes and the idle timeout ends the connection.
  ngtcp2_conn_set_keep_alive_timeout(c->conn, params.max_idle_timeout / 3);
  register_cid(c, scid);
  conns.insert(c);
  live_conns = conns.size();
  return {};
}

void EndpointCore::start_client(const std::shared_ptr<ConnState>& c, Completion done) {
  if (stopped) {
    done(asio::error::operation_aborted, 0);
    return;
  }
  ngtcp2_cid dcid, scid;
  dcid.datalen = 18;
  scid.datalen = kScidLen;
  (void)gnutls_rnd(GNUTLS_RND_RANDOM, dcid.data, dcid.datalen);
  (void)gnutls_rnd(GNUTLS_RND_RANDOM, scid.data, scid.datalen);
  if (auto st = setup_conn(c, false, dcid, scid, NGTCP2_PROTO_VER_V1, nullptr); !st) {
    base::log::warn("quic", "{}", st.error());
    close_conn(c, std::make_error_code(std::errc::protocol_error), false);
    done(std::make_error_code(std::errc::protocol_error), 0);
    return;
  }
  c->handshake_waiter = std::move(done);
  write_conn(c);
}

void EndpointCore::accept_new(const std::uint8_t* data, std::size_t len,
                              const asio::ip::udp::endpoint& from) {
  ngtcp2_pkt_hd hd;
  if (ngtcp2_accept(&hd, data, len) != 0) return;
  auto c = std::make_shared<ConnState>(this, strand);
  c->remote = from;
  ngtcp2_cid scid;
  scid.datalen = kScidLen;
  (void)gnutls_rnd(GNUTLS_RND_RANDOM, scid.data, scid.datalen);
  if (auto st = setup_conn(c, true, hd.scid, scid, hd.version, &hd.dcid); !st) {
    base::log::warn("quic", "{}", st.error());
    close_conn(c, std::make_error_code(std::errc::protocol_error), false);
    return;
  }
  register_cid(c, hd.dcid);
  read_packet(c, data, len);
}

void EndpointCore::start_receive() {
  sock.async_receive_from(
      asio::buffer(rxbuf), rx_from,
      asio::bind_executor(strand, [self = shared_from_this()](std::error_code ec, std::size_t n) {
        if (self->stopped || ec == asio::error::operation_aborted) return;
        if (!ec) self->on_datagram(self->rxbuf.data(), n, self->rx_from);
        // Take what is already queued before going back to the reactor.
        for (int i = 0; i < kReceiveBudget; ++i) {
          std::error_code e;
          const std::size_t m =
              self->sock.receive_from(asio::buffer(self->rxbuf), self->rx_from, 0, e);
          if (e) break;
          self->on_datagram(self->rxbuf.data(), m, self->rx_from);
        }
        self->flush_touched();
        self->start_receive();
      }));
}

void EndpointCore::on_datagram(const std::uint8_t* data, std::size_t len,
                               const asio::ip::udp::endpoint& from) {
  ngtcp2_version_cid vc;
  if (ngtcp2_pkt_decode_version_cid(&vc, data, len, kScidLen) != 0) return;
  const auto it = by_cid.find(cid_key(vc.dcid, vc.dcidlen));
  if (it != by_cid.end()) {
    const auto c = it->second;  // read_packet may erase the map entry
    read_packet(c, data, len);
    return;
  }
  if ((data[0] & 0x80) && !stopped) accept_new(data, len, from);
}

void EndpointCore::read_packet(const std::shared_ptr<ConnState>& c, const std::uint8_t* data,
                               std::size_t len) {
  if (c->closed) return;
  ngtcp2_path path{{reinterpret_cast<ngtcp2_sockaddr*>(&local_sa), local_salen},
                   {reinterpret_cast<ngtcp2_sockaddr*>(&c->remote_sa), c->remote_salen},
                   nullptr};
  ngtcp2_pkt_info pi{};
  const int rv = ngtcp2_conn_read_pkt(c->conn, &path, &pi, data, len, now_ts());
  if (rv != 0) base::log::debug("quic", "connection read failed: {}", ngtcp2_strerror(rv));
  if (rv != 0) {
    if (rv == NGTCP2_ERR_DRAINING || rv == NGTCP2_ERR_DROP_CONN) {
      close_conn(c, asio::error::connection_reset, false);
    } else if (rv == NGTCP2_ERR_CRYPTO || c->tls_refused) {
      close_conn(c, std::make_error_code(std::errc::permission_denied), true);
    } else {
      close_conn(c, asio::error::connection_aborted, true);
    }
    return;
  }
  if (c->handshake_done && !c->established) on_established(c);
  if (touched.empty() || touched.back() != c) touched.push_back(c);
}

void EndpointCore::flush_touched() {
  auto list = std::move(touched);
  touched.clear();
  for (const auto& c : list)
    if (!c->closed) write_conn(c);
}

void EndpointCore::on_established(const std::shared_ptr<ConnState>& c) {
  c->established = true;
  gnutls_datum_t proto{};
  if (gnutls_alpn_get_selected_protocol(c->tls, &proto) == 0)
    c->alpn.assign(reinterpret_cast<const char*>(proto.data), proto.size);
  if (!c->server) {
    if (c->handshake_waiter) std::exchange(c->handshake_waiter, {})(std::error_code{}, 0);
    return;
  }
  ProtocolHandler handler;
  {
    std::lock_guard lock(protocols_mu);
    const auto it = protocols.find(c->alpn);
    if (it != protocols.end()) handler = it->second;
  }
  if (!handler) {
    close_conn(c, std::make_error_code(std::errc::protocol_not_supported), true);
    return;
  }
  Connection conn;
  conn.use_ = std::make_shared<ConnUse>(shared_from_this(), c);
  asio::co_spawn(rt.executor(), run_handler(std::move(handler), std::move(conn)), asio::detached);
}

void EndpointCore::send_datagram(const ConnState& c, const std::uint8_t* data, std::size_t len) {
  if (opts.outgoing_filter && !opts.outgoing_filter(std::span<const std::uint8_t>(data, len)))
    return;
  std::error_code ec;
  // A full socket buffer loses the datagram like the network would; QUIC
  // recovers it.
  sock.send_to(asio::buffer(data, len), c.remote, 0, ec);
}

void EndpointCore::queue_datagram(const ConnState& c, const std::uint8_t* data, std::size_t len) {
  if (opts.outgoing_filter && !opts.outgoing_filter(std::span<const std::uint8_t>(data, len)))
    return;
  // Segmentation offload sends equal-sized datagrams in one system call; a
  // larger one starts a new batch, a smaller one ends the current batch.
  if (!batch.empty() && len > batch_segment) flush_batch(c);
  if (batch.empty()) batch_segment = len;
  batch.insert(batch.end(), data, data + len);
  if (len < batch_segment || batch.size() >= kBatchSegments * batch_segment) flush_batch(c);
}

void EndpointCore::flush_batch(const ConnState& c) {
  if (batch.empty()) return;
  std::error_code ec;
  if (batch.size() == batch_segment || !gso) {
    for (std::size_t off = 0; off < batch.size(); off += batch_segment)
      sock.send_to(asio::buffer(batch.data() + off, std::min(batch_segment, batch.size() - off)),
                   c.remote, 0, ec);
    batch.clear();
    return;
  }
  iovec iov{batch.data(), batch.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(std::uint16_t))] = {};
  msghdr msg{};
  msg.msg_name = const_cast<sockaddr_storage*>(&c.remote_sa);
  msg.msg_namelen = c.remote_salen;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  cmsghdr* cm = CMSG_FIRSTHDR(&msg);
  cm->cmsg_level = SOL_UDP;
  cm->cmsg_type = UDP_SEGMENT;
  cm->cmsg_len = CMSG_LEN(sizeof(std::uint16_t));
  const auto seg = static_cast<std::uint16_t>(batch_segment);
  std::memcpy(CMSG_DATA(cm), &seg, sizeof seg);
  if (::sendmsg(sock.native_handle(), &msg, 0) < 0 &&
      (errno == EIO || errno == EINVAL || errno == ENOPROTOOPT)) {
    gso = false;  // the kernel or device cannot segment: send one by one from now on
    flush_batch(c);
    return;
  }
  batch.clear();
}

void EndpointCore::schedule_flush(const std::shared_ptr<ConnState>& c) {
  if (c->flush_posted || c->closed) return;
  c->flush_posted = true;
  asio::post(strand, [self = shared_from_this(), c] {
    c->flush_posted = false;
    if (!c->closed) self->write_conn(c);
  });
}

void EndpointCore::write_conn(const std::shared_ptr<ConnState>& c) {
  if (c->closed || !c->conn) return;
  std::array<std::uint8_t, kMaxUdpPayload> buf;
  ngtcp2_path_storage ps;
  ngtcp2_path_storage_zero(&ps);
  ngtcp2_pkt_info pi{};
  const ngtcp2_tstamp ts = now_ts();
  for (auto& [id, s] : c->streams) s->blocked = false;
  int packets = 0;
  for (;;) {
    StreamState* s = nullptr;
    for (auto& [id, st] : c->streams)
      if (st->local && !st->blocked && !st->tx_error &&
          (st->tx_sent < st->tx_end || (st->fin_requested && !st->fin_sent))) {
        s = st.get();
        break;
      }
    std::array<ngtcp2_vec, 8> vecs;
    std::size_t nvec = 0;
    std::uint32_t flags = NGTCP2_WRITE_STREAM_FLAG_MORE;
    if (s) {
      std::uint64_t off = s->tx_base;
      std::uint64_t covered = s->tx_sent;
      for (auto& chunk : s->tx) {
        const std::uint64_t end = off + chunk.size();
        if (end > s->tx_sent) {
          if (nvec == vecs.size()) break;
          const std::size_t skip =
              static_cast<std::size_t>(s->tx_sent > off ? s->tx_sent - off : 0);
          vecs[nvec++] = ngtcp2_vec{chunk.data() + skip, chunk.size() - skip};
          covered = end;
        }
        off = end;
      }
      // FIN marks the end of what is passed, so only with the stream's last byte.
      if (s->fin_requested && covered == s->tx_end) flags |= NGTCP2_WRITE_STREAM_FLAG_FIN;
    }
    ngtcp2_ssize datalen = -1;
    const ngtcp2_ssize n =
        ngtcp2_conn_writev_stream(c->conn, &ps.path, &pi, buf.data(), buf.size(), &datalen, flags,
                                  s ? s->id : -1, nvec ? vecs.data() : nullptr, nvec, ts);
    if (s && datalen >= 0) {
      s->tx_sent += static_cast<std::uint64_t>(datalen);
      if (s->fin_requested && s->tx_sent == s->tx_end && (flags & NGTCP2_WRITE_STREAM_FLAG_FIN)) {
        // ngtcp2 sets FIN only with the last byte; a datalen that reached the
        // end means the FIN went out with it.
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < nvec; ++i) total += vecs[i].len;
        if (static_cast<std::uint64_t>(datalen) == total) s->fin_sent = true;
      }
    }
    if (n < 0) {
      if (n == NGTCP2_ERR_WRITE_MORE) continue;
      flush_batch(*c);
      if (n == NGTCP2_ERR_STREAM_DATA_BLOCKED || n == NGTCP2_ERR_STREAM_SHUT_WR ||
          n == NGTCP2_ERR_STREAM_NOT_FOUND) {
        if (s) s->blocked = true;
        continue;
      }
      close_conn(c, asio::error::connection_aborted, true);
      return;
    }
    if (n == 0) break;
    queue_datagram(*c, buf.data(), static_cast<std::size_t>(n));
    if (++packets >= kPacketBudget) {
      // More may be ready: come back after any pending reads.
      schedule_flush(c);
      break;
    }
  }
  flush_batch(*c);
  ngtcp2_conn_update_pkt_tx_time(c->conn, ts);
  arm_timer(c);
}

void EndpointCore::arm_timer(const std::shared_ptr<ConnState>& c) {
  const ngtcp2_tstamp expiry = ngtcp2_conn_get_expiry(c->conn);
  // An earlier wake-up already set will look again when it fires; moving the
  // timer on every write would only churn cancelled waits.
  if (expiry == UINT64_MAX || c->armed <= expiry) return;
  c->armed = expiry;
  c->timer.expires_at(std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::nanoseconds(expiry))));
  c->timer.async_wait(
      [self = shared_from_this(), w = std::weak_ptr<ConnState>(c), expiry](std::error_code ec) {
        if (ec) return;
        const auto conn = w.lock();
        if (!conn || conn->closed || conn->armed != expiry) return;
        conn->armed = UINT64_MAX;
        const ngtcp2_tstamp now = now_ts();
        if (ngtcp2_conn_get_expiry(conn->conn) > now) {
          self->arm_timer(conn);  // the deadline moved later meanwhile
          return;
        }
        const int rv = ngtcp2_conn_handle_expiry(conn->conn, now);
        if (rv != 0) {
          self->close_conn(conn, asio::error::timed_out, false);
          return;
        }
        self->write_conn(conn);
      });
}

void EndpointCore::close_conn(const std::shared_ptr<ConnState>& c, std::error_code reason,
                              bool send_close) {
  if (c->closed) return;
  c->closed = true;
  c->close_reason = reason;
  if (send_close && c->conn && !ngtcp2_conn_is_in_closing_period(c->conn) &&
      !ngtcp2_conn_is_in_draining_period(c->conn)) {
    std::array<std::uint8_t, kMaxUdpPayload> buf;
    ngtcp2_path_storage ps;
    ngtcp2_path_storage_zero(&ps);
    ngtcp2_pkt_info pi{};
    ngtcp2_connection_close_error ccerr;
    ngtcp2_connection_close_error_default(&ccerr);
    if (c->tls_refused) {
      ngtcp2_connection_close_error_set_transport_error_tls_alert(&ccerr, GNUTLS_A_BAD_CERTIFICATE,
                                                                  nullptr, 0);
    } else if (!c->established) {
      ngtcp2_connection_close_error_set_transport_error_liberr(&ccerr, NGTCP2_ERR_CRYPTO, nullptr,
                                                               0);
    }
    const ngtcp2_ssize n = ngtcp2_conn_write_connection_close(c->conn, &ps.path, &pi, buf.data(),
                                                              buf.size(), &ccerr, now_ts());
    if (n > 0) send_datagram(*c, buf.data(), static_cast<std::size_t>(n));
  }
  if (c->handshake_waiter) std::exchange(c->handshake_waiter, {})(reason, 0);
  if (c->acceptor) std::exchange(c->acceptor, {})(reason, 0);
  for (auto& [id, s] : c->streams) {
    if (!s->rx_fin && !s->rx_error) s->rx_error = reason;
    deliver_rx(*this, *c, *s);
    fail_stream(*s, reason);
  }
  for (auto& s : c->incoming) {
    if (!s->rx_fin && !s->rx_error) s->rx_error = reason;
  }
  c->timer.cancel();
  for (const auto& key : c->cids) {
    const auto it = by_cid.find(key);
    if (it != by_cid.end() && it->second == c) by_cid.erase(it);
  }
  conns.erase(c);
  live_conns = conns.size();
}

void EndpointCore::maybe_close_released(const std::shared_ptr<ConnState>& c) {
  if (!c->released || c->closed) return;
  for (const auto& [id, s] : c->streams)
    if (s->local && !s->tx_error) return;  // still delivering; stream_close will come back here
  close_conn(c, asio::error::operation_aborted, true);
}

void EndpointCore::do_shutdown() {
  if (stopped) return;
  stopped = true;
  const auto all = conns;
  for (const auto& c : all) close_conn(c, asio::error::operation_aborted, true);
  std::error_code ec;
  sock.close(ec);
}

ConnUse::~ConnUse() {
  asio::post(ep->strand, [ep = ep, c = c] {
    c->released = true;
    ep->maybe_close_released(c);
  });
}

// Ends the sending side after what was written so far.
void request_finish(const std::shared_ptr<ConnUse>& conn, const std::shared_ptr<StreamState>& s) {
  asio::post(conn->ep->strand, [conn, s] {
    s->fin_requested = true;
    conn->ep->schedule_flush(conn->c);
  });
}

StreamUse::~StreamUse() {
  if (s->local) request_finish(conn, s);
}

// A stream takes one read and one write at a time: on the strand, a second
// operation of a kind whose completion (`pending`) is still held fails with
// in_progress; otherwise `begin` takes it over.
template <typename Begin>
void start_stream_op(StreamUse& u, Completion StreamState::*pending, Completion done, Begin begin) {
  asio::post(u.conn->ep->strand, [ep = u.conn->ep, c = u.conn->c, s = u.s, pending,
                                  done = std::move(done), begin = std::move(begin)]() mutable {
    if ((*s).*pending) {
      done(asio::error::in_progress, 0);
      return;
    }
    begin(*ep, c, *s, std::move(done));
  });
}

void start_read(StreamUse& u, asio::mutable_buffer buf, Completion done) {
  start_stream_op(u, &StreamState::reader, std::move(done),
                  [buf](EndpointCore& ep, const std::shared_ptr<ConnState>& c, StreamState& s,
                        Completion done) {
                    s.reader = std::move(done);
                    s.read_buf = buf;
                    deliver_rx(ep, *c, s);
                  });
}

void start_write(StreamUse& u, asio::const_buffer buf, Completion done) {
  start_stream_op(u, &StreamState::writer, std::move(done),
                  [buf](EndpointCore& ep, const std::shared_ptr<ConnState>& c, StreamState& s,
                        Completion done) {
                    if (s.fin_requested && !s.tx_error) {
                      done(asio::error::broken_pipe, 0);
                      return;
                    }
                    s.writer = std::move(done);
                    s.write_buf = buf;
                    offer_write(s);
                    ep.schedule_flush(c);
                  });
}

// Starts an operation on the strand; the returned awaitable completes when the
// strand calls the Completion, leaving its error in ec. Deliberately not a
// coroutine itself: GCC 12 destroys a lambda passed by value to a coroutine
// inside a co_await expression twice.
template <typename Start>
auto on_strand(EndpointCore& ep, Start start, std::error_code& ec) {
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  return asio::async_initiate<decltype(token), void(std::error_code, std::size_t)>(
      [&ep, start = std::move(start)](auto handler) mutable {
        asio::post(ep.strand,
                   [start = std::move(start), done = Completion(std::move(handler))]() mutable {
                     start(std::move(done));
                   });
      },
      token);
}

}  // namespace detail

using detail::ConnState;
using detail::EndpointCore;

// A stream's handlers run on the runtime's executor, like the connection's.
SendStream::SendStream(std::shared_ptr<detail::StreamUse> use)
    : use_(std::move(use)), ex_(use_->conn->ep->rt.executor()) {}
RecvStream::RecvStream(std::shared_ptr<detail::StreamUse> use)
    : use_(std::move(use)), ex_(use_->conn->ep->rt.executor()) {}

std::int64_t SendStream::id() const {
  return use_->s->id;
}
std::int64_t RecvStream::id() const {
  return use_->s->id;
}

void SendStream::finish() {
  detail::request_finish(use_->conn, use_->s);
}

const std::string& Connection::alpn() const {
  return use_->c->alpn;
}
const PublicKey& Connection::remote_key() const {
  return use_->c->peer_key;
}
asio::ip::udp::endpoint Connection::remote_address() const {
  return use_->c->remote;
}

asio::awaitable<base::Result<SendStream>> Connection::open_uni() {
  auto use = use_;
  auto slot = std::make_shared<std::shared_ptr<detail::StreamState>>();
  std::error_code ec;
  auto start = [use, slot](detail::Completion done) {
    auto& c = *use->c;
    if (c.closed) return done(c.close_reason, 0);
    std::int64_t id = -1;
    if (ngtcp2_conn_open_uni_stream(c.conn, &id, nullptr) != 0)
      return done(asio::error::no_buffer_space, 0);
    auto s = std::make_shared<detail::StreamState>();
    s->id = id;
    s->local = true;
    c.streams[id] = s;
    *slot = std::move(s);
    done(std::error_code{}, 0);
  };
  co_await detail::on_strand(*use->ep, std::move(start), ec);
  if (ec) co_return base::make_error("could not open a stream: " + ec.message());
  co_return SendStream(std::make_shared<detail::StreamUse>(use, *slot));
}

asio::awaitable<base::Result<RecvStream>> Connection::accept_uni() {
  auto use = use_;
  auto slot = std::make_shared<std::shared_ptr<detail::StreamState>>();
  std::error_code ec;
  auto start = [use, slot](detail::Completion done) {
    auto& c = *use->c;
    if (!c.incoming.empty()) {
      *slot = std::move(c.incoming.front());
      c.incoming.pop_front();
      return done(std::error_code{}, 0);
    }
    if (c.closed) return done(c.close_reason, 0);
    if (c.acceptor) return done(asio::error::in_progress, 0);
    c.accept_slot = slot;
    c.acceptor = std::move(done);
  };
  co_await detail::on_strand(*use->ep, std::move(start), ec);
  if (ec) co_return base::make_error("no stream from peer: " + ec.message());
  co_return RecvStream(std::make_shared<detail::StreamUse>(use, *slot));
}

void Connection::close() {
  asio::post(use_->ep->strand,
             [u = use_] { u->ep->close_conn(u->c, asio::error::operation_aborted, true); });
}

base::Result<std::unique_ptr<Endpoint>> Endpoint::bind(Runtime& runtime, EndpointOptions options) {
  auto core = std::make_shared<EndpointCore>(runtime, std::move(options));
  core->identity = VESK_TRY(detail::Identity::make(core->opts.key_seed));
  std::error_code ec;
  core->sock.open(core->opts.bind.protocol(), ec);
  if (!ec) core->sock.bind(core->opts.bind, ec);
  if (ec)
    return base::make_error("could not bind UDP " + format_socket_address(core->opts.bind) + ": " +
                            ec.message());
  core->sock.non_blocking(true, ec);
  // Large buffers ride out bursts of a video frame; the kernel caps them.
  core->sock.set_option(asio::socket_base::receive_buffer_size(8 << 20), ec);
  core->sock.set_option(asio::socket_base::send_buffer_size(8 << 20), ec);
  const auto local = core->sock.local_endpoint(ec);
  if (ec) return base::make_error("could not read the bound address: " + ec.message());
  detail::to_sockaddr(local, core->local_sa, core->local_salen);
  asio::post(core->strand, [core] { core->start_receive(); });
  return std::unique_ptr<Endpoint>(new Endpoint(std::move(core)));
}

Endpoint::~Endpoint() {
  shutdown();
}

const PublicKey& Endpoint::key() const {
  return core_->identity->key();
}

asio::ip::udp::endpoint Endpoint::local_endpoint() const {
  std::error_code ec;
  return core_->sock.local_endpoint(ec);
}

PeerAddress Endpoint::address() const {
  PeerAddress out;
  out.id = key();
  const auto local = local_endpoint();
  if (!local.address().is_unspecified()) {
    out.ip_addrs.push_back(local);
    return out;
  }
  // Bound to every interface: list each IPv4 address, loopback last, since a
  // remote peer dialling our loopback address would reach itself.
  std::vector<asio::ip::udp::endpoint> loopback;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* i = list; i; i = i->ifa_next) {
      if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
      const auto* sin = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
      const asio::ip::address_v4 a(ntohl(sin->sin_addr.s_addr));
      (a.is_loopback() ? loopback : out.ip_addrs).emplace_back(a, local.port());
    }
    freeifaddrs(list);
  }
  out.ip_addrs.insert(out.ip_addrs.end(), loopback.begin(), loopback.end());
  if (out.ip_addrs.empty())
    out.ip_addrs.emplace_back(asio::ip::address_v4::loopback(), local.port());
  return out;
}

void Endpoint::register_protocol(std::string alpn, ProtocolHandler handler) {
  std::lock_guard lock(core_->protocols_mu);
  core_->protocols[std::move(alpn)] = std::move(handler);
}

asio::awaitable<base::Result<Connection>> Endpoint::connect(PeerAddress peer, std::string alpn) {
  auto core = core_;
  std::string last = "peer has no direct address to dial";
  for (const auto& addr : peer.ip_addrs) {
    if (addr.protocol() != core->opts.bind.protocol()) continue;
    auto c = std::make_shared<ConnState>(core.get(), core->strand);
    c->remote = addr;
    c->expected_key = peer.id;
    c->alpn = alpn;
    std::error_code ec;
    auto start = [core, c](detail::Completion done) { core->start_client(c, std::move(done)); };
    co_await detail::on_strand(*core, std::move(start), ec);
    if (!ec) {
      Connection conn;
      conn.use_ = std::make_shared<detail::ConnUse>(core, c);
      co_return conn;
    }
    if (ec == asio::error::operation_aborted)
      co_return base::make_error("endpoint is shutting down");
    if (ec == std::errc::permission_denied) {
      last = "handshake with " + format_socket_address(addr) + " failed: wrong key or protocol";
    } else if (ec == asio::error::timed_out) {
      last = "no answer from " + format_socket_address(addr);
    } else {
      last = "could not connect to " + format_socket_address(addr) + ": " + ec.message();
    }
  }
  co_return base::make_error(last);
}

void Endpoint::shutdown() {
  auto core = core_;
  if (core->rt.context().stopped()) {
    core->do_shutdown();  // no worker is left to race with
    return;
  }
  if (core->rt.on_worker()) {
    asio::post(core->strand, [core] { core->do_shutdown(); });
    return;
  }
  std::promise<void> done;
  asio::post(core->strand, [core, &done] {
    core->do_shutdown();
    done.set_value();
  });
  done.get_future().wait();
}

std::size_t Endpoint::connection_count() const {
  return core_->live_conns.load();
}

}  // namespace quic
