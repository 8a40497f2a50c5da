#include "identity.hpp"

#include <gnutls/x509.h>
#include <sodium.h>

#include <ctime>
#include <string>

namespace quic::detail {
namespace {

base::Error tls_error(const char* what, int rv) {
  return base::make_error(std::string(what) + ": " + gnutls_strerror(rv));
}

// Frees GnuTLS objects on every exit path.
template <typename T, void (*Free)(T)>
struct Owned {
  T v = nullptr;
  ~Owned() {
    if (v) Free(v);
  }
};

}  // namespace

Identity::~Identity() {
  if (creds_) gnutls_certificate_free_credentials(creds_);
}

base::Result<std::unique_ptr<Identity>> Identity::make(
    const std::optional<std::array<std::uint8_t, 32>>& seed) {
  if (sodium_init() < 0) return base::make_error("libsodium failed to start");
  std::array<std::uint8_t, 32> secret{};
  if (seed) {
    secret = *seed;
  } else {
    randombytes_buf(secret.data(), secret.size());
  }
  std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> pk{};
  std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> sk{};
  crypto_sign_seed_keypair(pk.data(), sk.data(), secret.data());
  sodium_memzero(sk.data(), sk.size());

  Owned<gnutls_x509_privkey_t, gnutls_x509_privkey_deinit> key;
  Owned<gnutls_x509_crt_t, gnutls_x509_crt_deinit> crt;
  int rv = gnutls_x509_privkey_init(&key.v);
  if (rv < 0) return tls_error("key init", rv);
  gnutls_datum_t x{pk.data(), static_cast<unsigned>(pk.size())};
  gnutls_datum_t k{secret.data(), static_cast<unsigned>(secret.size())};
  rv = gnutls_x509_privkey_import_ecc_raw(key.v, GNUTLS_ECC_CURVE_ED25519, &x, nullptr, &k);
  sodium_memzero(secret.data(), secret.size());
  if (rv < 0) return tls_error("key import", rv);

  if ((rv = gnutls_x509_crt_init(&crt.v)) < 0) return tls_error("certificate init", rv);
  const std::uint8_t serial[] = {1};
  const std::time_t now = std::time(nullptr);
  static constexpr char kName[] = "vesk-peer";
  if ((rv = gnutls_x509_crt_set_version(crt.v, 3)) < 0 ||
      (rv = gnutls_x509_crt_set_serial(crt.v, serial, sizeof serial)) < 0 ||
      (rv = gnutls_x509_crt_set_activation_time(crt.v, now - 24 * 3600)) < 0 ||
      (rv = gnutls_x509_crt_set_expiration_time(crt.v, now + 10L * 365 * 24 * 3600)) < 0 ||
      (rv = gnutls_x509_crt_set_dn_by_oid(crt.v, GNUTLS_OID_X520_COMMON_NAME, 0, kName,
                                          sizeof kName - 1)) < 0 ||
      (rv = gnutls_x509_crt_set_key(crt.v, key.v)) < 0 ||
      (rv = gnutls_x509_crt_set_key_usage(crt.v, GNUTLS_KEY_DIGITAL_SIGNATURE)) < 0 ||
      (rv = gnutls_x509_crt_sign2(crt.v, crt.v, key.v, GNUTLS_DIG_SHA512, 0)) < 0) {
    return tls_error("self-signed certificate", rv);
  }

  std::unique_ptr<Identity> id(new Identity());
  std::copy(pk.begin(), pk.end(), id->key_.bytes.begin());
  if ((rv = gnutls_certificate_allocate_credentials(&id->creds_)) < 0)
    return tls_error("credentials", rv);
  if ((rv = gnutls_certificate_set_x509_key(id->creds_, &crt.v, 1, key.v)) < 0)
    return tls_error("credentials key", rv);
  return id;
}

std::optional<PublicKey> peer_certificate_key(gnutls_session_t session) {
  unsigned count = 0;
  const gnutls_datum_t* certs = gnutls_certificate_get_peers(session, &count);
  if (!certs || count == 0) return std::nullopt;
  Owned<gnutls_x509_crt_t, gnutls_x509_crt_deinit> crt;
  if (gnutls_x509_crt_init(&crt.v) < 0) return std::nullopt;
  if (gnutls_x509_crt_import(crt.v, &certs[0], GNUTLS_X509_FMT_DER) < 0) return std::nullopt;
  gnutls_ecc_curve_t curve{};
  gnutls_datum_t x{}, y{};
  if (gnutls_x509_crt_get_pk_ecc_raw(crt.v, &curve, &x, &y) < 0) return std::nullopt;
  std::optional<PublicKey> out;
  if (curve == GNUTLS_ECC_CURVE_ED25519 && x.size == 32) {
    out.emplace();
    std::copy(x.data, x.data + 32, out->bytes.begin());
  }
  gnutls_free(x.data);
  gnutls_free(y.data);
  return out;
}

}  // namespace quic::detail
