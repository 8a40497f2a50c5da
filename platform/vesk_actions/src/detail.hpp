#pragma once
// Small helpers shared inside the layer.

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.hpp"

namespace vesk_actions::detail {

inline base::Result<sockaddr_un> unix_socket_address(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    return base::make_error("socket path is empty or too long: " + path);
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  return addr;
}

// The enum value whose name(value) equals `name`, among `values`.
template <typename Enum, typename NameOf, std::size_t N>
std::optional<Enum> enum_from_name(std::string_view name, const Enum (&values)[N], NameOf name_of) {
  for (auto v : values) {
    if (name_of(v) == name) return v;
  }
  return std::nullopt;
}

}  // namespace vesk_actions::detail
