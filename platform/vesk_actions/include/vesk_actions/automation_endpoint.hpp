#pragma once
// The automation endpoint: a Unix-domain socket that only the user who runs
// the application can reach. A background thread reads request lines and
// answers malformed ones itself; well-formed requests wait in a bounded queue
// until the host calls `serve` from its frame cycle, so that host state is only
// ever touched on the UI thread and the UI thread never waits on a client.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "vesk_actions/automation.hpp"

namespace vesk_actions {

struct EndpointOptions {
  std::size_t max_request_bytes = 64 * 1024;
  std::size_t max_queued_requests = 64;
  std::size_t max_clients = 16;
  // A client that stops reading is dropped once this much is waiting for it.
  std::size_t max_reply_backlog = 8 * 1024 * 1024;
  // Called on the endpoint's thread after a request was queued, so a host
  // that sleeps between frames can wake up and serve it. Must not block.
  std::function<void()> on_request;
};

// "$XDG_RUNTIME_DIR/<app_name>/automation.sock"; fails when the runtime
// directory is not set: the socket must not land somewhere others can reach.
base::Result<std::string> default_socket_path(std::string_view app_name);

class AutomationEndpoint {
 public:
  // Binds a socket at `path` (its directory is created with mode 0700, the
  // socket gets mode 0600). A stale socket file is replaced; a live one is not.
  static base::Result<std::unique_ptr<AutomationEndpoint>> listen(const std::string& path,
                                                                  EndpointOptions options = {});
  // An endpoint without a listening socket; connections come through `adopt`.
  static base::Result<std::unique_ptr<AutomationEndpoint>> detached(EndpointOptions options = {});

  ~AutomationEndpoint();
  AutomationEndpoint(const AutomationEndpoint&) = delete;
  AutomationEndpoint& operator=(const AutomationEndpoint&) = delete;

  // Takes ownership of a connected stream socket. Refused (and closed) when
  // the peer runs as another user.
  base::Status adopt(int fd);

  // UI thread: answers at most `max` queued requests through the host.
  std::size_t serve(AutomationHost& host, std::size_t max = 16);
  std::size_t queued() const;
  const std::string& path() const;

  struct Impl;

 private:
  explicit AutomationEndpoint(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk_actions
