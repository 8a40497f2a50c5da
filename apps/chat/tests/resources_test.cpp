#include "actions/resources.hpp"

#include <gtest/gtest.h>

#include "actions/chat_action_format.hpp"
#include "actions/dispatch.hpp"
#include "resources_fixture.hpp"

namespace chat {
namespace {

using testing::fixture_chat;
using testing::kNow;
using vesk_actions::ActionArgs;
using vesk_actions::OperationType;
using vesk_actions::Resource;
namespace ca = chat_action;
namespace co = chat_operation;

ResourceContext context_for(const ChatReader& reader, std::string conversation = "ws_1") {
  return ResourceContext{reader, "u_me", std::move(conversation), [] { return kNow; },
                         testing::counting_uuid()};
}

Resource must_resolve(const ResourceContext& ctx, std::string_view address) {
  auto r = resolve_address(ctx, address);
  EXPECT_TRUE(r) << address;
  return r ? *r : Resource({"none", ""}, "");
}

// Resolves the address and encodes one of its actions with an optional text.
vesk_actions::EncodedAction encode_via(const ResourceContext& ctx, std::string_view address,
                                       std::string_view name,
                                       const std::optional<std::string>& value) {
  const auto resource = must_resolve(ctx, address);
  const auto* spec = resource.find_action(name);
  EXPECT_TRUE(spec) << address << " " << name;
  if (!spec) return {};
  ActionArgs args;
  if (value) args.set("value", *value);
  return spec->encode(args);
}

std::vector<std::string> action_names(const Resource& r) {
  std::vector<std::string> out;
  for (const auto& a : r.actions()) out.push_back(a.name());
  return out;
}

TEST(ResourceLabels, FollowTheNamingRules) {
  const auto chat = fixture_chat();
  const auto ctx = context_for(chat);
  const std::pair<std::string, std::string> cases[] = {
      {"chat.workspace:ws_1", "Acme"},       {"chat.workspace:ws_2", "Workspace"},
      {"chat.channel:c_gen", "# general"},   {"chat.channel:c_blank", "# channel"},
      {"chat.channel:c_voice", "🔊 lounge"},  {"chat.call:c_voice", "Call: 🔊 lounge"},
      {"chat.category:cat_soc", "Social"},   {"chat.people", "People"},
      {"chat.person:u_bot", "Helper"},       {"chat.message:m_1", "Ann: hello world"},
      {"chat.message:m_2", "Me: photo.png"}, {"chat.message:m_3", "u_ghost: Attachment"},
      {"chat.attachment:m_2", "photo.png"},  {"chat.reaction:m_1:👍", "👍 · 2"},
      {"chat.reaction:m_1:🎉", "🎉 · 1"},
  };
  for (const auto& [address, label] : cases) {
    const auto r = must_resolve(ctx, address);
    EXPECT_EQ(r.label(), label) << address;
    EXPECT_EQ(r.address().encode(), address);
  }
  Message long_text;
  long_text.author = "u_ann";
  long_text.text =
      std::string(28, 'x') + std::string(36, 'y') + "é" + std::string(35, 'z');  // 100 chars
  const std::string expected =
      "Ann: " + std::string(28, 'x') + std::string(36, 'y') + "é" + std::string(7, 'z');
  EXPECT_EQ(message_label(long_text, chat.person_list), expected);
}

TEST(ResourceResolution, UnknownOrDeletedObjectsResolveToNone) {
  auto chat = fixture_chat();
  const auto ctx = context_for(chat);
  for (const char* address :
       {"chat.workspace:ws_9", "chat.channel:c_gone", "chat.category:cat_9", "chat.person:u_9",
        "chat.call:c_gen", "chat.attachment:m_1", "chat.reaction:m_1:🚀", "chat.reaction:m_1",
        "chat.message:m_9", "chat.unknown:x", "chat.peoples", "", "chat.channel"}) {
    EXPECT_FALSE(resolve_address(ctx, address)) << address;
  }
  EXPECT_TRUE(resolve_address(ctx, "chat.channel:c_other"));
  chat.channel_list.pop_back();  // c_other deleted
  EXPECT_FALSE(resolve_address(ctx, "chat.channel:c_other"));
}

struct SpecRow {
  std::string address;
  std::vector<std::string> names;
};

TEST(ResourceActions, EachKindOffersItsActionsInOrderUnderItsConditions) {
  auto chat = fixture_chat();
  const auto ctx = context_for(chat);
  const SpecRow rows[] = {
      {"chat.workspace:ws_1", {"open", "new-channel", "new-category"}},
      {"chat.channel:c_gen",
       {"open", "post", "attach", "rename", "archive", "mark-read", "delete"}},
      {"chat.channel:c_blank",
       {"open", "post", "attach", "rename", "unarchive", "mark-read", "delete"}},
      {"chat.category:cat_eng", {"open", "rename", "collapse", "delete"}},
      {"chat.category:cat_soc", {"open", "rename", "expand", "delete"}},
      {"chat.person:u_ann", {"open"}},
      {"chat.call:c_voice", {"open", "leave", "mute", "undeafen", "audio-only"}},
      {"chat.message:m_1", {"open", "edit", "react", "pin", "delete"}},
      {"chat.message:m_2", {"open", "edit", "react", "unpin", "delete"}},
      {"chat.reaction:m_1:👍", {"open-message", "remove"}},
      {"chat.reaction:m_1:🎉", {"open-message", "add"}},
      {"chat.attachment:m_2", {"open-message"}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(action_names(must_resolve(ctx, row.address)), row.names) << row.address;

  chat.participants_by_channel["c_voice"] = {};
  EXPECT_EQ(action_names(must_resolve(ctx, "chat.call:c_voice")),
            (std::vector<std::string>{"open", "join"}));
  VoiceParticipant p;
  p.user = "u_me";
  p.muted = true;
  p.audio_only = true;
  chat.participants_by_channel["c_voice"] = {p};
  EXPECT_EQ(action_names(must_resolve(ctx, "chat.call:c_voice")),
            (std::vector<std::string>{"open", "leave", "unmute", "deafen", "enable-camera"}));
}

TEST(ResourceActions, LabelsParametersAndDestructiveMarks) {
  const auto chat = fixture_chat();
  const auto ctx = context_for(chat);
  struct Row {
    std::string address, name, label, param_label, param_text;
    bool is_default, destructive;
  };
  const Row rows[] = {
      {"chat.workspace:ws_1", "open", "Open workspace", "", "", false, false},
      {"chat.workspace:ws_1", "new-channel", "New channel", "Name", "channel name…", false, false},
      {"chat.workspace:ws_1", "new-category", "New category", "Name", "category name…", false,
       false},
      {"chat.channel:c_gen", "open", "Open conversation", "", "", false, false},
      {"chat.channel:c_gen", "post", "Post message", "Message", "type a message…", false, false},
      {"chat.channel:c_gen", "attach", "Attach file", "File path", "/var/workspace/report.pdf",
       true, false},
      {"chat.channel:c_gen", "rename", "Rename channel", "Name", "channel name…", false, false},
      {"chat.channel:c_gen", "archive", "Archive channel", "", "", false, false},
      {"chat.channel:c_blank", "unarchive", "Unarchive channel", "", "", false, false},
      {"chat.channel:c_gen", "mark-read", "Mark as read", "", "", false, false},
      {"chat.channel:c_gen", "delete", "Delete channel", "", "", false, true},
      {"chat.category:cat_eng", "open", "Open category", "", "", false, false},
      {"chat.category:cat_eng", "rename", "Rename category", "Name", "category name…", false,
       false},
      {"chat.category:cat_eng", "collapse", "Collapse category", "", "", false, false},
      {"chat.category:cat_soc", "expand", "Expand category", "", "", false, false},
      {"chat.category:cat_eng", "delete", "Delete category", "", "", false, true},
      {"chat.person:u_ann", "open", "Open person", "", "", false, false},
      {"chat.call:c_voice", "open", "Open call conversation", "", "", false, false},
      {"chat.call:c_voice", "leave", "Leave call", "", "", false, false},
      {"chat.call:c_voice", "mute", "Mute", "", "", false, false},
      {"chat.call:c_voice", "undeafen", "Undeafen", "", "", false, false},
      {"chat.call:c_voice", "audio-only", "Audio only", "", "", false, false},
      {"chat.message:m_1", "open", "Reveal message", "", "", false, false},
      {"chat.message:m_1", "edit", "Edit message", "Message", "new text…", false, false},
      {"chat.message:m_1", "react", "Add reaction", "Emoji", "👍", true, false},
      {"chat.message:m_1", "pin", "Pin message", "", "", false, false},
      {"chat.message:m_2", "unpin", "Unpin message", "", "", false, false},
      {"chat.message:m_1", "delete", "Delete message", "", "", false, true},
      {"chat.reaction:m_1:👍", "open-message", "Reveal message", "", "", false, false},
      {"chat.reaction:m_1:👍", "remove", "Remove my reaction", "", "", false, false},
      {"chat.reaction:m_1:🎉", "add", "Add my reaction", "", "", false, false},
      {"chat.attachment:m_2", "open-message", "Reveal shared message", "", "", false, false},
  };
  int destructive = 0;
  for (const auto& row : rows) {
    const auto r = must_resolve(ctx, row.address);
    const auto* spec = r.find_action(row.name);
    ASSERT_TRUE(spec) << row.address << " " << row.name;
    EXPECT_EQ(spec->label(), row.label);
    EXPECT_EQ(spec->is_destructive(), row.destructive) << row.name;
    destructive += spec->is_destructive();
    if (row.param_label.empty()) {
      EXPECT_FALSE(spec->parameter()) << row.name;
    } else {
      ASSERT_TRUE(spec->parameter()) << row.name;
      EXPECT_EQ(spec->parameter()->key, "value");
      EXPECT_EQ(spec->parameter()->label, row.param_label);
      EXPECT_EQ(spec->parameter()->placeholder, row.param_text);
      EXPECT_EQ(spec->parameter()->is_default, row.is_default) << row.name;
    }
  }
  EXPECT_EQ(destructive, 3);
}

struct EncoderRow {
  std::string address, name;
  std::optional<std::string> value;
  ChatAction expected;
};

TEST(ResourceEncoders, ActionsEncodeTheirChatAction) {
  const auto chat = fixture_chat();
  const std::string uuid(32, '7');
  const EncoderRow rows[] = {
      {"chat.workspace:ws_1", "new-channel", "  design  ",
       ca::CreateChannel{"ws_1", "", "c_" + uuid, "design", ChannelKind::Text}},
      {"chat.workspace:ws_1", "new-channel", std::nullopt,
       ca::CreateChannel{"ws_1", "", "c_" + uuid, "new-channel", ChannelKind::Text}},
      {"chat.workspace:ws_1", "new-category", " ",
       ca::CreateCategory{"ws_1", "cat_" + uuid, "New Category"}},
      {"chat.channel:c_gen", "post", " hi @Ann ",
       ca::SendMessage{"c_gen",
                       "m_" + uuid,
                       "u_me",
                       kNow,
                       " hi @Ann ",
                       std::nullopt,
                       std::nullopt,
                       {Mention{"u_ann", 4, 4, false}},
                       std::nullopt}},
      // Names match whatever their case; an agent's mention says so.
      {"chat.channel:c_gen", "post", "@helper, ask @Ann.",
       ca::SendMessage{"c_gen",
                       "m_" + uuid,
                       "u_me",
                       kNow,
                       "@helper, ask @Ann.",
                       std::nullopt,
                       std::nullopt,
                       {Mention{"u_bot", 0, 7, true}, Mention{"u_ann", 13, 4, false}},
                       std::nullopt}},
      // An "@" inside a word, or a name running on into more letters, is none.
      {"chat.channel:c_gen", "post", "ann@Ann @Anne",
       ca::SendMessage{"c_gen",
                       "m_" + uuid,
                       "u_me",
                       kNow,
                       "ann@Ann @Anne",
                       std::nullopt,
                       std::nullopt,
                       {},
                       std::nullopt}},
      {"chat.channel:c_gen", "rename", "  news ", ca::RenameChannel{"c_gen", "news"}},
      {"chat.channel:c_gen", "rename", "   ", ca::RenameChannel{"c_gen", ""}},
      {"chat.channel:c_gen", "archive", std::nullopt, ca::ArchiveChannel{"c_gen", true}},
      {"chat.channel:c_blank", "unarchive", std::nullopt, ca::ArchiveChannel{"c_blank", false}},
      {"chat.channel:c_gen", "mark-read", std::nullopt, ca::MarkRead{"c_gen", "u_me", 3}},
      {"chat.channel:c_gen", "delete", std::nullopt, ca::DeleteChannel{"c_gen"}},
      {"chat.category:cat_eng", "rename", " Eng ", ca::RenameCategory{"cat_eng", "Eng"}},
      {"chat.category:cat_eng", "collapse", std::nullopt,
       ca::SetCategoryCollapsed{"cat_eng", true}},
      {"chat.category:cat_soc", "expand", std::nullopt, ca::SetCategoryCollapsed{"cat_soc", false}},
      {"chat.category:cat_eng", "delete", std::nullopt, ca::DeleteCategory{"cat_eng"}},
      {"chat.call:c_voice", "leave", std::nullopt, ca::LeaveCall{"c_voice", "u_me"}},
      {"chat.call:c_voice", "mute", std::nullopt,
       ca::SetCallState{"c_voice", "u_me", false, true, true, false}},
      {"chat.call:c_voice", "undeafen", std::nullopt,
       ca::SetCallState{"c_voice", "u_me", true, false, false, false}},
      {"chat.call:c_voice", "audio-only", std::nullopt,
       ca::SetCallState{"c_voice", "u_me", true, false, true, true}},
      {"chat.message:m_1", "edit", " new ", ca::EditMessage{"c_gen", "m_1", " new ", kNow}},
      {"chat.message:m_1", "react", " 🎉 ", ca::AddReaction{"c_gen", "m_1", "🎉", "u_me"}},
      {"chat.message:m_1", "pin", std::nullopt, ca::PinMessage{"c_gen", "m_1", true}},
      {"chat.message:m_2", "unpin", std::nullopt, ca::PinMessage{"c_gen", "m_2", false}},
      {"chat.message:m_1", "delete", std::nullopt, ca::DeleteMessage{"c_gen", "m_1"}},
      {"chat.reaction:m_1:👍", "remove", std::nullopt,
       ca::RemoveReaction{"c_gen", "m_1", "👍", "u_me"}},
      {"chat.reaction:m_1:🎉", "add", std::nullopt, ca::AddReaction{"c_gen", "m_1", "🎉", "u_me"}},
  };
  for (const auto& row : rows) {
    auto ctx = context_for(chat);
    ctx.new_uuid = [&] { return uuid; };
    const auto encoded = encode_via(ctx, row.address, row.name, row.value);
    EXPECT_EQ(encoded.kind, "chat.action");
    EXPECT_FALSE(encoded.operation_type);
    auto decoded = decode_chat_action(encoded.payload);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(decoded.value(), row.expected)
        << row.address << " " << row.name << ": " << encoded.payload;
  }
}

TEST(ResourceEncoders, OperationsEncodeTheirTypeAndTarget) {
  const auto chat = fixture_chat();
  const auto ctx = context_for(chat);
  struct Row {
    std::string address, name;
    std::optional<std::string> value;
    ChatOperation expected;
    OperationType type;
  };
  const Row rows[] = {
      {"chat.workspace:ws_1", "open", std::nullopt, co::OpenWorkspace{"ws_1"}, OperationType::View},
      {"chat.channel:c_gen", "open", std::nullopt, co::OpenChannel{"ws_1", "c_gen"},
       OperationType::View},
      {"chat.channel:c_gen", "attach", "  /var/workspace/a.pdf ",
       co::ImportAttachment{"c_gen", "/var/workspace/a.pdf"}, OperationType::Effect},
      {"chat.category:cat_soc", "open", std::nullopt, co::OpenCategory{"ws_1", "cat_soc"},
       OperationType::View},
      {"chat.person:u_bot", "open", std::nullopt, co::OpenPerson{"u_bot"}, OperationType::View},
      {"chat.call:c_voice", "open", std::nullopt, co::OpenChannel{"ws_1", "c_voice"},
       OperationType::View},
      {"chat.message:m_4", "open", std::nullopt, co::RevealMessage{"ws_1", "c_gen", "m_4", "m_1"},
       OperationType::View},
      {"chat.reaction:m_1:👍", "open-message", std::nullopt,
       co::RevealMessage{"ws_1", "c_gen", "m_1", std::nullopt}, OperationType::View},
      {"chat.attachment:m_2", "open-message", std::nullopt,
       co::RevealMessage{"ws_1", "c_gen", "m_2", std::nullopt}, OperationType::View},
  };
  for (const auto& row : rows) {
    const auto encoded = encode_via(ctx, row.address, row.name, row.value);
    EXPECT_EQ(encoded.kind, "chat.operation");
    EXPECT_EQ(encoded.operation_type, row.type) << row.address;
    auto decoded = decode_chat_operation(encoded.payload);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(decoded.value(), row.expected) << row.address << " " << encoded.payload;
  }
}

TEST(ResourceTree, WorkspacesChildrenAndPeopleInOrder) {
  const auto chat = fixture_chat();
  const auto roots = resource_roots(context_for(chat, "ws_2"));
  ASSERT_EQ(roots.size(), 3u);
  EXPECT_EQ(roots[0].address().encode(), "chat.workspace:ws_2");  // the conversation's first
  EXPECT_EQ(roots[1].address().encode(), "chat.workspace:ws_1");
  std::vector<std::string> children;
  for (const auto& c : roots[1].children()) children.push_back(c.address().encode());
  EXPECT_EQ(children, (std::vector<std::string>{"chat.channel:c_gen", "chat.channel:c_voice",
                                                "chat.channel:c_blank", "chat.category:cat_soc",
                                                "chat.category:cat_eng"}));
  ASSERT_EQ(roots[1].children()[1].children().size(), 1u);
  EXPECT_EQ(roots[1].children()[1].children()[0].address().encode(), "chat.call:c_voice");
  EXPECT_EQ(roots[2].address().encode(), "chat.people");
  ASSERT_EQ(roots[2].children().size(), 3u);
  EXPECT_EQ(action_names(roots[2].children()[0]), std::vector<std::string>{"open"});
  // A message resource holds its attachment, then its reactions in order.
  const auto m1 = must_resolve(context_for(chat), "chat.message:m_1");
  ASSERT_EQ(m1.children().size(), 2u);
  EXPECT_EQ(m1.children()[0].address().id, "m_1:👍");
  EXPECT_EQ(must_resolve(context_for(chat), "chat.message:m_2").children()[0].address().kind,
            "chat.attachment");
}

TEST(ResourceTree, OneSharedBudgetAndAtMostEightWorkspaces) {
  ChatSnapshot chat;
  for (int w = 0; w < 10; ++w) {
    chat.workspace_list.push_back(
        {"ws_" + std::to_string(w), "W" + std::to_string(w), "", 0, static_cast<std::uint32_t>(w)});
  }
  for (int c = 0; c < 80; ++c) {
    chat.channel_list.push_back({"c_" + std::to_string(c), "ws_3", "", "ch", "", ChannelKind::Text,
                                 static_cast<std::uint32_t>(80 - c), 0, false});
  }
  chat.category_list.push_back({"cat_x", "ws_3", "X", 0, false});
  for (int p = 0; p < 30; ++p)
    chat.person_list.push_back({"u_" + std::to_string(p), "P", "", 0, PersonStatus::Online, false});

  auto roots = resource_roots(context_for(chat, "ws_3"));
  ASSERT_EQ(roots.size(), 2u);  // the one workspace, then the people
  EXPECT_EQ(roots[0].address().id, "ws_3");
  ASSERT_EQ(roots[0].children().size(), 71u);
  EXPECT_EQ(roots[0].children()[0].address().id, "c_79");  // ascending channel order
  for (const auto& c : roots[0].children()) EXPECT_EQ(c.address().kind, "chat.channel");
  EXPECT_EQ(roots[1].children().size(), 23u);

  chat.channel_list.clear();
  roots = resource_roots(context_for(chat, "ws_3"));
  ASSERT_EQ(roots.size(), 9u);  // eight workspaces, never a ninth
  EXPECT_EQ(roots[0].address().id, "ws_3");
  EXPECT_EQ(roots[0].children().size(), 1u);
  EXPECT_EQ(roots[7].address().id, "ws_7");
}

TEST(TypedActionLabels, EveryVariantHasItsLabelAndResource) {
  struct Row {
    ChatAction action;
    std::string label, resource;
  };
  AgentWork work{};
  const Row rows[] = {
      {ca::SendMessage{"c", "m_1", "u", 0, "t", {}, {}, {}, {}}, "Send message",
       "chat.message:m_1"},
      {ca::EditMessage{"c", "m_1", "t", 0}, "Edit message", "chat.message:m_1"},
      {ca::DeleteMessage{"c", "m_1"}, "Delete message", "chat.message:m_1"},
      {ca::AddReaction{"c", "m_2", "👍", "u"}, "Add reaction", "chat.message:m_2"},
      {ca::RemoveReaction{"c", "m_2", "👍", "u"}, "Remove reaction", "chat.message:m_2"},
      {ca::PinMessage{"c", "m_3", true}, "Pin message", "chat.message:m_3"},
      {ca::PinMessage{"c", "m_3", false}, "Unpin message", "chat.message:m_3"},
      {ca::CreateChannel{"w", "", "c_1", "n", ChannelKind::Text}, "Create channel",
       "chat.channel:c_1"},
      {ca::CreateCategory{"w", "cat_1", "n"}, "Create category", "chat.category:cat_1"},
      {ca::RenameCategory{"cat_1", "n"}, "Rename category", "chat.category:cat_1"},
      {ca::DeleteCategory{"cat_1"}, "Delete category", "chat.category:cat_1"},
      {ca::SetCategoryCollapsed{"cat_1", true}, "Collapse category", "chat.category:cat_1"},
      {ca::SetCategoryCollapsed{"cat_1", false}, "Expand category", "chat.category:cat_1"},
      {ca::ReorderChannel{"c_1", true}, "Move channel up", "chat.channel:c_1"},
      {ca::ReorderChannel{"c_1", false}, "Move channel down", "chat.channel:c_1"},
      {ca::RenameChannel{"c_1", "n"}, "Rename channel", "chat.channel:c_1"},
      {ca::DeleteChannel{"c_1"}, "Delete channel", "chat.channel:c_1"},
      {ca::ArchiveChannel{"c_1", true}, "Archive channel", "chat.channel:c_1"},
      {ca::ArchiveChannel{"c_1", false}, "Unarchive channel", "chat.channel:c_1"},
      {ca::MarkRead{"c_2", "u", 3}, "Mark channel read", "chat.channel:c_2"},
      {ca::SetAgentWork{"c", "m_4", work, {}}, "Update agent work", "chat.message:m_4"},
      {ca::JoinCall{"c_v", "u"}, "Join call", "chat.call:c_v"},
      {ca::LeaveCall{"c_v", "u"}, "Leave call", "chat.call:c_v"},
      {ca::SetCallState{"c_v", "u", false, true, false, false}, "Update call state",
       "chat.call:c_v"},
      {ca::SetScreenShare{"c_v", "u", true}, "Start presenting", "chat.call:c_v"},
      {ca::SetScreenShare{"c_v", "u", false}, "Stop presenting", "chat.call:c_v"},
      {ca::SetCallTicket{"c_v", "u", "t"}, "Update call connection", "chat.call:c_v"},
  };
  std::set<std::size_t> variants;
  for (const auto& row : rows) {
    variants.insert(row.action.index());
    const auto label = typed_action_label(row.action);
    EXPECT_EQ(label.label, row.label);
    EXPECT_EQ(label.resource.encode(), row.resource) << row.label;
    const auto record = typed_action_record("dev.vesk.cht", row.action);
    EXPECT_EQ(record.app_name, "Chat");
    EXPECT_EQ(record.app_id, "dev.vesk.cht");
    EXPECT_EQ(record.value, encode_chat_action(row.action));
    EXPECT_EQ(record.resource_label,
              label.resource.kind == "chat.message" ? "Message" : label.resource.id);
    EXPECT_EQ(typed_action_label_of_value(record.value).label, row.label);
  }
  EXPECT_EQ(variants.size(), ChatAction::kVariantCount);
  EXPECT_EQ(typed_action_label_of_value(R"({"ShuffleChannels":{"seed":1}})").label,
            "Shuffle channels");
  EXPECT_EQ(typed_action_label_of_value(R"({"A":{},"B":{}})").label, "Update");
  EXPECT_EQ(typed_action_label_of_value("\"MarkRead\"").label, "Update");
  EXPECT_EQ(typed_action_label_of_value("not json").label, "Update");
}

}  // namespace
}  // namespace chat
