#pragma once
// ChatControl: what a clickable element of the chat does. Every hit region
// carries one; a click, an accessibility client and an automation client
// naming it all run the same control. The variant order never changes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/records.hpp"

namespace chat {

// A screen point in logical pixels where a popover opens.
struct Anchor {
  double x = 0;
  double y = 0;
  friend bool operator==(const Anchor&, const Anchor&) = default;
};

namespace chat_control {

struct Inbox {};
struct CurrentContext {};
struct Channel {
  std::string id;
};
struct VoiceChannel {
  std::string id;
};
struct CategoryToggle {
  std::string id;
};
struct AddChannel {
  std::string workspace;
  std::string category;
};
struct AddCategory {
  std::string workspace;
};
struct FocusRename {};
struct Reaction {
  std::string msg;
  std::string emoji;
};
struct AddReaction {
  std::string msg;
  Anchor anchor;
};
struct OpenThread {
  std::string id;
};
struct EditHistory {
  std::string msg;
  Anchor anchor;
};
struct MessageMenu {
  std::string msg;
};
struct EditSave {};
struct EditCancel {};
struct FocusEdit {};
struct EmojiChoice {
  std::string emoji;
};
struct FocusMain {};
struct FocusThread {};
struct Send {};
struct JumpToLatest {};
struct ComposerEmoji {
  bool thread = false;  // the thread reply composer, else the channel composer
  Anchor anchor;
};
struct Attach {};
struct AttachPick {
  std::size_t index = 0;
};
struct StartCall {};
struct CloseThread {};
struct CallDragHandle {};
struct CallParticipantsToggle {};
struct CallMute {};
struct CallDeafen {};
struct CallAudioOnly {};
struct CallShareScreen {};
struct CallExpand {};
struct CallLeave {};
struct ToggleLeftFlap {};
struct ToggleRightFlap {};
struct Dismiss {};

}  // namespace chat_control

using ChatControl =
    std::variant<chat_control::Inbox, chat_control::CurrentContext, chat_control::Channel,
                 chat_control::VoiceChannel, chat_control::CategoryToggle, chat_control::AddChannel,
                 chat_control::AddCategory, chat_control::FocusRename, chat_control::Reaction,
                 chat_control::AddReaction, chat_control::OpenThread, chat_control::EditHistory,
                 chat_control::MessageMenu, chat_control::EditSave, chat_control::EditCancel,
                 chat_control::FocusEdit, chat_control::EmojiChoice, chat_control::FocusMain,
                 chat_control::FocusThread, chat_control::Send, chat_control::JumpToLatest,
                 chat_control::ComposerEmoji, chat_control::Attach, chat_control::AttachPick,
                 chat_control::StartCall, chat_control::CloseThread, chat_control::CallDragHandle,
                 chat_control::CallParticipantsToggle, chat_control::CallMute,
                 chat_control::CallDeafen, chat_control::CallAudioOnly,
                 chat_control::CallShareScreen, chat_control::CallExpand, chat_control::CallLeave,
                 chat_control::ToggleLeftFlap, chat_control::ToggleRightFlap,
                 chat_control::Dismiss>;

inline constexpr std::size_t kChatControlCount = std::variant_size_v<ChatControl>;

// The variant's own name ("CategoryToggle").
std::string_view control_variant_name(const ChatControl& control);
// The debug text of controls addressed as "chat.control:" + debug text.
std::string control_debug_text(const ChatControl& control);
// The stable name outside clients address the control by.
std::string semantic_name(const ChatControl& control);

// What the labels read of the application's state.
struct ControlLabelContext {
  const std::vector<Workspace>* workspaces = nullptr;
  const std::vector<Channel>* channels = nullptr;
  const std::vector<Category>* categories = nullptr;
  std::string context_workspace;  // the rail tile's workspace id
  bool inbox_shown = false;
  // Whether the local user has reacted to `msg` with `emoji`.
  std::function<bool(std::string_view msg, std::string_view emoji)> local_user_reacted;
  // File name of the attachment candidate at an index, if there is one.
  std::function<std::optional<std::string>(std::size_t index)> attach_candidate_name;
};

// None for controls without a label of their own; the framework's default
// applies to them.
std::optional<std::string> accessible_label(const ChatControl& control,
                                            const ControlLabelContext& context);

// "#" for a text channel, "🔊" for a voice channel.
std::string_view channel_glyph(ChannelKind kind);

}  // namespace chat
