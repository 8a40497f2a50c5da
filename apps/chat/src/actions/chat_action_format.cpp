#include "actions/chat_action_format.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "base/log.hpp"
#include "model/json_record.hpp"
#include "model/json_shapes.hpp"

namespace chat {

// ---------------------------------------------------------------- shapes

constexpr auto json_shape(std::type_identity<ChatAction>) {
  return strict_json::externally_tagged<ChatAction>("ChatAction");
}
constexpr auto json_shape(std::type_identity<ChatOperation>) {
  return strict_json::externally_tagged<ChatOperation>("ChatOperation");
}

// The variants are written under their type names, their members under the
// member names (see model/json_record.hpp).
namespace chat_action {

CHAT_JSON_RECORD(SendMessage, CHAT_REQUIRED(channel), CHAT_REQUIRED(id), CHAT_REQUIRED(author),
                 CHAT_REQUIRED(ts), CHAT_REQUIRED(text), CHAT_OPTIONAL(parent),
                 CHAT_OPTIONAL(attachment), CHAT_DEFAULTED(mentions), CHAT_DEFAULTED(reference))
CHAT_JSON_RECORD(EditMessage, CHAT_REQUIRED(channel), CHAT_REQUIRED(id), CHAT_REQUIRED(text),
                 CHAT_REQUIRED(ts))
CHAT_JSON_RECORD(DeleteMessage, CHAT_REQUIRED(channel), CHAT_REQUIRED(id))
CHAT_JSON_RECORD(AddReaction, CHAT_REQUIRED(channel), CHAT_REQUIRED(msg), CHAT_REQUIRED(emoji),
                 CHAT_REQUIRED(user))
CHAT_JSON_RECORD(RemoveReaction, CHAT_REQUIRED(channel), CHAT_REQUIRED(msg), CHAT_REQUIRED(emoji),
                 CHAT_REQUIRED(user))
CHAT_JSON_RECORD(PinMessage, CHAT_REQUIRED(channel), CHAT_REQUIRED(msg), CHAT_REQUIRED(pinned))
CHAT_JSON_RECORD(CreateChannel, CHAT_REQUIRED(workspace), CHAT_REQUIRED(category),
                 CHAT_REQUIRED(id), CHAT_REQUIRED(name), CHAT_REQUIRED(kind))
CHAT_JSON_RECORD(CreateCategory, CHAT_REQUIRED(workspace), CHAT_REQUIRED(id), CHAT_REQUIRED(name))
CHAT_JSON_RECORD(RenameCategory, CHAT_REQUIRED(id), CHAT_REQUIRED(name))
CHAT_JSON_RECORD(DeleteCategory, CHAT_REQUIRED(id))
CHAT_JSON_RECORD(SetCategoryCollapsed, CHAT_REQUIRED(id), CHAT_REQUIRED(collapsed))
CHAT_JSON_RECORD(ReorderChannel, CHAT_REQUIRED(id), CHAT_REQUIRED(up))
CHAT_JSON_RECORD(RenameChannel, CHAT_REQUIRED(id), CHAT_REQUIRED(name))
CHAT_JSON_RECORD(DeleteChannel, CHAT_REQUIRED(id))
CHAT_JSON_RECORD(ArchiveChannel, CHAT_REQUIRED(id), CHAT_REQUIRED(archived))
CHAT_JSON_RECORD(MarkRead, CHAT_REQUIRED(channel), CHAT_REQUIRED(user), CHAT_REQUIRED(count))
CHAT_JSON_RECORD(SetAgentWork, CHAT_REQUIRED(channel), CHAT_REQUIRED(msg), CHAT_REQUIRED(work),
                 CHAT_OPTIONAL(say))
CHAT_JSON_RECORD(JoinCall, CHAT_REQUIRED(channel), CHAT_REQUIRED(user))
CHAT_JSON_RECORD(LeaveCall, CHAT_REQUIRED(channel), CHAT_REQUIRED(user))
CHAT_JSON_RECORD(SetCallState, CHAT_REQUIRED(channel), CHAT_REQUIRED(user), CHAT_REQUIRED(talking),
                 CHAT_REQUIRED(muted), CHAT_REQUIRED(deafened), CHAT_REQUIRED(audio_only))
CHAT_JSON_RECORD(SetScreenShare, CHAT_REQUIRED(channel), CHAT_REQUIRED(user),
                 CHAT_REQUIRED(sharing))
CHAT_JSON_RECORD(SetCallTicket, CHAT_REQUIRED(channel), CHAT_REQUIRED(user), CHAT_REQUIRED(ticket))

}  // namespace chat_action

namespace chat_operation {

CHAT_JSON_RECORD(OpenWorkspace, CHAT_REQUIRED(workspace))
CHAT_JSON_RECORD(OpenChannel, CHAT_REQUIRED(workspace), CHAT_REQUIRED(channel))
CHAT_JSON_RECORD(OpenCategory, CHAT_REQUIRED(workspace), CHAT_REQUIRED(category))
CHAT_JSON_RECORD(RevealMessage, CHAT_REQUIRED(workspace), CHAT_REQUIRED(channel),
                 CHAT_REQUIRED(message), CHAT_OPTIONAL(parent))
CHAT_JSON_RECORD(OpenPerson, CHAT_REQUIRED(user))
CHAT_JSON_RECORD(ImportAttachment, CHAT_REQUIRED(channel), CHAT_REQUIRED(path))

}  // namespace chat_operation

// ---------------------------------------------------------------- entry points

namespace {

// Encoding a value type with a fixed shape has no failure mode short of memory
// exhaustion; if it ever fails the program is wrong, so stop loudly.
template <typename T>
std::string encode_or_stop(const T& value) {
  const std::string_view what = strict_json::type_name<T>();
  try {
    return strict_json::encode(value);
  } catch (const std::exception& e) {
    base::log::error("chat", "{} is always serializable: {}", what, e.what());
  } catch (...) {
  }
  std::fprintf(stderr, "%.*s is always serializable\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

template <typename T>
std::string_view variant_name(std::size_t index) {
  using Names = strict_json::detail::Alternatives<typename T::Variant>;
  return index < Names::names.size() ? Names::names[index] : std::string_view();
}

}  // namespace

std::string encode_chat_action(const ChatAction& action) {
  return encode_or_stop(action);
}

base::Result<ChatAction> decode_chat_action(std::string_view json) {
  return strict_json::decode<ChatAction>(json);
}

std::string encode_chat_operation(const ChatOperation& operation) {
  return encode_or_stop(operation);
}

base::Result<ChatOperation> decode_chat_operation(std::string_view json) {
  return strict_json::decode<ChatOperation>(json);
}

std::string_view chat_action_name(std::size_t index) {
  return variant_name<ChatAction>(index);
}

std::string_view chat_operation_name(std::size_t index) {
  return variant_name<ChatOperation>(index);
}

}  // namespace chat
