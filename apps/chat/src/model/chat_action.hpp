#pragma once
// ChatAction: every change a user, an agent or a peer makes to chat state, as
// one plain value. The variant index is part of the contract: resource specs
// and dispatch refer to actions by it, so the order below never changes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/agent_work.hpp"
#include "model/attachment.hpp"
#include "model/records.hpp"
#include "model/resource_ref.hpp"

namespace chat {

// The alternatives live in their own namespace: nested inside ChatAction, their
// default member initialisers would not yet count when the variant is formed.
namespace chat_action {

struct SendMessage {  // 0
  std::string channel;
  std::string id;
  std::string author;
  std::int64_t ts = 0;
  std::string text;
  std::optional<std::string> parent;
  std::optional<Attachment> attachment;
  std::vector<Mention> mentions;
  std::optional<ResourceRef> reference;
  friend bool operator==(const SendMessage&, const SendMessage&) = default;
};
struct EditMessage {  // 1
  std::string channel;
  std::string id;
  std::string text;
  std::int64_t ts = 0;
  friend bool operator==(const EditMessage&, const EditMessage&) = default;
};
struct DeleteMessage {  // 2
  std::string channel;
  std::string id;
  friend bool operator==(const DeleteMessage&, const DeleteMessage&) = default;
};
struct AddReaction {  // 3
  std::string channel;
  std::string msg;
  std::string emoji;
  std::string user;
  friend bool operator==(const AddReaction&, const AddReaction&) = default;
};
struct RemoveReaction {  // 4
  std::string channel;
  std::string msg;
  std::string emoji;
  std::string user;
  friend bool operator==(const RemoveReaction&, const RemoveReaction&) = default;
};
struct PinMessage {  // 5
  std::string channel;
  std::string msg;
  bool pinned = false;
  friend bool operator==(const PinMessage&, const PinMessage&) = default;
};
struct CreateChannel {  // 6
  std::string workspace;
  std::string category;
  std::string id;
  std::string name;
  ChannelKind kind = ChannelKind::Text;
  friend bool operator==(const CreateChannel&, const CreateChannel&) = default;
};
struct CreateCategory {  // 7
  std::string workspace;
  std::string id;
  std::string name;
  friend bool operator==(const CreateCategory&, const CreateCategory&) = default;
};
struct RenameCategory {  // 8
  std::string id;
  std::string name;
  friend bool operator==(const RenameCategory&, const RenameCategory&) = default;
};
struct DeleteCategory {  // 9
  std::string id;
  friend bool operator==(const DeleteCategory&, const DeleteCategory&) = default;
};
struct SetCategoryCollapsed {  // 10
  std::string id;
  bool collapsed = false;
  friend bool operator==(const SetCategoryCollapsed&, const SetCategoryCollapsed&) = default;
};
struct ReorderChannel {  // 11
  std::string id;
  bool up = false;  // true moves one place up, false one place down
  friend bool operator==(const ReorderChannel&, const ReorderChannel&) = default;
};
struct RenameChannel {  // 12
  std::string id;
  std::string name;
  friend bool operator==(const RenameChannel&, const RenameChannel&) = default;
};
struct DeleteChannel {  // 13
  std::string id;
  friend bool operator==(const DeleteChannel&, const DeleteChannel&) = default;
};
struct ArchiveChannel {  // 14
  std::string id;
  bool archived = false;
  friend bool operator==(const ArchiveChannel&, const ArchiveChannel&) = default;
};
struct MarkRead {  // 15
  std::string channel;
  std::string user;
  std::int64_t count = 0;  // top-level messages in the channel when it was read
  friend bool operator==(const MarkRead&, const MarkRead&) = default;
};
struct SetAgentWork {  // 16
  std::string channel;
  std::string msg;
  AgentWork work;
  std::optional<std::string> say;
  friend bool operator==(const SetAgentWork&, const SetAgentWork&) = default;
};
struct JoinCall {  // 17
  std::string channel;
  std::string user;
  friend bool operator==(const JoinCall&, const JoinCall&) = default;
};
struct LeaveCall {  // 18
  std::string channel;
  std::string user;
  friend bool operator==(const LeaveCall&, const LeaveCall&) = default;
};
struct SetCallState {  // 19
  std::string channel;
  std::string user;
  bool talking = false;
  bool muted = false;
  bool deafened = false;
  bool audio_only = false;
  friend bool operator==(const SetCallState&, const SetCallState&) = default;
};
struct SetScreenShare {  // 20
  std::string channel;
  std::string user;
  bool sharing = false;
  friend bool operator==(const SetScreenShare&, const SetScreenShare&) = default;
};
struct SetCallTicket {  // 21
  std::string channel;
  std::string user;
  std::string ticket;
  friend bool operator==(const SetCallTicket&, const SetCallTicket&) = default;
};
}  // namespace chat_action

struct ChatAction {
  using SendMessage = chat_action::SendMessage;
  using EditMessage = chat_action::EditMessage;
  using DeleteMessage = chat_action::DeleteMessage;
  using AddReaction = chat_action::AddReaction;
  using RemoveReaction = chat_action::RemoveReaction;
  using PinMessage = chat_action::PinMessage;
  using CreateChannel = chat_action::CreateChannel;
  using CreateCategory = chat_action::CreateCategory;
  using RenameCategory = chat_action::RenameCategory;
  using DeleteCategory = chat_action::DeleteCategory;
  using SetCategoryCollapsed = chat_action::SetCategoryCollapsed;
  using ReorderChannel = chat_action::ReorderChannel;
  using RenameChannel = chat_action::RenameChannel;
  using DeleteChannel = chat_action::DeleteChannel;
  using ArchiveChannel = chat_action::ArchiveChannel;
  using MarkRead = chat_action::MarkRead;
  using SetAgentWork = chat_action::SetAgentWork;
  using JoinCall = chat_action::JoinCall;
  using LeaveCall = chat_action::LeaveCall;
  using SetCallState = chat_action::SetCallState;
  using SetScreenShare = chat_action::SetScreenShare;
  using SetCallTicket = chat_action::SetCallTicket;

  using Variant = std::variant<SendMessage, EditMessage, DeleteMessage, AddReaction, RemoveReaction,
                               PinMessage, CreateChannel, CreateCategory, RenameCategory,
                               DeleteCategory, SetCategoryCollapsed, ReorderChannel, RenameChannel,
                               DeleteChannel, ArchiveChannel, MarkRead, SetAgentWork, JoinCall,
                               LeaveCall, SetCallState, SetScreenShare, SetCallTicket>;
  static constexpr std::size_t kVariantCount = std::variant_size_v<Variant>;

  Variant value;

  ChatAction() = default;
  template <typename T>
  requires std::is_constructible_v<Variant, T&&> &&
      (!std::is_same_v<std::decay_t<T>, ChatAction>)ChatAction(T&& v)
      : value(std::forward<T>(v)) {}  // NOLINT: implicit on purpose

  std::size_t index() const { return value.index(); }
  template <typename T>
  const T* get_if() const {
    return std::get_if<T>(&value);
  }
  template <typename T>
  T* get_if() {
    return std::get_if<T>(&value);
  }
  friend bool operator==(const ChatAction&, const ChatAction&) = default;
};

}  // namespace chat
