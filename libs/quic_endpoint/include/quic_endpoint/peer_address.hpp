#pragma once
// How a peer is named and reached: its Ed25519 public key plus the transport
// addresses it can be dialled at. Serialises to the JSON of a call ticket:
//   {"id":"<64 hex digits>","addrs":[{"Ip":"host:port"},{"Relay":"url"},...]}

#include <array>
#include <asio/ip/udp.hpp>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace quic {

struct PublicKey {
  std::array<std::uint8_t, 32> bytes{};

  // Lower-case hex of the 32 key bytes.
  std::string to_text() const;
  static base::Result<PublicKey> from_text(std::string_view text);
  friend bool operator==(const PublicKey&, const PublicKey&) = default;
};

struct PeerAddress {
  PublicKey id;
  std::vector<asio::ip::udp::endpoint> ip_addrs;
  // Relay URLs are carried so tickets survive a round trip, but nothing here
  // dials through a relay yet: see the endpoint's notes on NAT traversal.
  std::vector<std::string> relays;
  // "Custom" transport addresses are kept verbatim (JSON text) and skipped.
  std::vector<std::string> custom;

  std::string to_json() const;
  static base::Result<PeerAddress> from_json(std::string_view json);
};

// "1.2.3.4:5" or "[::1]:5".
base::Result<asio::ip::udp::endpoint> parse_socket_address(std::string_view text);
std::string format_socket_address(const asio::ip::udp::endpoint& ep);

}  // namespace quic
