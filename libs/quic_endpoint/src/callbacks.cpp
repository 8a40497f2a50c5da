// ngtcp2's callbacks and the stream bookkeeping they drive. All of it runs on
// the endpoint's strand, inside ngtcp2 calls made by endpoint.cpp.
#include <gnutls/crypto.h>

#include <cstring>

#include "endpoint_core.hpp"

namespace quic::detail {
namespace {

// Send buffer per stream: enough for one largest media frame in flight plus
// the next, so writers are slowed by acknowledgements, not by the buffer.
constexpr std::uint64_t kStreamSendBuffer = 5u << 20;

ConnState& conn_of(void* user_data) {
  return *static_cast<ConnState*>(user_data);
}

std::shared_ptr<StreamState> find_stream(ConnState& c, std::int64_t id) {
  const auto it = c.streams.find(id);
  return it == c.streams.end() ? nullptr : it->second;
}

int on_recv_stream_data(ngtcp2_conn*, std::uint32_t flags, std::int64_t stream_id, std::uint64_t,
                        const std::uint8_t* data, std::size_t datalen, void* user_data, void*) {
  ConnState& c = conn_of(user_data);
  const auto s = find_stream(c, stream_id);
  if (!s) return 0;
  if (datalen > 0) s->rx.emplace_back(data, data + datalen);
  if (flags & NGTCP2_STREAM_DATA_FLAG_FIN) s->rx_fin = true;
  deliver_rx(*c.ep, c, *s);
  return 0;
}

int on_acked_stream_data_offset(ngtcp2_conn*, std::int64_t stream_id, std::uint64_t offset,
                                std::uint64_t datalen, void* user_data, void*) {
  ConnState& c = conn_of(user_data);
  const auto s = find_stream(c, stream_id);
  if (!s) return 0;
  const std::uint64_t acked = offset + datalen;
  while (!s->tx.empty() && s->tx_base + s->tx.front().size() <= acked) {
    s->tx_base += s->tx.front().size();
    s->tx.pop_front();
  }
  offer_write(*s);
  return 0;
}

int on_stream_open(ngtcp2_conn* conn, std::int64_t stream_id, void* user_data) {
  ConnState& c = conn_of(user_data);
  if (ngtcp2_conn_is_local_stream(conn, stream_id) || ngtcp2_is_bidi_stream(stream_id)) return 0;
  auto s = std::make_shared<StreamState>();
  s->id = stream_id;
  c.streams[stream_id] = s;
  if (c.acceptor) {
    *c.accept_slot = s;
    c.accept_slot.reset();
    std::exchange(c.acceptor, {})(std::error_code{}, 0);
  } else {
    c.incoming.push_back(std::move(s));
  }
  return 0;
}

int on_stream_close(ngtcp2_conn*, std::uint32_t, std::int64_t stream_id, std::uint64_t,
                    void* user_data, void*) {
  ConnState& c = conn_of(user_data);
  const auto s = find_stream(c, stream_id);
  if (!s) return 0;
  if (!s->rx_fin && !s->rx_error) s->rx_error = asio::error::connection_reset;
  deliver_rx(*c.ep, c, *s);
  if (!s->tx_error) s->tx_error = asio::error::broken_pipe;
  fail_stream(*s, s->tx_error);
  c.streams.erase(stream_id);
  return 0;
}

int on_stream_reset(ngtcp2_conn*, std::int64_t stream_id, std::uint64_t, std::uint64_t,
                    void* user_data, void*) {
  ConnState& c = conn_of(user_data);
  if (const auto s = find_stream(c, stream_id)) {
    if (!s->rx_error) s->rx_error = asio::error::connection_reset;
    deliver_rx(*c.ep, c, *s);
  }
  return 0;
}

int on_stream_stop_sending(ngtcp2_conn*, std::int64_t stream_id, std::uint64_t, void* user_data,
                           void*) {
  ConnState& c = conn_of(user_data);
  if (const auto s = find_stream(c, stream_id)) fail_stream(*s, asio::error::connection_reset);
  return 0;
}

int on_extend_max_stream_data(ngtcp2_conn*, std::int64_t stream_id, std::uint64_t, void* user_data,
                              void*) {
  ConnState& c = conn_of(user_data);
  if (const auto s = find_stream(c, stream_id)) s->blocked = false;
  return 0;
}

int on_handshake_completed(ngtcp2_conn*, void* user_data) {
  conn_of(user_data).handshake_done = true;
  return 0;
}

void on_rand(std::uint8_t* dest, std::size_t destlen, const ngtcp2_rand_ctx*) {
  (void)gnutls_rnd(GNUTLS_RND_RANDOM, dest, destlen);
}

int on_get_new_connection_id(ngtcp2_conn*, ngtcp2_cid* cid, std::uint8_t* token, std::size_t cidlen,
                             void* user_data) {
  ConnState& c = conn_of(user_data);
  if (gnutls_rnd(GNUTLS_RND_RANDOM, cid->data, cidlen) != 0) return NGTCP2_ERR_CALLBACK_FAILURE;
  cid->datalen = cidlen;
  if (gnutls_rnd(GNUTLS_RND_RANDOM, token, NGTCP2_STATELESS_RESET_TOKENLEN) != 0)
    return NGTCP2_ERR_CALLBACK_FAILURE;
  c.ep->register_cid(c.shared_from_this(), *cid);
  return 0;
}

int on_remove_connection_id(ngtcp2_conn*, const ngtcp2_cid* cid, void* user_data) {
  conn_of(user_data).ep->unregister_cid(*cid);
  return 0;
}

ngtcp2_callbacks common_callbacks() {
  ngtcp2_callbacks cb{};
  cb.recv_crypto_data = ngtcp2_crypto_recv_crypto_data_cb;
  cb.handshake_completed = on_handshake_completed;
  cb.encrypt = ngtcp2_crypto_encrypt_cb;
  cb.decrypt = ngtcp2_crypto_decrypt_cb;
  cb.hp_mask = ngtcp2_crypto_hp_mask_cb;
  cb.recv_stream_data = on_recv_stream_data;
  cb.acked_stream_data_offset = on_acked_stream_data_offset;
  cb.stream_open = on_stream_open;
  cb.stream_close = on_stream_close;
  cb.rand = on_rand;
  cb.get_new_connection_id = on_get_new_connection_id;
  cb.remove_connection_id = on_remove_connection_id;
  cb.update_key = ngtcp2_crypto_update_key_cb;
  cb.stream_reset = on_stream_reset;
  cb.extend_max_stream_data = on_extend_max_stream_data;
  cb.delete_crypto_aead_ctx = ngtcp2_crypto_delete_crypto_aead_ctx_cb;
  cb.delete_crypto_cipher_ctx = ngtcp2_crypto_delete_crypto_cipher_ctx_cb;
  cb.get_path_challenge_data = ngtcp2_crypto_get_path_challenge_data_cb;
  cb.stream_stop_sending = on_stream_stop_sending;
  cb.version_negotiation = ngtcp2_crypto_version_negotiation_cb;
  return cb;
}

}  // namespace

const ngtcp2_callbacks& client_callbacks() {
  static const ngtcp2_callbacks cb = [] {
    ngtcp2_callbacks c = common_callbacks();
    c.client_initial = ngtcp2_crypto_client_initial_cb;
    c.recv_retry = ngtcp2_crypto_recv_retry_cb;
    return c;
  }();
  return cb;
}

const ngtcp2_callbacks& server_callbacks() {
  static const ngtcp2_callbacks cb = [] {
    ngtcp2_callbacks c = common_callbacks();
    c.recv_client_initial = ngtcp2_crypto_recv_client_initial_cb;
    return c;
  }();
  return cb;
}

void deliver_rx(EndpointCore& ep, ConnState& c, StreamState& s) {
  if (!s.reader) return;
  std::size_t n = 0;
  auto* out = static_cast<std::uint8_t*>(s.read_buf.data());
  while (n < s.read_buf.size() && !s.rx.empty()) {
    auto& front = s.rx.front();
    const std::size_t take = std::min(s.read_buf.size() - n, front.size() - s.rx_pos);
    std::memcpy(out + n, front.data() + s.rx_pos, take);
    n += take;
    s.rx_pos += take;
    if (s.rx_pos == front.size()) {
      s.rx.pop_front();
      s.rx_pos = 0;
    }
  }
  if (n > 0) {
    // Credit the peer for what the reader took: flow control follows the
    // application, so a reader that stops also stops its sender.
    if (c.conn && !c.closed) {
      ngtcp2_conn_extend_max_stream_offset(c.conn, s.id, n);
      ngtcp2_conn_extend_max_offset(c.conn, n);
      ep.schedule_flush(c.shared_from_this());
    }
    std::exchange(s.reader, {})(std::error_code{}, n);
  } else if (s.read_buf.size() == 0) {
    std::exchange(s.reader, {})(std::error_code{}, 0);
  } else if (s.rx_fin) {
    std::exchange(s.reader, {})(asio::error::eof, 0);
  } else if (s.rx_error) {
    std::exchange(s.reader, {})(s.rx_error, 0);
  }
}

void offer_write(StreamState& s) {
  if (!s.writer) return;
  if (s.tx_error) {
    std::exchange(s.writer, {})(s.tx_error, 0);
    return;
  }
  const std::uint64_t buffered = s.tx_end - s.tx_base;
  if (buffered >= kStreamSendBuffer) return;
  const std::size_t n = static_cast<std::size_t>(
      std::min<std::uint64_t>(s.write_buf.size(), kStreamSendBuffer - buffered));
  const auto* p = static_cast<const std::uint8_t*>(s.write_buf.data());
  if (n > 0) s.tx.emplace_back(p, p + n);
  s.tx_end += n;
  std::exchange(s.writer, {})(std::error_code{}, n);
}

void fail_stream(StreamState& s, std::error_code ec) {
  if (!s.tx_error) s.tx_error = ec;
  offer_write(s);
}

}  // namespace quic::detail
