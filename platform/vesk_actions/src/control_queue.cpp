#include "vesk_actions/control_queue.hpp"

#include <utility>

#include "detail.hpp"

namespace vesk_actions {

std::string_view semantic_action_name(SemanticAction action) {
  switch (action) {
    case SemanticAction::Activate:
      return "activate";
    case SemanticAction::Focus:
      return "focus";
    case SemanticAction::SetText:
      return "set-text";
  }
  return "activate";
}

std::optional<SemanticAction> semantic_action_from_name(std::string_view name) {
  static constexpr SemanticAction kAll[] = {SemanticAction::Activate, SemanticAction::Focus,
                                            SemanticAction::SetText};
  return detail::enum_from_name(name, kAll, semantic_action_name);
}

bool ControlQueue::push(ControlInvocation invocation) {
  std::lock_guard lock(mutex_);
  if (items_.size() >= capacity_) return false;
  items_.push_back(std::move(invocation));
  return true;
}

std::vector<ControlInvocation> ControlQueue::drain(std::size_t max) {
  std::lock_guard lock(mutex_);
  std::vector<ControlInvocation> out;
  while (!items_.empty() && out.size() < max) {
    out.push_back(std::move(items_.front()));
    items_.pop_front();
  }
  return out;
}

std::size_t ControlQueue::size() const {
  std::lock_guard lock(mutex_);
  return items_.size();
}

}  // namespace vesk_actions
