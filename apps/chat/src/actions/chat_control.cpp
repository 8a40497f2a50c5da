#include "actions/chat_control.hpp"

#include <array>
#include <cstdio>
#include <type_traits>

#include "actions/resources.hpp"

namespace chat {
namespace {

namespace cc = chat_control;

constexpr std::array<std::string_view, kChatControlCount> kVariantNames = {
    "Inbox",          "CurrentContext", "Channel",        "VoiceChannel",
    "CategoryToggle", "AddChannel",     "AddCategory",    "FocusRename",
    "Reaction",       "AddReaction",    "OpenThread",     "EditHistory",
    "MessageMenu",    "EditSave",       "EditCancel",     "FocusEdit",
    "EmojiChoice",    "FocusMain",      "FocusThread",    "Send",
    "JumpToLatest",   "ComposerEmoji",  "Attach",         "AttachPick",
    "StartCall",      "CloseThread",    "CallDragHandle", "CallParticipantsToggle",
    "CallMute",       "CallDeafen",     "CallAudioOnly",  "CallShareScreen",
    "CallExpand",     "CallLeave",      "ToggleLeftFlap", "ToggleRightFlap",
    "Dismiss"};

// A quoted string the way a debug print writes it, so that ids with quotes
// or control characters still give one unambiguous name.
std::string debug_quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          char buf[12];
          std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(c));
          out += buf;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

const Channel* find_channel(const ControlLabelContext& ctx, std::string_view id) {
  if (!ctx.channels) return nullptr;
  for (const auto& c : *ctx.channels) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const Workspace* find_workspace(const ControlLabelContext& ctx, std::string_view id) {
  if (!ctx.workspaces) return nullptr;
  for (const auto& w : *ctx.workspaces) {
    if (w.id == id) return &w;
  }
  return nullptr;
}

std::string channel_control_label(const ControlLabelContext& ctx, std::string_view id,
                                  ChannelKind fallback_kind) {
  const Channel* ch = find_channel(ctx, id);
  std::string out(channel_glyph(ch ? ch->kind : fallback_kind));
  out.push_back(' ');
  if (ch) out += ch->name;
  if (ctx.inbox_shown) {
    const Workspace* ws = ch ? find_workspace(ctx, ch->workspace) : nullptr;
    out += ", from ";
    out += ws && !trim_text(ws->name).empty() ? ws->name : "Vesk workspace";
  }
  if (ch && ch->unread > 0) out += ", " + std::to_string(ch->unread) + " unread";
  return out;
}

}  // namespace

std::string_view channel_glyph(ChannelKind kind) {
  return kind == ChannelKind::Voice ? "🔊" : "#";
}

std::string_view control_variant_name(const ChatControl& control) {
  return kVariantNames[control.index()];
}

std::string control_debug_text(const ChatControl& control) {
  if (const auto* menu = std::get_if<cc::MessageMenu>(&control)) {
    return "MessageMenu { msg: " + debug_quoted(menu->msg) + " }";
  }
  return std::string(control_variant_name(control));
}

std::string semantic_name(const ChatControl& control) {
  return std::visit(
      [&](const auto& c) -> std::string {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, cc::Inbox>)
          return "chat.inbox";
        else if constexpr (std::is_same_v<T, cc::CurrentContext>)
          return "chat.current-context";
        else if constexpr (std::is_same_v<T, cc::Channel>)
          return "chat.channel:" + c.id;
        else if constexpr (std::is_same_v<T, cc::VoiceChannel>)
          return "chat.voice-channel:" + c.id;
        else if constexpr (std::is_same_v<T, cc::CategoryToggle>)
          return "chat.category-toggle:" + c.id;
        else if constexpr (std::is_same_v<T, cc::AddChannel>)
          return "chat.add-channel:" + c.workspace + ":" + c.category;
        else if constexpr (std::is_same_v<T, cc::AddCategory>)
          return "chat.add-category:" + c.workspace;
        else if constexpr (std::is_same_v<T, cc::FocusRename>)
          return "chat.rename";
        else if constexpr (std::is_same_v<T, cc::Reaction>)
          return "chat.reaction:" + c.msg + ":" + c.emoji;
        else if constexpr (std::is_same_v<T, cc::AddReaction>)
          return "chat.add-reaction:" + c.msg;
        else if constexpr (std::is_same_v<T, cc::OpenThread>)
          return "chat.open-thread:" + c.id;
        else if constexpr (std::is_same_v<T, cc::EditHistory>)
          return "chat.edit-history:" + c.msg;
        else if constexpr (std::is_same_v<T, cc::EditSave>)
          return "chat.edit-save";
        else if constexpr (std::is_same_v<T, cc::EditCancel>)
          return "chat.edit-cancel";
        else if constexpr (std::is_same_v<T, cc::FocusEdit>)
          return "chat.message-edit";
        else if constexpr (std::is_same_v<T, cc::EmojiChoice>)
          return "chat.emoji-choice:" + c.emoji;
        else if constexpr (std::is_same_v<T, cc::FocusMain>)
          return "chat.composer";
        else if constexpr (std::is_same_v<T, cc::FocusThread>)
          return "chat.thread-composer";
        else if constexpr (std::is_same_v<T, cc::Send>)
          return "chat.send";
        else if constexpr (std::is_same_v<T, cc::JumpToLatest>)
          return "chat.jump-to-latest";
        else if constexpr (std::is_same_v<T, cc::ComposerEmoji>)
          return "chat.composer-emoji";
        else if constexpr (std::is_same_v<T, cc::Attach>)
          return "chat.attach";
        else if constexpr (std::is_same_v<T, cc::AttachPick>)
          return "chat.attach-pick:" + std::to_string(c.index);
        else if constexpr (std::is_same_v<T, cc::StartCall>)
          return "chat.start-call";
        else if constexpr (std::is_same_v<T, cc::CloseThread>)
          return "chat.close-thread";
        else if constexpr (std::is_same_v<T, cc::CallParticipantsToggle>)
          return "chat.call-participants";
        else if constexpr (std::is_same_v<T, cc::CallMute>)
          return "chat.call-mute";
        else if constexpr (std::is_same_v<T, cc::CallDeafen>)
          return "chat.call-deafen";
        else if constexpr (std::is_same_v<T, cc::CallAudioOnly>)
          return "chat.call-audio-only";
        else if constexpr (std::is_same_v<T, cc::CallShareScreen>)
          return "chat.call-share-screen";
        else if constexpr (std::is_same_v<T, cc::CallExpand>)
          return "chat.call-expand";
        else if constexpr (std::is_same_v<T, cc::CallLeave>)
          return "chat.call-leave";
        else if constexpr (std::is_same_v<T, cc::ToggleLeftFlap>)
          return "chat.toggle-navigation";
        else if constexpr (std::is_same_v<T, cc::ToggleRightFlap>)
          return "chat.toggle-details";
        else
          return "chat.control:" +
                 control_debug_text(control);  // MessageMenu, CallDragHandle, Dismiss
      },
      control);
}

std::optional<std::string> accessible_label(const ChatControl& control,
                                            const ControlLabelContext& ctx) {
  return std::visit(
      [&](const auto& c) -> std::optional<std::string> {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, cc::Inbox>) {
          std::uint64_t unread = 0;
          if (ctx.channels) {
            for (const auto& ch : *ctx.channels) unread += ch.unread;
          }
          return unread > 0 ? "Inbox, " + std::to_string(unread) + " unread" : "Inbox";
        } else if constexpr (std::is_same_v<T, cc::CurrentContext>) {
          const Workspace* ws = find_workspace(ctx, ctx.context_workspace);
          return (ws && !trim_text(ws->name).empty() ? ws->name
                                                     : std::string("Current workspace")) +
                 " channels, current workspace";
        } else if constexpr (std::is_same_v<T, cc::Channel>) {
          return channel_control_label(ctx, c.id, ChannelKind::Text);
        } else if constexpr (std::is_same_v<T, cc::VoiceChannel>) {
          return channel_control_label(ctx, c.id, ChannelKind::Voice);
        } else if constexpr (std::is_same_v<T, cc::CategoryToggle>) {
          bool collapsed = false;
          if (ctx.categories) {
            for (const auto& cat : *ctx.categories) {
              if (cat.id == c.id) collapsed = cat.collapsed;
            }
          }
          return collapsed ? "Expand" : "Collapse";
        } else if constexpr (std::is_same_v<T, cc::AddChannel>)
          return "Add channel";
        else if constexpr (std::is_same_v<T, cc::AddCategory>)
          return "Add category";
        else if constexpr (std::is_same_v<T, cc::FocusRename>)
          return "Rename field";
        else if constexpr (std::is_same_v<T, cc::Reaction>) {
          const bool mine = ctx.local_user_reacted && ctx.local_user_reacted(c.msg, c.emoji);
          return std::string(mine ? "Remove " : "Add ") + c.emoji + " reaction";
        } else if constexpr (std::is_same_v<T, cc::AddReaction>)
          return "Add reaction";
        else if constexpr (std::is_same_v<T, cc::OpenThread>)
          return "Open message thread";
        else if constexpr (std::is_same_v<T, cc::EditHistory>)
          return "Show edit history";
        else if constexpr (std::is_same_v<T, cc::EditSave>)
          return "Save message edit";
        else if constexpr (std::is_same_v<T, cc::EditCancel>)
          return "Cancel message edit";
        else if constexpr (std::is_same_v<T, cc::FocusEdit>)
          return "Edit message";
        else if constexpr (std::is_same_v<T, cc::EmojiChoice>)
          return "Choose " + c.emoji;
        else if constexpr (std::is_same_v<T, cc::FocusMain>)
          return "Message composer";
        else if constexpr (std::is_same_v<T, cc::FocusThread>)
          return "Thread reply composer";
        else if constexpr (std::is_same_v<T, cc::Send>)
          return "Send message";
        else if constexpr (std::is_same_v<T, cc::JumpToLatest>)
          return "Jump to latest message";
        else if constexpr (std::is_same_v<T, cc::ComposerEmoji>)
          return "Insert emoji";
        else if constexpr (std::is_same_v<T, cc::Attach>)
          return "Attach a workspace file";
        else if constexpr (std::is_same_v<T, cc::AttachPick>) {
          std::optional<std::string> name;
          if (ctx.attach_candidate_name) name = ctx.attach_candidate_name(c.index);
          return "Attach " + name.value_or("file");
        } else if constexpr (std::is_same_v<T, cc::StartCall>)
          return "Start or open call";
        else if constexpr (std::is_same_v<T, cc::CloseThread>)
          return "Close thread";
        else if constexpr (std::is_same_v<T, cc::CallParticipantsToggle>)
          return "Show call participants";
        else if constexpr (std::is_same_v<T, cc::CallMute>)
          return "Mute microphone";
        else if constexpr (std::is_same_v<T, cc::CallDeafen>)
          return "Deafen call audio";
        else if constexpr (std::is_same_v<T, cc::CallAudioOnly>)
          return "Turn camera off";
        else if constexpr (std::is_same_v<T, cc::CallShareScreen>)
          return "Share screen";
        else if constexpr (std::is_same_v<T, cc::CallExpand>)
          return "Expand or restore call";
        else if constexpr (std::is_same_v<T, cc::CallLeave>)
          return "Leave call";
        else if constexpr (std::is_same_v<T, cc::ToggleLeftFlap>)
          return "Show conversation navigation";
        else if constexpr (std::is_same_v<T, cc::ToggleRightFlap>)
          return "Show people or thread";
        else
          return std::nullopt;  // MessageMenu, CallDragHandle, Dismiss
      },
      control);
}

}  // namespace chat
