#include "actions/chat_control.hpp"

#include <gtest/gtest.h>

#include <set>

#include "resources_fixture.hpp"

namespace chat {
namespace {

namespace cc = chat_control;

struct Row {
  ChatControl control;
  std::string name;
  std::optional<std::string> label;
};

TEST(ChatControl, SemanticNamesAndLabelsOfEveryVariant) {
  auto chat = testing::fixture_chat();
  chat.channel_list[0].unread = 3;
  ControlLabelContext ctx;
  ctx.workspaces = &chat.workspace_list;
  ctx.channels = &chat.channel_list;
  ctx.categories = &chat.category_list;
  ctx.context_workspace = "ws_1";
  ctx.local_user_reacted = [](std::string_view msg, std::string_view emoji) {
    return msg == "m_1" && emoji == "👍";
  };
  ctx.attach_candidate_name = [](std::size_t i) -> std::optional<std::string> {
    if (i == 0) return "report.pdf";
    return std::nullopt;
  };
  const Anchor at{10, 20};
  const Row rows[] = {
      {cc::Inbox{}, "chat.inbox", "Inbox, 3 unread"},
      {cc::CurrentContext{}, "chat.current-context", "  Acme   channels, current workspace"},
      {cc::Channel{"c_gen"}, "chat.channel:c_gen", "# general, 3 unread"},
      {cc::VoiceChannel{"c_voice"}, "chat.voice-channel:c_voice", "🔊 lounge"},
      {cc::CategoryToggle{"cat_soc"}, "chat.category-toggle:cat_soc", "Expand"},
      {cc::AddChannel{"ws_1", "cat_eng"}, "chat.add-channel:ws_1:cat_eng", "Add channel"},
      {cc::AddCategory{"ws_1"}, "chat.add-category:ws_1", "Add category"},
      {cc::FocusRename{}, "chat.rename", "Rename field"},
      {cc::Reaction{"m_1", "👍"}, "chat.reaction:m_1:👍", "Remove 👍 reaction"},
      {cc::AddReaction{"m_1", at}, "chat.add-reaction:m_1", "Add reaction"},
      {cc::OpenThread{"m_1"}, "chat.open-thread:m_1", "Open message thread"},
      {cc::EditHistory{"m_1", at}, "chat.edit-history:m_1", "Show edit history"},
      {cc::MessageMenu{"m_1"}, "chat.control:MessageMenu { msg: \"m_1\" }", std::nullopt},
      {cc::EditSave{}, "chat.edit-save", "Save message edit"},
      {cc::EditCancel{}, "chat.edit-cancel", "Cancel message edit"},
      {cc::FocusEdit{}, "chat.message-edit", "Edit message"},
      {cc::EmojiChoice{"🎉"}, "chat.emoji-choice:🎉", "Choose 🎉"},
      {cc::FocusMain{}, "chat.composer", "Message composer"},
      {cc::FocusThread{}, "chat.thread-composer", "Thread reply composer"},
      {cc::Send{}, "chat.send", "Send message"},
      {cc::JumpToLatest{}, "chat.jump-to-latest", "Jump to latest message"},
      {cc::ComposerEmoji{true, at}, "chat.composer-emoji", "Insert emoji"},
      {cc::Attach{}, "chat.attach", "Attach a workspace file"},
      {cc::AttachPick{0}, "chat.attach-pick:0", "Attach report.pdf"},
      {cc::StartCall{}, "chat.start-call", "Start or open call"},
      {cc::CloseThread{}, "chat.close-thread", "Close thread"},
      {cc::CallDragHandle{}, "chat.control:CallDragHandle", std::nullopt},
      {cc::CallParticipantsToggle{}, "chat.call-participants", "Show call participants"},
      {cc::CallMute{}, "chat.call-mute", "Mute microphone"},
      {cc::CallDeafen{}, "chat.call-deafen", "Deafen call audio"},
      {cc::CallAudioOnly{}, "chat.call-audio-only", "Turn camera off"},
      {cc::CallShareScreen{}, "chat.call-share-screen", "Share screen"},
      {cc::CallExpand{}, "chat.call-expand", "Expand or restore call"},
      {cc::CallLeave{}, "chat.call-leave", "Leave call"},
      {cc::ToggleLeftFlap{}, "chat.toggle-navigation", "Show conversation navigation"},
      {cc::ToggleRightFlap{}, "chat.toggle-details", "Show people or thread"},
      {cc::Dismiss{}, "chat.control:Dismiss", std::nullopt},
  };
  std::set<std::size_t> variants;
  std::set<std::string> names;
  for (const auto& row : rows) {
    variants.insert(row.control.index());
    EXPECT_EQ(semantic_name(row.control), row.name);
    EXPECT_EQ(accessible_label(row.control, ctx), row.label) << row.name;
    names.insert(semantic_name(row.control));
  }
  EXPECT_EQ(variants.size(), kChatControlCount);
  EXPECT_EQ(kChatControlCount, 37u);
  EXPECT_EQ(names.size(), kChatControlCount);  // no two controls share a name
}

TEST(ChatControl, LabelsFollowTheStateTheyDescribe) {
  auto chat = testing::fixture_chat();
  ControlLabelContext ctx;
  ctx.workspaces = &chat.workspace_list;
  ctx.channels = &chat.channel_list;
  ctx.categories = &chat.category_list;
  ctx.context_workspace = "ws_gone";
  EXPECT_EQ(accessible_label(cc::Inbox{}, ctx), "Inbox");
  EXPECT_EQ(accessible_label(cc::CurrentContext{}, ctx),
            "Current workspace channels, current workspace");
  EXPECT_EQ(accessible_label(cc::CategoryToggle{"cat_eng"}, ctx), "Collapse");
  EXPECT_EQ(accessible_label(cc::Reaction{"m_1", "👍"}, ctx), "Add 👍 reaction");
  EXPECT_EQ(accessible_label(cc::AttachPick{4}, ctx), "Attach file");

  // While the Inbox is shown a channel names its workspace.
  ctx.inbox_shown = true;
  chat.channel_list[0].unread = 3;
  EXPECT_EQ(accessible_label(cc::Channel{"c_gen"}, ctx), "# general, from   Acme  , 3 unread");
  EXPECT_EQ(accessible_label(cc::Channel{"c_other"}, ctx), "# random, from Vesk workspace");
}

TEST(ChatControl, DebugTextQuotesTheMessageId) {
  EXPECT_EQ(control_debug_text(cc::MessageMenu{"m_\"x\\"}), "MessageMenu { msg: \"m_\\\"x\\\\\" }");
  EXPECT_EQ(control_debug_text(cc::Dismiss{}), "Dismiss");
  EXPECT_EQ(control_variant_name(cc::CallParticipantsToggle{}), "CallParticipantsToggle");
}

}  // namespace
}  // namespace chat
