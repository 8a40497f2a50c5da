#include "runtime_identity/identity.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/random.hpp"
#include "base/text.hpp"

namespace runtime_identity::unix {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* env(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? v : nullptr;
}

}  // namespace

std::optional<std::filesystem::path> default_path() {
  if (const char* f = env("VESK_IDENTITY_FILE")) return std::filesystem::path(f);
  if (const char* x = env("XDG_CONFIG_HOME")) return std::filesystem::path(x) / "vesk" / "identity";
  if (const char* h = env("HOME"))
    return std::filesystem::path(h) / ".config" / "vesk" / "identity";
  return std::nullopt;
}

std::optional<Identity> load() {
  auto p = default_path();
  if (!p) return std::nullopt;
  return load_from(*p);
}

std::optional<Identity> load_from(const std::filesystem::path& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  Identity id;
  bool have_key = false;
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    if (++lines > 64) return std::nullopt;  // not an identity file
    line = base::trim(line);
    if (line.empty() || line[0] == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    const std::string key = base::trim(line.substr(0, eq));
    const std::string value = base::trim(line.substr(eq + 1));
    if (key == "public_key") {
      if (value.size() != 64) return std::nullopt;
      for (std::size_t i = 0; i < 32; ++i) {
        const int hi = hex_value(value[2 * i]);
        const int lo = hex_value(value[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        id.public_key[i] = static_cast<std::uint8_t>(hi * 16 + lo);
      }
      have_key = true;
    } else if (key == "name") {
      id.name = value;
    }
  }
  if (!have_key) return std::nullopt;
  return id;
}

base::Status store(const std::filesystem::path& path, const Identity& identity) {
  if (identity.name.find('\n') != std::string::npos)
    return base::make_error("identity name must be one line");
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (ec)
    return base::make_error("cannot create " + path.parent_path().string() + ": " + ec.message());
  std::ostringstream body;
  body << "public_key = " << base::to_hex(identity.public_key.data(), identity.public_key.size())
       << "\nname = " << identity.name << "\n";
  const std::string text = body.str();
  const std::string tmp = path.string() + ".tmp";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return base::make_error("cannot write " + tmp);
  const bool wrote = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                     ::fsync(fd) == 0;
  ::close(fd);
  if (!wrote || std::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return base::make_error("cannot write " + path.string());
  }
  return {};
}

}  // namespace runtime_identity::unix
