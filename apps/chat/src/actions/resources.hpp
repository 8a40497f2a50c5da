#pragma once
// The chat's action resources: every workspace, conversation, category,
// person, call, message, attachment and reaction as a framework resource with
// its address, label and actions; the tree the framework lists and the
// resolution of one address back to its resource.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "doc/workspace_doc.hpp"
#include "model/chat_action.hpp"
#include "model/chat_operation.hpp"
#include "model/records.hpp"
#include "vesk_actions/action.hpp"
#include "vesk_actions/resource.hpp"

namespace chat {

// What the actions read of the chat. The workspace document answers it in the
// application; tests and tools use ChatSnapshot.
class ChatReader {
 public:
  virtual ~ChatReader() = default;
  virtual std::vector<Workspace> workspaces() const = 0;
  virtual std::vector<Category> categories() const = 0;
  virtual std::vector<Channel> channels() const = 0;
  virtual std::vector<Person> people() const = 0;
  virtual std::vector<Message> messages(std::string_view channel) const = 0;
  virtual std::optional<Message> find_message(std::string_view id) const = 0;
  virtual std::vector<VoiceParticipant> participants(std::string_view channel) const = 0;
  // Just the ids of a channel's messages, in list order; readers that can
  // answer without reading whole records should.
  virtual std::vector<std::string> message_ids(std::string_view channel) const;
};

// A plain in-memory chat, in the orders the document delivers.
struct ChatSnapshot final : ChatReader {
  std::vector<Workspace> workspace_list;
  std::vector<Category> category_list;
  std::vector<Channel> channel_list;
  std::vector<Person> person_list;
  std::map<std::string, std::vector<Message>, std::less<>> messages_by_channel;
  std::map<std::string, std::vector<VoiceParticipant>, std::less<>> participants_by_channel;

  std::vector<Workspace> workspaces() const override { return workspace_list; }
  std::vector<Category> categories() const override { return category_list; }
  std::vector<Channel> channels() const override { return channel_list; }
  std::vector<Person> people() const override { return person_list; }
  std::vector<Message> messages(std::string_view channel) const override;
  std::optional<Message> find_message(std::string_view id) const override;
  std::vector<VoiceParticipant> participants(std::string_view channel) const override;
};

// The chat as the workspace document holds it; every call reads afresh.
class DocumentChatReader final : public ChatReader {
 public:
  explicit DocumentChatReader(doc::WorkspaceDoc& doc) : doc_(&doc) {}
  std::vector<Workspace> workspaces() const override;
  std::vector<Category> categories() const override;
  std::vector<Channel> channels() const override;
  std::vector<Person> people() const override;
  std::vector<Message> messages(std::string_view channel) const override;
  // Found through the document's message index, not by reading every channel.
  std::optional<Message> find_message(std::string_view id) const override;
  std::vector<VoiceParticipant> participants(std::string_view channel) const override;
  std::vector<std::string> message_ids(std::string_view channel) const override;

 private:
  doc::WorkspaceDoc* doc_;
};

struct ResourceContext {
  const ChatReader& reader;
  std::string local_user;
  // The workspace whose conversation is shown: it leads the tree.
  std::string conversation_workspace;
  // Clock and id source; the defaults are now_secs and fresh v4 UUIDs.
  std::function<std::int64_t()> now;
  std::function<std::string()> new_uuid;
};

inline constexpr std::size_t kMaxTreeWorkspaces = 8;
inline constexpr std::size_t kTreeBudget = 72;
inline constexpr std::size_t kMaxTreePeople = 23;
inline constexpr std::size_t kMessageLabelChars = 72;

// Encoded framework actions of the two chat kinds. Encoding cannot fail; a
// failure is a programming error and stops the program.
vesk_actions::EncodedAction encode_action(const ChatAction& action);
vesk_actions::EncodedAction encode_operation(const ChatOperation& operation,
                                             vesk_actions::OperationType type);
// The three variants whose specs are destructive.
bool is_destructive(const ChatAction& action);

// Text trimmed of Unicode white space at both ends.
std::string trim_text(std::string_view text);

std::string workspace_label(const Workspace& workspace);
std::string channel_label(const Channel& channel);
std::string call_label(const Channel& channel);
std::string message_label(const Message& message, const std::vector<Person>& people);
std::string reaction_label(const ReactionGroup& group);

// The roots: workspaces with their budgeted children, then the people.
std::vector<vesk_actions::Resource> resource_roots(const ResourceContext& context);
// One address to its resource with all its actions and children, or none.
std::optional<vesk_actions::Resource> resolve_address(const ResourceContext& context,
                                                      std::string_view address);

}  // namespace chat
