#include "actions/dispatch.hpp"

#include <nlohmann/json.hpp>
#include <utility>

#include "actions/chat_action_format.hpp"
#include "actions/resources.hpp"
#include "base/log.hpp"
#include "base/random.hpp"
#include "doc/apply.hpp"

namespace chat {

namespace ca = chat_action;
using vesk_actions::ActionAddress;

BoxedChatAction::BoxedChatAction(ChatAction action, ChatApply apply)
    : action_(std::move(action)), apply_(std::move(apply)) {
  debug_text_ = std::string(chat_action_name(action_.index())) + " " + encode_chat_action(action_);
}

base::Status BoxedChatAction::apply(vesk_actions::ActionTarget& target) const {
  if (!apply_) return base::make_error("no document to apply chat actions to");
  return apply_(target, action_);
}

base::Status register_chat_actions(vesk_actions::ActionRegistry& registry, ChatApply apply) {
  return registry.register_kind(std::string(kChatActionKind),
                                [apply = std::move(apply)](std::string_view payload)
                                    -> base::Result<std::unique_ptr<vesk_actions::DecodedAction>> {
                                  auto decoded = decode_chat_action(payload);
                                  if (!decoded.ok()) return std::move(decoded).take_error();
                                  return std::unique_ptr<vesk_actions::DecodedAction>(
                                      new BoxedChatAction(std::move(decoded).value(), apply));
                                });
}

base::Status register_chat_actions(vesk_actions::ActionRegistry& registry) {
  return register_chat_actions(registry, apply_to_workspace);
}

std::vector<std::string> WorkspaceTarget::heads() const {
  std::vector<std::string> out;
  for (const auto& h : doc_->doc().heads()) out.push_back(base::to_hex(h.data(), h.size()));
  return out;
}

std::string WorkspaceTarget::actor() const {
  const auto& a = doc_->doc().actor();
  return base::to_hex(a.data(), a.size());
}

void WorkspaceTarget::commit(std::string_view) {
  doc_->doc().commit();
}

base::Status apply_to_workspace(vesk_actions::ActionTarget& target, const ChatAction& action) {
  auto* workspace = dynamic_cast<vesk_actions::DocumentTarget<doc::WorkspaceDoc>*>(&target);
  if (!workspace) return base::make_error("chat actions apply to the workspace document only");
  doc::apply(workspace->document(), action);
  return {};
}

TypedLabel typed_action_label(const ChatAction& action) {
  return std::visit(
      [](const auto& a) -> TypedLabel {
        using T = std::decay_t<decltype(a)>;
        auto msg = [](std::string label, const std::string& id) {
          return TypedLabel{std::move(label), ActionAddress{"chat.message", id}};
        };
        auto chan = [](std::string label, const std::string& id) {
          return TypedLabel{std::move(label), ActionAddress{"chat.channel", id}};
        };
        auto cat = [](std::string label, const std::string& id) {
          return TypedLabel{std::move(label), ActionAddress{"chat.category", id}};
        };
        auto call = [](std::string label, const std::string& id) {
          return TypedLabel{std::move(label), ActionAddress{"chat.call", id}};
        };
        if constexpr (std::is_same_v<T, ca::SendMessage>)
          return msg("Send message", a.id);
        else if constexpr (std::is_same_v<T, ca::EditMessage>)
          return msg("Edit message", a.id);
        else if constexpr (std::is_same_v<T, ca::DeleteMessage>)
          return msg("Delete message", a.id);
        else if constexpr (std::is_same_v<T, ca::AddReaction>)
          return msg("Add reaction", a.msg);
        else if constexpr (std::is_same_v<T, ca::RemoveReaction>)
          return msg("Remove reaction", a.msg);
        else if constexpr (std::is_same_v<T, ca::PinMessage>)
          return msg(a.pinned ? "Pin message" : "Unpin message", a.msg);
        else if constexpr (std::is_same_v<T, ca::CreateChannel>)
          return chan("Create channel", a.id);
        else if constexpr (std::is_same_v<T, ca::CreateCategory>)
          return cat("Create category", a.id);
        else if constexpr (std::is_same_v<T, ca::RenameCategory>)
          return cat("Rename category", a.id);
        else if constexpr (std::is_same_v<T, ca::DeleteCategory>)
          return cat("Delete category", a.id);
        else if constexpr (std::is_same_v<T, ca::SetCategoryCollapsed>)
          return cat(a.collapsed ? "Collapse category" : "Expand category", a.id);
        else if constexpr (std::is_same_v<T, ca::ReorderChannel>)
          return chan(a.up ? "Move channel up" : "Move channel down", a.id);
        else if constexpr (std::is_same_v<T, ca::RenameChannel>)
          return chan("Rename channel", a.id);
        else if constexpr (std::is_same_v<T, ca::DeleteChannel>)
          return chan("Delete channel", a.id);
        else if constexpr (std::is_same_v<T, ca::ArchiveChannel>)
          return chan(a.archived ? "Archive channel" : "Unarchive channel", a.id);
        else if constexpr (std::is_same_v<T, ca::MarkRead>)
          return chan("Mark channel read", a.channel);
        else if constexpr (std::is_same_v<T, ca::SetAgentWork>)
          return msg("Update agent work", a.msg);
        else if constexpr (std::is_same_v<T, ca::JoinCall>)
          return call("Join call", a.channel);
        else if constexpr (std::is_same_v<T, ca::LeaveCall>)
          return call("Leave call", a.channel);
        else if constexpr (std::is_same_v<T, ca::SetCallState>)
          return call("Update call state", a.channel);
        else if constexpr (std::is_same_v<T, ca::SetScreenShare>)
          return call(a.sharing ? "Start presenting" : "Stop presenting", a.channel);
        else
          return call("Update call connection", a.channel);
      },
      action.value);
}

TypedLabel typed_action_label_of_value(std::string_view json_value) {
  auto action = decode_chat_action(json_value);
  if (action.ok()) return typed_action_label(action.value());
  const auto value = nlohmann::json::parse(json_value, nullptr, false);
  if (value.is_object() && value.size() == 1 && value.begin().value().is_object()) {
    return TypedLabel{vesk_actions::humanize_identifier(value.begin().key()), {}};
  }
  return TypedLabel{"Update", {}};
}

vesk_actions::TypedActionRecord typed_action_record(std::string_view app_id,
                                                    const ChatAction& action) {
  auto [label, resource] = typed_action_label(action);
  vesk_actions::TypedActionRecord record;
  record.app_id = std::string(app_id);
  record.app_name = std::string(kChatAppName);
  record.value = encode_chat_action(action);
  record.label = std::move(label);
  record.resource_label = resource.kind == "chat.message" ? "Message" : resource.id;
  record.resource = std::move(resource);
  return record;
}

void ChatDispatcher::dispatch(const ChatAction& action) {
  auto record = typed_action_record(app_id, action);
  const auto encoded = encode_action(action);
  auto heads = target.heads();
  auto actor = target.actor();
  auto before =
      vesk_actions::typed_action_before(journal, encoded, std::move(record), heads, actor);
  vesk_actions::LocalTransport transport(target);
  const auto result = context ? vesk_actions::dispatch_by_with_context(
                                    registry, encoded, transport,
                                    context->enriched_by(std::move(heads), std::move(actor)))
                              : vesk_actions::dispatch_by(registry, encoded, transport);
  if (!result.ok()) {
    base::log::warn("actions", "action dispatch failed: {}", result.error->display());
    return;
  }
  if (before) vesk_actions::report_typed_action(journal, std::move(*before), target.heads());
  if (after_apply) after_apply(action);
}

}  // namespace chat
