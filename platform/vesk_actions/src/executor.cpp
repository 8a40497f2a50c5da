#include "vesk_actions/executor.hpp"

#include <utility>

namespace vesk_actions {

std::string ActionError::display() const {
  switch (kind) {
    case ActionErrorKind::UnknownKind:
      return "unknown action kind: " + message;
    case ActionErrorKind::Decode:
      return "action could not be decoded: " + message;
    case ActionErrorKind::Apply:
      return "action could not be applied: " + message;
    case ActionErrorKind::Transport:
      return "action could not be replicated: " + message;
  }
  return message;
}

ActionContext ActionContext::enriched_by(std::vector<std::string> new_heads,
                                         std::string new_actor) const {
  ActionContext out = *this;
  out.heads = std::move(new_heads);
  out.actor = std::move(new_actor);
  return out;
}

LocalTransport::LocalTransport(ActionTarget& target, Forward forward)
    : target_(target), forward_(std::move(forward)) {}

base::Status LocalTransport::replicate(const EncodedAction& encoded, const DecodedAction& action,
                                       const ActionContext& context) {
  auto applied = action.apply(target_);
  if (!applied.ok()) {
    target_.rollback();
    return applied;
  }
  target_.commit(encoded.kind);
  if (forward_) forward_(encoded, context);
  return {};
}

DispatchResult dispatch_by(const ActionRegistry& registry, const EncodedAction& action,
                           ActionTransport& transport) {
  return dispatch_by_with_context(registry, action, transport, ActionContext{});
}

DispatchResult dispatch_by_with_context(const ActionRegistry& registry, const EncodedAction& action,
                                        ActionTransport& transport, const ActionContext& context) {
  DispatchResult result;
  if (!registry.contains(action.kind)) {
    result.error = ActionError{ActionErrorKind::UnknownKind, action.kind};
    return result;
  }
  auto decoded = registry.decode(action);
  if (!decoded.ok()) {
    result.error = ActionError{ActionErrorKind::Decode, decoded.error()};
    return result;
  }
  auto replicated = transport.replicate(action, *decoded.value(), context);
  if (!replicated.ok()) {
    result.error = ActionError{ActionErrorKind::Apply, replicated.error()};
    return result;
  }
  result.receipt = DispatchReceipt{decoded.value()->debug_text()};
  return result;
}

}  // namespace vesk_actions
