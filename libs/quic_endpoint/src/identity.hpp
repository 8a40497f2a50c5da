#pragma once
// The endpoint's TLS identity: an Ed25519 key and a self-signed certificate
// carrying it. Peers never trust the certificate's chain; they pin the key.

#include <gnutls/gnutls.h>

#include <array>
#include <memory>
#include <optional>

#include "base/result.hpp"
#include "quic_endpoint/peer_address.hpp"

namespace quic::detail {

class Identity {
 public:
  static base::Result<std::unique_ptr<Identity>> make(
      const std::optional<std::array<std::uint8_t, 32>>& seed);
  ~Identity();
  Identity(const Identity&) = delete;
  Identity& operator=(const Identity&) = delete;

  const PublicKey& key() const { return key_; }
  gnutls_certificate_credentials_t credentials() const { return creds_; }

 private:
  Identity() = default;
  PublicKey key_;
  gnutls_certificate_credentials_t creds_ = nullptr;
};

// The Ed25519 key in the peer's certificate, if the session has one.
std::optional<PublicKey> peer_certificate_key(gnutls_session_t session);

}  // namespace quic::detail
