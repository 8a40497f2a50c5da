#pragma once
// Dispatching chat actions through the framework's executor: each becomes one
// committed change of the document and one entry of the typed-action journal.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "doc/workspace_doc.hpp"
#include "model/chat_action.hpp"
#include "vesk_actions/executor.hpp"
#include "vesk_actions/journal.hpp"
#include "vesk_actions/registry.hpp"

namespace chat {

inline constexpr std::string_view kChatAppName = "Chat";

// Applies a chat action to what the executor targets (the workspace document).
using ChatApply = std::function<base::Status(vesk_actions::ActionTarget&, const ChatAction&)>;

// The decoded form the framework holds of a "chat.action" payload.
class BoxedChatAction final : public vesk_actions::DecodedAction {
 public:
  BoxedChatAction(ChatAction action, ChatApply apply);
  std::string debug_text() const override { return debug_text_; }
  base::Status apply(vesk_actions::ActionTarget& target) const override;
  const ChatAction& action() const { return action_; }

 private:
  ChatAction action_;
  std::string debug_text_;
  ChatApply apply_;
};

// Start-up: registers the kind "chat.action" with a decoder that answers the
// boxed action or the JSON reader's error. Without an apply function the
// actions go to the workspace document (see WorkspaceTarget).
base::Status register_chat_actions(vesk_actions::ActionRegistry& registry, ChatApply apply);
base::Status register_chat_actions(vesk_actions::ActionRegistry& registry);

// The workspace document as the executor's target: heads and actor in
// lower-case hex, one commit per dispatched action.
class WorkspaceTarget final : public vesk_actions::DocumentTarget<doc::WorkspaceDoc> {
 public:
  explicit WorkspaceTarget(doc::WorkspaceDoc& doc) : doc_(&doc) {}
  doc::WorkspaceDoc& document() override { return *doc_; }
  std::vector<std::string> heads() const override;
  std::string actor() const override;
  void commit(std::string_view message) override;

 private:
  doc::WorkspaceDoc* doc_;
};

base::Status apply_to_workspace(vesk_actions::ActionTarget& target, const ChatAction& action);

struct TypedLabel {
  std::string label;
  vesk_actions::ActionAddress resource;  // empty kind when no table entry applies
};

TypedLabel typed_action_label(const ChatAction& action);
// For a JSON value that may not be a chat action this program knows: the
// variant name humanised, or "Update" when it is not a one-member tagged object.
TypedLabel typed_action_label_of_value(std::string_view json_value);
vesk_actions::TypedActionRecord typed_action_record(std::string_view app_id,
                                                    const ChatAction& action);

// What dispatching needs of the application, borrowed for the call.
struct ChatDispatcher {
  vesk_actions::ActionRegistry& registry;
  vesk_actions::ActionTarget& target;
  vesk_actions::TypedActionJournal& journal;
  std::string app_id;
  std::optional<vesk_actions::ActionContext> context;
  // Called after each action that reached the document, e.g. to keep the
  // search catalog current.
  std::function<void(const ChatAction&)> after_apply;

  // Failures are logged as "action dispatch failed" and go no further.
  void dispatch(const ChatAction& action);
};

}  // namespace chat
