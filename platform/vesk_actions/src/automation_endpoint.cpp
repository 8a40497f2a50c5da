#include "vesk_actions/automation_endpoint.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/log.hpp"
#include "detail.hpp"

namespace vesk_actions {
namespace {

constexpr std::string_view kWhere = "automation";

std::string errno_text(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

bool set_nonblocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool peer_is_same_user(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == geteuid();
}

struct Client {
  int fd = -1;
  std::string in;
  std::string out;
  bool closing = false;  // close once `out` is written
};

struct Pending {
  std::uint64_t client = 0;
  AutomationRequest request;
};

}  // namespace

struct AutomationEndpoint::Impl {
  EndpointOptions options;
  std::string path;
  int listen_fd = -1;
  int wake_fd = -1;
  std::thread thread;
  std::atomic<bool> stopping{false};

  mutable std::mutex mutex;  // guards everything below
  std::deque<Pending> inbound;
  std::vector<std::pair<std::uint64_t, std::string>> outbound;
  std::vector<int> adopted;

  // Owned by the I/O thread.
  std::map<std::uint64_t, Client> clients;
  std::uint64_t next_client = 1;

  ~Impl() {
    stop();
    for (auto& [_, c] : clients) close(c.fd);
    for (int fd : adopted) close(fd);
    if (listen_fd >= 0) {
      close(listen_fd);
      unlink(path.c_str());
    }
    if (wake_fd >= 0) close(wake_fd);
  }

  void stop() {
    if (!thread.joinable()) return;
    stopping = true;
    wake();
    thread.join();
  }

  void wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = write(wake_fd, &one, sizeof one);
  }

  void add_client(int fd) {
    if (clients.size() >= options.max_clients) {
      const std::string line = reply_error(nullptr, "busy", "too many automation clients") + "\n";
      [[maybe_unused]] auto n = send(fd, line.data(), line.size(), MSG_NOSIGNAL);
      close(fd);
      return;
    }
    set_nonblocking(fd);
    clients[next_client++] = Client{fd, {}, {}, false};
  }

  void queue_reply(Client& c, std::string line) {
    c.out += line;
    c.out.push_back('\n');
  }

  void take_lines(std::uint64_t id, Client& c) {
    std::size_t start = 0;
    for (;;) {
      const auto nl = c.in.find('\n', start);
      if (nl == std::string::npos) break;
      std::string_view line(c.in.data() + start, nl - start);
      start = nl + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
      if (line.size() > options.max_request_bytes) {
        queue_reply(c, reply_error(nullptr, "too-large",
                                   "request exceeds " + std::to_string(options.max_request_bytes) +
                                       " bytes"));
        continue;
      }
      auto parsed = parse_request(line);
      if (!parsed.ok()) {
        queue_reply(c, reply_error(nullptr, "malformed", parsed.error()));
        continue;
      }
      std::unique_lock lock(mutex);
      if (inbound.size() >= options.max_queued_requests) {
        queue_reply(c, reply_error(parsed->id, "busy", "too many requests are waiting"));
      } else {
        inbound.push_back(Pending{id, std::move(parsed).value()});
        lock.unlock();
        if (options.on_request) options.on_request();
      }
    }
    c.in.erase(0, start);
    // A line that never ends would otherwise grow without bound: answer and
    // hang up, since the rest of the stream cannot be framed any more.
    if (c.in.size() > options.max_request_bytes) {
      queue_reply(c, reply_error(nullptr, "too-large",
                                 "request exceeds " + std::to_string(options.max_request_bytes) +
                                     " bytes"));
      c.in.clear();
      c.closing = true;
    }
  }

  void read_client(std::uint64_t id, Client& c) {
    char buf[8192];
    for (;;) {
      const ssize_t n = recv(c.fd, buf, sizeof buf, 0);
      if (n > 0) {
        if (!c.closing) {
          c.in.append(buf, static_cast<std::size_t>(n));
          take_lines(id, c);
        }
        continue;
      }
      if (n == 0) {
        c.closing = true;
        c.in.clear();
        return;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        c.closing = true;
        c.out.clear();
      }
      return;
    }
  }

  bool write_client(Client& c) {
    while (!c.out.empty()) {
      const ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
      if (n > 0) {
        c.out.erase(0, static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
      return false;
    }
    return true;
  }

  void run() {
    while (!stopping) {
      {
        std::lock_guard lock(mutex);
        for (int fd : adopted) add_client(fd);
        adopted.clear();
        for (auto& [id, line] : outbound) {
          auto it = clients.find(id);
          if (it == clients.end()) continue;  // the client left before its answer
          queue_reply(it->second, std::move(line));
        }
        outbound.clear();
      }
      for (auto it = clients.begin(); it != clients.end();) {
        Client& c = it->second;
        const bool ok = write_client(c) && c.out.size() <= options.max_reply_backlog;
        if (!ok || (c.closing && c.out.empty())) {
          close(c.fd);
          it = clients.erase(it);
        } else {
          ++it;
        }
      }
      std::vector<pollfd> fds;
      std::vector<std::uint64_t> ids;
      fds.push_back({wake_fd, POLLIN, 0});
      if (listen_fd >= 0) fds.push_back({listen_fd, POLLIN, 0});
      const std::size_t first_client = fds.size();
      for (auto& [id, c] : clients) {
        short events = c.closing ? 0 : POLLIN;
        if (!c.out.empty()) events |= POLLOUT;
        fds.push_back({c.fd, events, 0});
        ids.push_back(id);
      }
      if (poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        base::log::error(kWhere, "poll failed: {}", std::strerror(errno));
        return;
      }
      if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] auto n = read(wake_fd, &count, sizeof count);
      }
      if (listen_fd >= 0 && (fds[1].revents & POLLIN)) accept_all();
      for (std::size_t i = first_client; i < fds.size(); ++i) {
        auto it = clients.find(ids[i - first_client]);
        if (it == clients.end()) continue;
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) read_client(it->first, it->second);
      }
    }
  }

  void accept_all() {
    for (;;) {
      const int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (!peer_is_same_user(fd)) {
        base::log::warn(kWhere, "refused a connection from another user");
        close(fd);
        continue;
      }
      add_client(fd);
    }
  }
};

base::Result<std::string> default_socket_path(std::string_view app_name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || runtime[0] != '/') {
    return base::make_error("XDG_RUNTIME_DIR is not set to an absolute path");
  }
  return std::string(runtime) + "/" + std::string(app_name) + "/automation.sock";
}

namespace {

base::Status prepare_directory(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return {};
  const std::string dir = path.substr(0, slash);
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    return base::make_error(errno_text("mkdir"));
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0) return base::make_error(errno_text("stat"));
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
    return base::make_error(dir + " is not a directory owned by this user");
  }
  if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) {
    return base::make_error(errno_text("chmod"));
  }
  return {};
}

base::Result<std::unique_ptr<AutomationEndpoint::Impl>> make_impl(EndpointOptions options) {
  auto impl = std::make_unique<AutomationEndpoint::Impl>();
  impl->options = options;
  impl->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl->wake_fd < 0) return base::make_error(errno_text("eventfd"));
  return impl;
}

}  // namespace

AutomationEndpoint::AutomationEndpoint(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {
  Impl* impl_ptr = impl_.get();
  impl_->thread = std::thread([impl_ptr] { impl_ptr->run(); });
}

AutomationEndpoint::~AutomationEndpoint() {
  impl_->stop();
}

base::Result<std::unique_ptr<AutomationEndpoint>> AutomationEndpoint::listen(
    const std::string& path, EndpointOptions options) {
  auto addr = detail::unix_socket_address(path);
  if (!addr.ok()) return std::move(addr).take_error();
  VESK_TRY_STATUS(prepare_directory(path));
  auto impl = VESK_TRY(make_impl(options));
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return base::make_error(errno_text("socket"));
  const auto* sa = reinterpret_cast<const sockaddr*>(&addr.value());
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      close(fd);
      return base::make_error(path + " exists and is not a socket");
    }
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool live = probe >= 0 && connect(probe, sa, sizeof(sockaddr_un)) == 0;
    if (probe >= 0) close(probe);
    if (live) {
      close(fd);
      return base::make_error("another instance is serving " + path);
    }
    unlink(path.c_str());
  }
  if (bind(fd, sa, sizeof(sockaddr_un)) != 0) {
    const auto err = errno_text("bind");
    close(fd);
    return base::make_error(err);
  }
  if (chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0 || !set_nonblocking(fd)) {
    const auto err = errno_text("listen");
    close(fd);
    unlink(path.c_str());
    return base::make_error(err);
  }
  impl->listen_fd = fd;
  impl->path = path;
  return std::unique_ptr<AutomationEndpoint>(new AutomationEndpoint(std::move(impl)));
}

base::Result<std::unique_ptr<AutomationEndpoint>> AutomationEndpoint::detached(
    EndpointOptions options) {
  auto impl = VESK_TRY(make_impl(options));
  return std::unique_ptr<AutomationEndpoint>(new AutomationEndpoint(std::move(impl)));
}

base::Status AutomationEndpoint::adopt(int fd) {
  if (!peer_is_same_user(fd)) {
    close(fd);
    return base::make_error("the peer runs as another user");
  }
  {
    std::lock_guard lock(impl_->mutex);
    impl_->adopted.push_back(fd);
  }
  impl_->wake();
  return {};
}

std::size_t AutomationEndpoint::serve(AutomationHost& host, std::size_t max) {
  std::deque<Pending> batch;
  {
    std::lock_guard lock(impl_->mutex);
    while (!impl_->inbound.empty() && batch.size() < max) {
      batch.push_back(std::move(impl_->inbound.front()));
      impl_->inbound.pop_front();
    }
  }
  if (batch.empty()) return 0;
  std::vector<std::pair<std::uint64_t, std::string>> replies;
  for (auto& p : batch) {
    std::string reply;
    try {
      reply = answer_request(host, p.request);
    } catch (const std::exception& e) {
      // A host fault answers this one request; it must not end the frame.
      reply = reply_error(p.request.id, "internal", e.what());
    }
    replies.emplace_back(p.client, std::move(reply));
  }
  {
    std::lock_guard lock(impl_->mutex);
    for (auto& r : replies) impl_->outbound.push_back(std::move(r));
  }
  impl_->wake();
  return batch.size();
}

std::size_t AutomationEndpoint::queued() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->inbound.size();
}

const std::string& AutomationEndpoint::path() const {
  return impl_->path;
}

}  // namespace vesk_actions
