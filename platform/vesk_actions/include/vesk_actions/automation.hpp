#pragma once
// The automation protocol: one JSON object per line in each direction.
//
//   request: {"id": <any>, "method": "<name>", "params": {...}}
//   reply:   {"id": <same>, "ok": true, "result": ...}
//            {"id": <same>, "ok": false, "error": {"code": "...", "message": "..."}}
//
// Methods: "ping", "resources.list" {depth?}, "resources.resolve" {address},
// "actions.invoke" {address, action, value?, confirm?}, "controls.run" {name,
// action?, text?}, "search" {query, cursor?, limit?}, "accessibility.tree".
// Requests reach the host only through `answer_request`, which the host calls
// on its UI thread.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "vesk_actions/control_queue.hpp"
#include "vesk_actions/resource.hpp"
#include "vesk_actions/search_catalog.hpp"

namespace vesk_actions {

struct AutomationRequest {
  nlohmann::json id;
  std::string method;
  nlohmann::json params = nlohmann::json::object();
};

// Fails with the reason a client can fix (not JSON, not an object, no method).
base::Result<AutomationRequest> parse_request(std::string_view line);

std::string reply_ok(const nlohmann::json& id, nlohmann::json result);
std::string reply_error(const nlohmann::json& id, std::string_view code, std::string_view message);

enum class ControlOutcome : std::uint8_t { Handled, NotHandled, Queued };

// What an application offers to automation. Called on the UI thread only.
class AutomationHost {
 public:
  virtual ~AutomationHost() = default;
  virtual std::vector<Resource> resource_roots() = 0;
  virtual std::optional<Resource> resolve_resource(std::string_view address) = 0;
  // Runs an encoded action: a document action is dispatched, an operation
  // handled. The error text is the one the application would show.
  virtual base::Status perform(const EncodedAction& action) = 0;
  virtual ControlOutcome run_control(const ControlInvocation& invocation) = 0;
  virtual base::Result<SearchPage> search(std::string_view query, std::string_view cursor,
                                          std::size_t limit) = 0;
  virtual nlohmann::json accessibility_tree() = 0;
};

// `depth` counts levels of children included; -1 includes all.
nlohmann::json resource_to_json(const Resource& resource, int depth);

// The reply line (without its newline) for one request.
std::string answer_request(AutomationHost& host, const AutomationRequest& request);

}  // namespace vesk_actions
