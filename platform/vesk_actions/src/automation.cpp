#include "vesk_actions/automation.hpp"

#include <utility>

namespace vesk_actions {
namespace {

using nlohmann::json;

struct RequestError {
  std::string code;
  std::string message;
};

// Small typed readers so that every method reports a wrong parameter the same way.
std::optional<std::string> string_param(const json& params, const char* key, bool required,
                                        std::optional<RequestError>& error) {
  auto it = params.find(key);
  if (it == params.end() || it->is_null()) {
    if (required && !error)
      error = RequestError{"bad-request", std::string("missing parameter ") + key};
    return std::nullopt;
  }
  if (!it->is_string()) {
    if (!error)
      error = RequestError{"bad-request", std::string("parameter ") + key + " must be a string"};
    return std::nullopt;
  }
  return it->get<std::string>();
}

std::optional<std::int64_t> int_param(const json& params, const char* key,
                                      std::optional<RequestError>& error) {
  auto it = params.find(key);
  if (it == params.end() || it->is_null()) return std::nullopt;
  if (!it->is_number_integer()) {
    if (!error)
      error = RequestError{"bad-request", std::string("parameter ") + key + " must be an integer"};
    return std::nullopt;
  }
  return it->get<std::int64_t>();
}

bool bool_param(const json& params, const char* key, std::optional<RequestError>& error) {
  auto it = params.find(key);
  if (it == params.end() || it->is_null()) return false;
  if (!it->is_boolean()) {
    if (!error)
      error =
          RequestError{"bad-request", std::string("parameter ") + key + " must be true or false"};
    return false;
  }
  return it->get<bool>();
}

json spec_to_json(const ActionSpec& spec) {
  json out = {
      {"name", spec.name()}, {"label", spec.label()}, {"destructive", spec.is_destructive()}};
  if (const auto& p = spec.parameter()) {
    out["parameter"] = {{"key", p->key},
                        {"label", p->label},
                        {p->is_default ? "default" : "placeholder", p->placeholder}};
  }
  return out;
}

json invoke(AutomationHost& host, const json& params, std::optional<RequestError>& error) {
  const auto address = string_param(params, "address", true, error);
  const auto action = string_param(params, "action", true, error);
  const auto value = string_param(params, "value", false, error);
  const bool confirm = bool_param(params, "confirm", error);
  if (error) return nullptr;
  const auto resource = host.resolve_resource(*address);
  if (!resource) {
    error = RequestError{"not-found", "no resource at " + *address};
    return nullptr;
  }
  const ActionSpec* spec = resource->find_action(*action);
  if (!spec) {
    error = RequestError{"not-found", "resource " + *address + " has no action " + *action};
    return nullptr;
  }
  if (value && !spec->parameter()) {
    error = RequestError{"bad-request", "action " + *action + " takes no text"};
    return nullptr;
  }
  // Agents act without a dialog in between, so a destructive action must say
  // explicitly that it means it.
  if (spec->is_destructive() && !confirm) {
    error = RequestError{"confirm-required",
                         "action " + *action + " is destructive; repeat it with confirm set"};
    return nullptr;
  }
  ActionArgs args;
  if (value) {
    args.set("value", *value);
  } else if (spec->parameter() && spec->parameter()->is_default) {
    // A default text is what an untouched field would hold.
    args.set("value", spec->parameter()->placeholder);
  }
  const EncodedAction encoded = spec->encode(args);
  auto performed = host.perform(encoded);
  if (!performed.ok()) {
    error = RequestError{"failed", performed.error()};
    return nullptr;
  }
  return json{{"kind", encoded.kind}, {"label", spec->label()}};
}

json run_control(AutomationHost& host, const json& params, std::optional<RequestError>& error) {
  const auto name = string_param(params, "name", true, error);
  const auto action_name = string_param(params, "action", false, error);
  const auto text = string_param(params, "text", false, error);
  if (error) return nullptr;
  ControlInvocation invocation{*name, SemanticAction::Activate, text.value_or("")};
  if (action_name) {
    const auto action = semantic_action_from_name(*action_name);
    if (!action) {
      error = RequestError{"bad-request", "unknown semantic action " + *action_name};
      return nullptr;
    }
    invocation.action = *action;
  } else if (text) {
    invocation.action = SemanticAction::SetText;
  }
  switch (host.run_control(invocation)) {
    case ControlOutcome::Handled:
      return json{{"handled", true}};
    case ControlOutcome::Queued:
      return json{{"handled", false}, {"queued", true}};
    case ControlOutcome::NotHandled:
      break;
  }
  error = RequestError{"not-handled", "no control named " + *name + " is on screen"};
  return nullptr;
}

json search(AutomationHost& host, const json& params, std::optional<RequestError>& error) {
  const auto query = string_param(params, "query", true, error);
  const auto cursor = string_param(params, "cursor", false, error);
  const auto limit = int_param(params, "limit", error);
  if (error) return nullptr;
  if (limit && (*limit < 1 || *limit > static_cast<std::int64_t>(SearchCatalog::kMaxPageSize))) {
    error = RequestError{"bad-request", "limit must be between 1 and " +
                                            std::to_string(SearchCatalog::kMaxPageSize)};
    return nullptr;
  }
  auto page =
      host.search(*query, cursor.value_or(""), static_cast<std::size_t>(limit.value_or(20)));
  if (!page.ok()) {
    error = RequestError{"failed", page.error()};
    return nullptr;
  }
  json results = json::array();
  for (const auto& r : page->results) {
    results.push_back({{"section", r.section},
                       {"title", r.title},
                       {"subtitle", r.subtitle},
                       {"address", r.action_address},
                       {"score", r.score}});
  }
  json out = {{"total", page->total}, {"results", std::move(results)}};
  out["next_cursor"] = page->next_cursor ? json(*page->next_cursor) : json(nullptr);
  return out;
}

}  // namespace

base::Result<AutomationRequest> parse_request(std::string_view line) {
  json parsed = json::parse(line, nullptr, false);
  if (parsed.is_discarded()) return base::make_error("request is not valid JSON");
  if (!parsed.is_object()) return base::make_error("request must be a JSON object");
  AutomationRequest request;
  if (auto it = parsed.find("id"); it != parsed.end()) request.id = *it;
  auto method = parsed.find("method");
  if (method == parsed.end() || !method->is_string()) {
    return base::make_error("request needs a method name");
  }
  request.method = method->get<std::string>();
  if (auto it = parsed.find("params"); it != parsed.end() && !it->is_null()) {
    if (!it->is_object()) return base::make_error("params must be a JSON object");
    request.params = *it;
  }
  return request;
}

std::string reply_ok(const json& id, json result) {
  return json{{"id", id}, {"ok", true}, {"result", std::move(result)}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

std::string reply_error(const json& id, std::string_view code, std::string_view message) {
  return json{{"id", id}, {"ok", false}, {"error", {{"code", code}, {"message", message}}}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

json resource_to_json(const Resource& resource, int depth) {
  json actions = json::array();
  for (const auto& spec : resource.actions()) actions.push_back(spec_to_json(spec));
  json out = {{"address", resource.address().encode()},
              {"kind", resource.address().kind},
              {"label", resource.label()},
              {"actions", std::move(actions)}};
  json children = json::array();
  if (depth != 0) {
    for (const auto& child : resource.children()) {
      children.push_back(resource_to_json(child, depth < 0 ? depth : depth - 1));
    }
  }
  out["children"] = std::move(children);
  out["child_count"] = resource.children().size();
  return out;
}

std::string answer_request(AutomationHost& host, const AutomationRequest& request) {
  std::optional<RequestError> error;
  json result;
  const auto& m = request.method;
  const auto& params = request.params;
  if (m == "ping") {
    result = json{{"pong", true}};
  } else if (m == "resources.list") {
    const auto depth = int_param(params, "depth", error);
    if (!error) {
      result = json::array();
      for (const auto& root : host.resource_roots()) {
        result.push_back(resource_to_json(root, static_cast<int>(depth.value_or(-1))));
      }
    }
  } else if (m == "resources.resolve") {
    const auto address = string_param(params, "address", true, error);
    if (!error) {
      if (auto resource = host.resolve_resource(*address)) {
        result = resource_to_json(*resource, 1);
      } else {
        error = RequestError{"not-found", "no resource at " + *address};
      }
    }
  } else if (m == "actions.invoke") {
    result = invoke(host, params, error);
  } else if (m == "controls.run") {
    result = run_control(host, params, error);
  } else if (m == "search") {
    result = search(host, params, error);
  } else if (m == "accessibility.tree") {
    result = host.accessibility_tree();
  } else {
    error = RequestError{"unknown-method", "unknown method " + m};
  }
  if (error) return reply_error(request.id, error->code, error->message);
  return reply_ok(request.id, std::move(result));
}

}  // namespace vesk_actions
