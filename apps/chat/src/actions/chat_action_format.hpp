#pragma once
// The JSON form of chat actions and operations: the payload of framework
// actions of kind "chat.action" and "chat.operation". Encoding is compact with
// every member in order and cannot fail; decoding is strict and its error
// names the member or variant at fault.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "model/chat_action.hpp"
#include "model/chat_operation.hpp"

namespace chat {

inline constexpr std::string_view kChatActionKind = "chat.action";
inline constexpr std::string_view kChatOperationKind = "chat.operation";

std::string encode_chat_action(const ChatAction& action);
base::Result<ChatAction> decode_chat_action(std::string_view json);

std::string encode_chat_operation(const ChatOperation& operation);
base::Result<ChatOperation> decode_chat_operation(std::string_view json);

// Serialised variant names ("SendMessage", "OpenChannel"), by variant index.
std::string_view chat_action_name(std::size_t index);
std::string_view chat_operation_name(std::size_t index);

}  // namespace chat
