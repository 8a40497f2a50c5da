#pragma once
// Semantic controls invoked from outside the frame cycle (automation, the
// accessibility bus) wait here until the host drains them on its UI thread.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk_actions {

enum class SemanticAction : std::uint8_t { Activate, Focus, SetText };

std::string_view semantic_action_name(SemanticAction action);
std::optional<SemanticAction> semantic_action_from_name(std::string_view name);

struct ControlInvocation {
  std::string name;
  SemanticAction action = SemanticAction::Activate;
  std::string text;  // for SetText
};

class ControlQueue {
 public:
  explicit ControlQueue(std::size_t capacity = 64) : capacity_(capacity) {}

  // False when the queue is full: a flood of invocations must not grow memory
  // without bound while the UI thread is busy.
  bool push(ControlInvocation invocation);
  std::vector<ControlInvocation> drain(std::size_t max = SIZE_MAX);
  std::size_t size() const;

 private:
  mutable std::mutex mutex_;
  std::size_t capacity_;
  std::deque<ControlInvocation> items_;
};

using SharedControlQueue = std::shared_ptr<ControlQueue>;

}  // namespace vesk_actions
