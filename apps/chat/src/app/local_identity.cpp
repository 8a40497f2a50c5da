#include "app/local_identity.hpp"

#include <fstream>
#include <sstream>
#include <system_error>

#include "app/config.hpp"
#include "base/random.hpp"
#include "base/text.hpp"
#include "vesk_ui/avatar.hpp"

namespace chat {
namespace {

std::string login_name(const Environment& env) {
  if (auto u = env.var("USER")) return *u;
  if (auto u = env.var("USERNAME")) return *u;
  return {};
}

std::string host_name(const Environment& env) {
  if (auto h = env.var("HOSTNAME"); h && !h->empty()) return *h;
  std::ifstream in(env.hostname_file);
  if (!in) return {};
  std::stringstream ss;
  ss << in.rdbuf();
  return base::trim(ss.str());
}

std::optional<std::string> stored_peer_id(const Environment& env) {
  auto dir = data_directory(env);
  if (!dir) return std::nullopt;
  const auto file = *dir / kPeerIdFile;
  {
    std::ifstream in(file);
    if (in) {
      std::stringstream ss;
      ss << in.rdbuf();
      std::string id = base::trim(ss.str());
      if (!id.empty()) return id;
    }
  }
  std::string id = "u_" + base::Uuid::v4().hyphenated();
  std::error_code ec;
  std::filesystem::create_directories(*dir, ec);
  if (ec) return std::nullopt;
  std::ofstream out(file, std::ios::trunc);
  if (!out) return std::nullopt;
  out << id << "\n";
  out.close();
  if (!out) return std::nullopt;
  return id;
}

std::string machine_name_id(const Environment& env) {
  const std::string joined = login_name(env) + "@" + host_name(env);
  if (joined == "@") return "u_" + base::Uuid::v4().hyphenated();
  const std::uint64_t h = base::fnv1a64(joined);
  std::uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(h >> (56 - 8 * i));
  return "u_" + base::to_hex(bytes, 8);
}

}  // namespace

std::string environment_name(const Environment& env) {
  std::string raw;
  if (auto u = env.var("USER"); u && !base::trim(*u).empty()) {
    raw = base::trim(*u);
  } else if (auto n = env.var("USERNAME"); n && !base::trim(*n).empty()) {
    raw = base::trim(*n);
  }
  std::string out;
  std::string part;
  auto flush = [&] {
    if (part.empty()) return;
    if (!out.empty()) out += ' ';
    out += part;
    part.clear();
  };
  for (char c : raw) {
    if (c == '.' || c == '_' || c == '-' || c == ' ') {
      flush();
    } else {
      part += c;
    }
  }
  flush();
  return out.empty() ? "You" : out;
}

std::int64_t color_index_for(std::string_view user_id) {
  return static_cast<std::int64_t>(base::fnv1a64(user_id) & 7u);
}

std::string initials_or_default(std::string_view display_name) {
  std::string i = vesk_ui::Avatar::initials_for_name(display_name);
  return i.empty() ? "Y" : i;
}

LocalIdentity load_local_identity(const Environment& env,
                                  const std::optional<runtime_identity::Identity>& machine) {
  LocalIdentity id;
  if (machine) {
    id.user_id = "u_" + base::to_hex(machine->public_key.data(), 8);
    id.display_name = base::trim(machine->name);
    if (id.display_name.empty()) id.display_name = environment_name(env);
  } else if (auto stored = stored_peer_id(env)) {
    id.user_id = *stored;
    id.display_name = environment_name(env);
  } else {
    id.user_id = machine_name_id(env);
    id.display_name = environment_name(env);
  }
  id.initials = initials_or_default(id.display_name);
  id.color_idx = color_index_for(id.user_id);
  return id;
}

LocalIdentity load_local_identity(const Environment& env) {
  return load_local_identity(env, runtime_identity::unix::load());
}

}  // namespace chat
