#include "quic_endpoint/peer_address.hpp"

#include <charconv>
#include <nlohmann/json.hpp>

namespace quic {

std::string PublicKey::to_text() const {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(64);
  for (std::uint8_t b : bytes) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

base::Result<PublicKey> PublicKey::from_text(std::string_view text) {
  if (text.size() != 64) return base::make_error("peer id must be 64 hex digits");
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  PublicKey key;
  for (std::size_t i = 0; i < 32; ++i) {
    const int hi = nibble(text[2 * i]);
    const int lo = nibble(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return base::make_error("peer id must be 64 hex digits");
    key.bytes[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return key;
}

base::Result<asio::ip::udp::endpoint> parse_socket_address(std::string_view text) {
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0)
    return base::make_error("socket address needs host:port");
  std::string_view host = text.substr(0, colon);
  const std::string_view port_text = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  unsigned port = 0;
  const auto [end, ec] =
      std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
  if (ec != std::errc{} || end != port_text.data() + port_text.size() || port == 0 || port > 65535)
    return base::make_error("bad port in socket address");
  std::error_code aec;
  const auto addr = asio::ip::make_address(std::string(host), aec);
  if (aec) return base::make_error("bad IP address in socket address");
  return asio::ip::udp::endpoint(addr, static_cast<unsigned short>(port));
}

std::string format_socket_address(const asio::ip::udp::endpoint& ep) {
  const std::string host = ep.address().to_string();
  if (ep.address().is_v6()) return "[" + host + "]:" + std::to_string(ep.port());
  return host + ":" + std::to_string(ep.port());
}

std::string PeerAddress::to_json() const {
  nlohmann::json addrs = nlohmann::json::array();
  for (const auto& relay : relays) addrs.push_back({{"Relay", relay}});
  for (const auto& ep : ip_addrs) addrs.push_back({{"Ip", format_socket_address(ep)}});
  for (const auto& c : custom) {
    auto parsed = nlohmann::json::parse(c, nullptr, false);
    if (!parsed.is_discarded()) addrs.push_back({{"Custom", parsed}});
  }
  return nlohmann::json{{"id", id.to_text()}, {"addrs", addrs}}.dump();
}

base::Result<PeerAddress> PeerAddress::from_json(std::string_view json) {
  const auto doc = nlohmann::json::parse(json, nullptr, false);
  if (doc.is_discarded() || !doc.is_object())
    return base::make_error("peer address is not a JSON object");
  const auto id = doc.find("id");
  const auto addrs = doc.find("addrs");
  if (id == doc.end() || !id->is_string()) return base::make_error("peer address has no id");
  if (addrs == doc.end() || !addrs->is_array())
    return base::make_error("peer address has no addrs");
  PeerAddress out;
  out.id = VESK_TRY(PublicKey::from_text(id->get<std::string>()));
  for (const auto& a : *addrs) {
    if (!a.is_object() || a.size() != 1)
      return base::make_error("each address has exactly one form");
    const auto entry = a.begin();
    const std::string& form = entry.key();
    const auto& value = entry.value();
    if (form == "Ip" && value.is_string()) {
      out.ip_addrs.push_back(VESK_TRY(parse_socket_address(value.get<std::string>())));
    } else if (form == "Relay" && value.is_string()) {
      out.relays.push_back(value.get<std::string>());
    } else if (form == "Custom" && value.is_object() && value.size() == 2) {
      out.custom.push_back(value.dump());
    } else {
      return base::make_error("unknown address form " + form);
    }
  }
  return out;
}

}  // namespace quic
