#include "actions/chat_action_format.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "base/log.hpp"
#include "model/json_shapes.hpp"

namespace chat {

// ---------------------------------------------------------------- ChatAction

constexpr auto json_shape(std::type_identity<ChatAction>) {
  return strict_json::externally_tagged<ChatAction>("ChatAction");
}

using namespace strict_json;

// Found by argument-dependent lookup, so beside the alternatives.
namespace chat_action {

constexpr auto json_shape(std::type_identity<ChatAction::SendMessage>) {
  using A = ChatAction::SendMessage;
  return record<A>("SendMessage", required("channel", &A::channel), required("id", &A::id),
                   required("author", &A::author), required("ts", &A::ts),
                   required("text", &A::text), optional("parent", &A::parent),
                   optional("attachment", &A::attachment), defaulted("mentions", &A::mentions),
                   defaulted("reference", &A::reference));
}
constexpr auto json_shape(std::type_identity<ChatAction::EditMessage>) {
  using A = ChatAction::EditMessage;
  return record<A>("EditMessage", required("channel", &A::channel), required("id", &A::id),
                   required("text", &A::text), required("ts", &A::ts));
}
constexpr auto json_shape(std::type_identity<ChatAction::DeleteMessage>) {
  using A = ChatAction::DeleteMessage;
  return record<A>("DeleteMessage", required("channel", &A::channel), required("id", &A::id));
}
constexpr auto json_shape(std::type_identity<ChatAction::AddReaction>) {
  using A = ChatAction::AddReaction;
  return record<A>("AddReaction", required("channel", &A::channel), required("msg", &A::msg),
                   required("emoji", &A::emoji), required("user", &A::user));
}
constexpr auto json_shape(std::type_identity<ChatAction::RemoveReaction>) {
  using A = ChatAction::RemoveReaction;
  return record<A>("RemoveReaction", required("channel", &A::channel), required("msg", &A::msg),
                   required("emoji", &A::emoji), required("user", &A::user));
}
constexpr auto json_shape(std::type_identity<ChatAction::PinMessage>) {
  using A = ChatAction::PinMessage;
  return record<A>("PinMessage", required("channel", &A::channel), required("msg", &A::msg),
                   required("pinned", &A::pinned));
}
constexpr auto json_shape(std::type_identity<ChatAction::CreateChannel>) {
  using A = ChatAction::CreateChannel;
  return record<A>("CreateChannel", required("workspace", &A::workspace),
                   required("category", &A::category), required("id", &A::id),
                   required("name", &A::name), required("kind", &A::kind));
}
constexpr auto json_shape(std::type_identity<ChatAction::CreateCategory>) {
  using A = ChatAction::CreateCategory;
  return record<A>("CreateCategory", required("workspace", &A::workspace), required("id", &A::id),
                   required("name", &A::name));
}
constexpr auto json_shape(std::type_identity<ChatAction::RenameCategory>) {
  using A = ChatAction::RenameCategory;
  return record<A>("RenameCategory", required("id", &A::id), required("name", &A::name));
}
constexpr auto json_shape(std::type_identity<ChatAction::DeleteCategory>) {
  using A = ChatAction::DeleteCategory;
  return record<A>("DeleteCategory", required("id", &A::id));
}
constexpr auto json_shape(std::type_identity<ChatAction::SetCategoryCollapsed>) {
  using A = ChatAction::SetCategoryCollapsed;
  return record<A>("SetCategoryCollapsed", required("id", &A::id),
                   required("collapsed", &A::collapsed));
}
constexpr auto json_shape(std::type_identity<ChatAction::ReorderChannel>) {
  using A = ChatAction::ReorderChannel;
  return record<A>("ReorderChannel", required("id", &A::id), required("up", &A::up));
}
constexpr auto json_shape(std::type_identity<ChatAction::RenameChannel>) {
  using A = ChatAction::RenameChannel;
  return record<A>("RenameChannel", required("id", &A::id), required("name", &A::name));
}
constexpr auto json_shape(std::type_identity<ChatAction::DeleteChannel>) {
  using A = ChatAction::DeleteChannel;
  return record<A>("DeleteChannel", required("id", &A::id));
}
constexpr auto json_shape(std::type_identity<ChatAction::ArchiveChannel>) {
  using A = ChatAction::ArchiveChannel;
  return record<A>("ArchiveChannel", required("id", &A::id), required("archived", &A::archived));
}
constexpr auto json_shape(std::type_identity<ChatAction::MarkRead>) {
  using A = ChatAction::MarkRead;
  return record<A>("MarkRead", required("channel", &A::channel), required("user", &A::user),
                   required("count", &A::count));
}
constexpr auto json_shape(std::type_identity<ChatAction::SetAgentWork>) {
  using A = ChatAction::SetAgentWork;
  return record<A>("SetAgentWork", required("channel", &A::channel), required("msg", &A::msg),
                   required("work", &A::work), optional("say", &A::say));
}
constexpr auto json_shape(std::type_identity<ChatAction::JoinCall>) {
  using A = ChatAction::JoinCall;
  return record<A>("JoinCall", required("channel", &A::channel), required("user", &A::user));
}
constexpr auto json_shape(std::type_identity<ChatAction::LeaveCall>) {
  using A = ChatAction::LeaveCall;
  return record<A>("LeaveCall", required("channel", &A::channel), required("user", &A::user));
}
constexpr auto json_shape(std::type_identity<ChatAction::SetCallState>) {
  using A = ChatAction::SetCallState;
  return record<A>("SetCallState", required("channel", &A::channel), required("user", &A::user),
                   required("talking", &A::talking), required("muted", &A::muted),
                   required("deafened", &A::deafened), required("audio_only", &A::audio_only));
}
constexpr auto json_shape(std::type_identity<ChatAction::SetScreenShare>) {
  using A = ChatAction::SetScreenShare;
  return record<A>("SetScreenShare", required("channel", &A::channel), required("user", &A::user),
                   required("sharing", &A::sharing));
}
constexpr auto json_shape(std::type_identity<ChatAction::SetCallTicket>) {
  using A = ChatAction::SetCallTicket;
  return record<A>("SetCallTicket", required("channel", &A::channel), required("user", &A::user),
                   required("ticket", &A::ticket));
}

}  // namespace chat_action

// ---------------------------------------------------------------- ChatOperation

constexpr auto json_shape(std::type_identity<ChatOperation>) {
  return externally_tagged<ChatOperation>("ChatOperation");
}
namespace chat_operation {

constexpr auto json_shape(std::type_identity<ChatOperation::OpenWorkspace>) {
  using O = ChatOperation::OpenWorkspace;
  return record<O>("OpenWorkspace", required("workspace", &O::workspace));
}
constexpr auto json_shape(std::type_identity<ChatOperation::OpenChannel>) {
  using O = ChatOperation::OpenChannel;
  return record<O>("OpenChannel", required("workspace", &O::workspace),
                   required("channel", &O::channel));
}
constexpr auto json_shape(std::type_identity<ChatOperation::OpenCategory>) {
  using O = ChatOperation::OpenCategory;
  return record<O>("OpenCategory", required("workspace", &O::workspace),
                   required("category", &O::category));
}
constexpr auto json_shape(std::type_identity<ChatOperation::RevealMessage>) {
  using O = ChatOperation::RevealMessage;
  return record<O>("RevealMessage", required("workspace", &O::workspace),
                   required("channel", &O::channel), required("message", &O::message),
                   optional("parent", &O::parent));
}
constexpr auto json_shape(std::type_identity<ChatOperation::OpenPerson>) {
  using O = ChatOperation::OpenPerson;
  return record<O>("OpenPerson", required("user", &O::user));
}
constexpr auto json_shape(std::type_identity<ChatOperation::ImportAttachment>) {
  using O = ChatOperation::ImportAttachment;
  return record<O>("ImportAttachment", required("channel", &O::channel),
                   required("path", &O::path));
}

}  // namespace chat_operation

// ---------------------------------------------------------------- entry points

namespace {

// Encoding a value type with a fixed shape has no failure mode short of memory
// exhaustion; if it ever fails the program is wrong, so stop loudly.
template <typename T>
std::string encode_or_stop(const T& value, const char* what) {
  try {
    return strict_json::encode(value);
  } catch (const std::exception& e) {
    base::log::error("chat", "{}: {}", what, e.what());
  } catch (...) {
  }
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

std::string encode_chat_action(const ChatAction& action) {
  return encode_or_stop(action, "ChatAction is always serializable");
}

base::Result<ChatAction> decode_chat_action(std::string_view json) {
  return strict_json::decode<ChatAction>(json);
}

std::string encode_chat_operation(const ChatOperation& operation) {
  return encode_or_stop(operation, "ChatOperation is always serializable");
}

base::Result<ChatOperation> decode_chat_operation(std::string_view json) {
  return strict_json::decode<ChatOperation>(json);
}

std::string_view chat_action_name(std::size_t index) {
  using Names = strict_json::detail::Alternatives<ChatAction::Variant>;
  return index < Names::names.size() ? Names::names[index] : std::string_view();
}

std::string_view chat_operation_name(std::size_t index) {
  using Names = strict_json::detail::Alternatives<ChatOperation::Variant>;
  return index < Names::names.size() ? Names::names[index] : std::string_view();
}

}  // namespace chat
