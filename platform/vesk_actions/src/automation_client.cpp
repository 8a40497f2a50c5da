#include "vesk_actions/automation_client.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "detail.hpp"

namespace vesk_actions {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxReplyBytes = 64 * 1024 * 1024;

bool parse_int(const std::string& text, std::int64_t& out) {
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && p == text.data() + text.size();
}

}  // namespace

base::Result<int> connect_endpoint(const std::string& path) {
  const sockaddr_un addr = VESK_TRY(detail::unix_socket_address(path));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return base::make_error(std::string("socket: ") + std::strerror(errno));
  if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    const std::string err = std::strerror(errno);
    close(fd);
    return base::make_error("cannot reach " + path + ": " + err);
  }
  return fd;
}

base::Result<json> exchange(int fd, const json& request, std::chrono::milliseconds timeout) {
  std::string line = request.dump(-1, ' ', false, json::error_handler_t::replace);
  line.push_back('\n');
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return base::make_error(std::string("send: ") + std::strerror(errno));
    sent += static_cast<std::size_t>(n);
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::string in;
  for (;;) {
    const auto nl = in.find('\n');
    if (nl != std::string::npos) {
      json reply = json::parse(in.substr(0, nl), nullptr, false);
      if (reply.is_discarded() || !reply.is_object()) {
        return base::make_error("the endpoint answered something that is not a JSON object");
      }
      return reply;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return base::make_error("no answer before the timeout");
    pollfd pfd{fd, POLLIN, 0};
    const int r = poll(&pfd, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    char buf[8192];
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return base::make_error("the endpoint closed the connection");
    if (n < 0) return base::make_error(std::string("recv: ") + std::strerror(errno));
    in.append(buf, static_cast<std::size_t>(n));
    if (in.size() > kMaxReplyBytes) return base::make_error("the answer is too large");
  }
}

base::Result<CommandLine> parse_command_line(const std::vector<std::string>& all) {
  CommandLine out;
  std::vector<std::string> args = all;
  if (args.size() >= 2 && args[0] == "--socket") {
    out.socket_path = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return base::make_error("no command given");
  const std::string cmd = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  json params = json::object();
  std::string method;
  auto need = [&](std::size_t lo, std::size_t hi) -> base::Status {
    if (rest.size() < lo || rest.size() > hi) {
      return base::make_error("wrong number of arguments for " + cmd);
    }
    return {};
  };
  if (cmd == "ping" || cmd == "tree") {
    VESK_TRY_STATUS(need(0, 0));
    method = cmd == "ping" ? "ping" : "accessibility.tree";
  } else if (cmd == "list") {
    VESK_TRY_STATUS(need(0, 1));
    method = "resources.list";
    if (!rest.empty()) {
      std::int64_t depth = 0;
      if (!parse_int(rest[0], depth)) return base::make_error("depth must be a number");
      params["depth"] = depth;
    }
  } else if (cmd == "resolve") {
    VESK_TRY_STATUS(need(1, 1));
    method = "resources.resolve";
    params["address"] = rest[0];
  } else if (cmd == "invoke") {
    std::erase_if(rest, [&](const std::string& a) {
      if (a != "--confirm") return false;
      params["confirm"] = true;
      return true;
    });
    VESK_TRY_STATUS(need(2, 3));
    method = "actions.invoke";
    params["address"] = rest[0];
    params["action"] = rest[1];
    if (rest.size() == 3) params["value"] = rest[2];
  } else if (cmd == "control") {
    if (rest.empty()) return base::make_error("wrong number of arguments for control");
    method = "controls.run";
    params["name"] = rest[0];
    for (std::size_t i = 1; i < rest.size(); ++i) {
      if (rest[i] == "--focus") {
        params["action"] = "focus";
      } else if (rest[i] == "--text" && i + 1 < rest.size()) {
        params["action"] = "set-text";
        params["text"] = rest[++i];
      } else {
        return base::make_error("unknown control option " + rest[i]);
      }
    }
  } else if (cmd == "search") {
    method = "search";
    std::string query;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == "--cursor" && i + 1 < rest.size()) {
        params["cursor"] = rest[++i];
      } else if (rest[i] == "--limit" && i + 1 < rest.size()) {
        std::int64_t limit = 0;
        if (!parse_int(rest[++i], limit)) return base::make_error("limit must be a number");
        params["limit"] = limit;
      } else {
        if (!query.empty()) query.push_back(' ');
        query += rest[i];
      }
    }
    if (query.empty()) return base::make_error("search needs words to look for");
    params["query"] = query;
  } else if (cmd == "raw") {
    VESK_TRY_STATUS(need(1, 1));
    json raw = json::parse(rest[0], nullptr, false);
    if (raw.is_discarded() || !raw.is_object()) return base::make_error("raw needs a JSON object");
    if (!raw.contains("id")) raw["id"] = 1;
    out.request = std::move(raw);
    return out;
  } else {
    return base::make_error("unknown command " + cmd);
  }
  out.request = json{{"id", 1}, {"method", method}, {"params", std::move(params)}};
  return out;
}

std::string usage_text(const std::string& program) {
  return "usage: " + program +
         " [--socket PATH] COMMAND\n"
         "  ping\n"
         "  list [DEPTH]                          the resource tree\n"
         "  resolve ADDRESS                       one resource with its actions\n"
         "  invoke ADDRESS ACTION [TEXT] [--confirm]\n"
         "  control NAME [--focus | --text TEXT]  run a semantic control\n"
         "  search WORDS... [--cursor C] [--limit N]\n"
         "  tree                                  the accessibility tree\n"
         "  raw JSON                              send one request as written\n";
}

}  // namespace vesk_actions
