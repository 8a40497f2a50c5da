#include "actions/resources.hpp"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "actions/chat_action_format.hpp"
#include "actions/chat_control.hpp"
#include "actions/mentions.hpp"
#include "base/random.hpp"
#include "doc/access.hpp"
#include "doc/projection.hpp"
#include "doc/schema.hpp"
#include "model/clock.hpp"

namespace chat {

using vesk_actions::ActionAddress;
using vesk_actions::ActionArgs;
using vesk_actions::ActionSpec;
using vesk_actions::EncodedAction;
using vesk_actions::OperationType;
using vesk_actions::Resource;

std::vector<std::string> ChatReader::message_ids(std::string_view channel) const {
  std::vector<std::string> out;
  for (auto& m : messages(channel)) out.push_back(std::move(m.id));
  return out;
}

std::vector<Message> ChatSnapshot::messages(std::string_view channel) const {
  auto it = messages_by_channel.find(channel);
  return it == messages_by_channel.end() ? std::vector<Message>{} : it->second;
}

std::optional<Message> ChatSnapshot::find_message(std::string_view id) const {
  for (const auto& [_, list] : messages_by_channel) {
    for (const auto& m : list) {
      if (m.id == id) return m;
    }
  }
  return std::nullopt;
}

std::vector<VoiceParticipant> ChatSnapshot::participants(std::string_view channel) const {
  auto it = participants_by_channel.find(channel);
  return it == participants_by_channel.end() ? std::vector<VoiceParticipant>{} : it->second;
}

std::vector<Workspace> DocumentChatReader::workspaces() const {
  return doc::list_workspaces(doc_->doc());
}
std::vector<Category> DocumentChatReader::categories() const {
  return doc::list_categories(doc_->doc());
}
std::vector<Channel> DocumentChatReader::channels() const {
  return doc::list_channels(doc_->doc());
}
std::vector<Person> DocumentChatReader::people() const {
  return doc::list_persons(doc_->doc());
}

std::vector<Message> DocumentChatReader::messages(std::string_view channel) const {
  return doc::list_messages(doc_->doc(), channel);
}

std::optional<Message> DocumentChatReader::find_message(std::string_view id) const {
  auto& index = doc_->messages();
  if (!index.exists(id)) return std::nullopt;
  // Message ids are unique in the document, so the first channel that holds
  // the id is the one.
  for (const auto& channel :
       doc_->doc().keys(doc::get_map(doc_->doc(), crdt::ObjId::root(), doc::key::kMessages)
                            .value_or(crdt::ObjId::root()))) {
    if (auto found = index.find(channel, id))
      return doc::read_message(doc_->doc(), found->message, channel);
  }
  return std::nullopt;
}

std::vector<VoiceParticipant> DocumentChatReader::participants(std::string_view channel) const {
  return doc::list_voice_participants(doc_->doc(), channel);
}

std::vector<std::string> DocumentChatReader::message_ids(std::string_view channel) const {
  std::vector<std::string> out;
  const auto& d = doc_->doc();
  auto messages = doc::get_map(d, crdt::ObjId::root(), doc::key::kMessages);
  auto list = messages ? doc::get_list(d, *messages, channel) : std::nullopt;
  if (!list) return out;
  for (const auto& item : d.items(*list)) {
    if (auto map = item.object(crdt::ObjType::Map))
      out.push_back(doc::str_or_empty(d, *map, doc::key::kId));
  }
  return out;
}

EncodedAction encode_action(const ChatAction& action) {
  return EncodedAction{std::string(kChatActionKind), encode_chat_action(action), std::nullopt};
}

EncodedAction encode_operation(const ChatOperation& operation, OperationType type) {
  return EncodedAction{std::string(kChatOperationKind), encode_chat_operation(operation), type};
}

bool is_destructive(const ChatAction& action) {
  return action.get_if<ChatAction::DeleteMessage>() ||
         action.get_if<ChatAction::DeleteCategory>() || action.get_if<ChatAction::DeleteChannel>();
}

std::string trim_text(std::string_view text) {
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  while (begin < end) {
    const gunichar c = g_utf8_get_char_validated(begin, end - begin);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2) || !g_unichar_isspace(c))
      break;
    begin = g_utf8_next_char(begin);
  }
  while (end > begin) {
    const char* prev = g_utf8_find_prev_char(begin, end);
    if (!prev) break;
    const gunichar c = g_utf8_get_char_validated(prev, end - prev);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2) || !g_unichar_isspace(c))
      break;
    end = prev;
  }
  return std::string(begin, end);
}

namespace {

namespace ca = chat_action;
namespace co = chat_operation;

// The first `count` characters (Unicode scalar values) of a UTF-8 text.
std::string first_chars(std::string_view text, std::size_t count) {
  std::size_t i = 0;
  while (i < text.size() && count > 0) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    i = std::min(text.size(), i + len);
    --count;
  }
  return std::string(text.substr(0, i));
}

std::function<std::int64_t()> clock_of(const ResourceContext& ctx) {
  return ctx.now ? ctx.now : std::function<std::int64_t()>(now_secs);
}

std::function<std::string()> uuid_source(const ResourceContext& ctx) {
  if (ctx.new_uuid) return ctx.new_uuid;
  return [] { return base::Uuid::v4().simple(); };
}

std::string param_text(const ActionArgs& args) {
  return args.text("value").value_or("");
}

// A spec that encodes a ChatAction. Whether it is destructive follows from the
// variant the encoder produces, so that a rename of the action cannot lose
// the mark.
ActionSpec act(std::string name, std::string label,
               std::function<ChatAction(const ActionArgs&)> make) {
  const bool destructive = is_destructive(make(ActionArgs{}));
  ActionSpec spec(
      std::move(name), std::move(label),
      [make = std::move(make)](const ActionArgs& args) { return encode_action(make(args)); });
  if (destructive) spec.destructive();
  return spec;
}

ActionSpec view_op(std::string name, std::string label, ChatOperation op) {
  return ActionSpec(std::move(name), std::move(label), [op = std::move(op)](const ActionArgs&) {
    return encode_operation(op, OperationType::View);
  });
}

const Channel* find_channel(const std::vector<Channel>& channels, std::string_view id) {
  for (const auto& c : channels) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const Person* find_person(const std::vector<Person>& people, std::string_view id) {
  for (const auto& p : people) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

// Everything a resource builder looks up, read once per request.
struct Model {
  std::vector<Workspace> workspaces;
  std::vector<Category> categories;
  std::vector<Channel> channels;
  std::vector<Person> people;

  explicit Model(const ChatReader& r)
      : workspaces(r.workspaces()),
        categories(r.categories()),
        channels(r.channels()),
        people(r.people()) {}

  std::vector<const Channel*> channels_of(std::string_view workspace) const {
    return in_workspace(channels, workspace);
  }
  std::vector<const Category*> categories_of(std::string_view workspace) const {
    return in_workspace(categories, workspace);
  }

  // The workspace's members in ascending order; equal orders keep model order.
  template <typename T>
  static std::vector<const T*> in_workspace(const std::vector<T>& all, std::string_view workspace) {
    std::vector<const T*> out;
    for (const auto& item : all) {
      if (item.workspace == workspace) out.push_back(&item);
    }
    std::stable_sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->order < b->order; });
    return out;
  }
};

Resource workspace_resource(const ResourceContext& ctx, const Workspace& ws) {
  Resource r(ActionAddress{"chat.workspace", ws.id}, workspace_label(ws));
  r.with_action(view_op("open", "Open workspace", co::OpenWorkspace{ws.id}));
  auto uuid = uuid_source(ctx);
  r.with_action(
      act("new-channel", "New channel", [ws = ws.id, uuid](const ActionArgs& a) {
        std::string name = trim_text(param_text(a));
        if (name.empty()) name = "new-channel";
        return ChatAction(ca::CreateChannel{ws, "", "c_" + uuid(), name, ChannelKind::Text});
      }).with_parameter("Name", "channel name…"));
  r.with_action(act("new-category", "New category", [ws = ws.id, uuid](const ActionArgs& a) {
                  std::string name = trim_text(param_text(a));
                  if (name.empty()) name = "New Category";
                  return ChatAction(ca::CreateCategory{ws, "cat_" + uuid(), name});
                }).with_parameter("Name", "category name…"));
  return r;
}

Resource call_resource(const ResourceContext& ctx, const Channel& ch) {
  Resource r(ActionAddress{"chat.call", ch.id}, call_label(ch));
  r.with_action(view_op("open", "Open call conversation", co::OpenChannel{ch.workspace, ch.id}));
  std::optional<VoiceParticipant> me;
  for (const auto& p : ctx.reader.participants(ch.id)) {
    if (p.user == ctx.local_user) me = p;
  }
  const std::string channel = ch.id, user = ctx.local_user;
  if (!me) {
    r.with_action(act("join", "Join call", [=](const ActionArgs&) {
      return ChatAction(ca::JoinCall{channel, user});
    }));
    return r;
  }
  // A toggle writes the participant's current flags with one inverted; talking
  // follows from the resulting mute.
  auto toggle = [&](bool muted, bool deafened, bool audio_only) {
    return [=](const ActionArgs&) {
      return ChatAction(ca::SetCallState{channel, user, !muted, muted, deafened, audio_only});
    };
  };
  const auto& p = *me;
  r.with_action(act("leave", "Leave call", [=](const ActionArgs&) {
    return ChatAction(ca::LeaveCall{channel, user});
  }));
  r.with_action(act(p.muted ? "unmute" : "mute", p.muted ? "Unmute" : "Mute",
                    toggle(!p.muted, p.deafened, p.audio_only)));
  r.with_action(act(p.deafened ? "undeafen" : "deafen", p.deafened ? "Undeafen" : "Deafen",
                    toggle(p.muted, !p.deafened, p.audio_only)));
  r.with_action(act(p.audio_only ? "enable-camera" : "audio-only",
                    p.audio_only ? "Enable camera" : "Audio only",
                    toggle(p.muted, p.deafened, !p.audio_only)));
  return r;
}

Resource channel_resource(const ResourceContext& ctx, const Model& model, const Channel& ch) {
  Resource r(ActionAddress{"chat.channel", ch.id}, channel_label(ch));
  const std::string id = ch.id, ws = ch.workspace, user = ctx.local_user;
  r.with_action(view_op("open", "Open conversation", co::OpenChannel{ws, id}));
  auto now = clock_of(ctx);
  auto uuid = uuid_source(ctx);
  auto people = std::make_shared<const std::vector<Person>>(model.people);
  r.with_action(act("post", "Post message", [=](const ActionArgs& a) {
                  const std::string text = param_text(a);
                  return ChatAction(ca::SendMessage{id, "m_" + uuid(), user, now(), text,
                                                    std::nullopt, std::nullopt,
                                                    find_mentions(text, *people), std::nullopt});
                }).with_parameter("Message", "type a message…"));
  r.with_action(ActionSpec("attach", "Attach file", [id](const ActionArgs& a) {
                  auto encoded = encode_operation(
                      co::ImportAttachment{id, trim_text(param_text(a))}, OperationType::Effect);
                  if (!vesk_actions::enforce_operation_type(encoded, OperationType::Effect).ok()) {
                    std::fputs("encode chat operation: wrong operation type\n", stderr);
                    std::abort();
                  }
                  return encoded;
                }).with_default_parameter("File path", "/var/workspace/report.pdf"));
  r.with_action(act("rename", "Rename channel", [id](const ActionArgs& a) {
                  return ChatAction(ca::RenameChannel{id, trim_text(param_text(a))});
                }).with_parameter("Name", "channel name…"));
  if (ch.archived) {
    r.with_action(act("unarchive", "Unarchive channel", [id](const ActionArgs&) {
      return ChatAction(ca::ArchiveChannel{id, false});
    }));
  } else {
    r.with_action(act("archive", "Archive channel", [id](const ActionArgs&) {
      return ChatAction(ca::ArchiveChannel{id, true});
    }));
  }
  std::int64_t top_level = 0;
  for (const auto& m : ctx.reader.messages(id)) top_level += m.is_top_level() ? 1 : 0;
  r.with_action(act("mark-read", "Mark as read", [=](const ActionArgs&) {
    return ChatAction(ca::MarkRead{id, user, top_level});
  }));
  r.with_action(act("delete", "Delete channel",
                    [id](const ActionArgs&) { return ChatAction(ca::DeleteChannel{id}); }));
  if (ch.kind == ChannelKind::Voice) r.with_child(call_resource(ctx, ch));
  return r;
}

Resource category_resource(const Category& cat) {
  Resource r(ActionAddress{"chat.category", cat.id}, cat.name);
  const std::string id = cat.id;
  r.with_action(view_op("open", "Open category", co::OpenCategory{cat.workspace, id}));
  r.with_action(act("rename", "Rename category", [id](const ActionArgs& a) {
                  return ChatAction(ca::RenameCategory{id, trim_text(param_text(a))});
                }).with_parameter("Name", "category name…"));
  const bool collapsed = cat.collapsed;
  r.with_action(act(collapsed ? "expand" : "collapse",
                    collapsed ? "Expand category" : "Collapse category",
                    [id, collapsed](const ActionArgs&) {
                      return ChatAction(ca::SetCategoryCollapsed{id, !collapsed});
                    }));
  r.with_action(act("delete", "Delete category",
                    [id](const ActionArgs&) { return ChatAction(ca::DeleteCategory{id}); }));
  return r;
}

Resource person_resource(const Person& p) {
  Resource r(ActionAddress{"chat.person", p.id}, p.name);
  r.with_action(view_op("open", "Open person", co::OpenPerson{p.id}));
  return r;
}

Resource people_resource(const std::vector<Person>& people, std::size_t limit) {
  Resource r(ActionAddress{"chat.people", ""}, "People");
  for (std::size_t i = 0; i < people.size() && i < limit; ++i)
    r.with_child(person_resource(people[i]));
  return r;
}

co::RevealMessage reveal_of(const Model& model, const Message& m) {
  const Channel* ch = find_channel(model.channels, m.channel);
  return co::RevealMessage{ch ? ch->workspace : "", m.channel, m.id, m.parent};
}

Resource reaction_resource(const ResourceContext& ctx, const Model& model, const Message& m,
                           const ReactionGroup& group) {
  Resource r(ActionAddress{"chat.reaction", m.id + ":" + group.emoji}, reaction_label(group));
  r.with_action(view_op("open-message", "Reveal message", reveal_of(model, m)));
  const bool mine =
      std::find(group.users.begin(), group.users.end(), ctx.local_user) != group.users.end();
  const std::string channel = m.channel, msg = m.id, emoji = group.emoji, user = ctx.local_user;
  if (mine) {
    r.with_action(act("remove", "Remove my reaction", [=](const ActionArgs&) {
      return ChatAction(ca::RemoveReaction{channel, msg, emoji, user});
    }));
  } else {
    r.with_action(act("add", "Add my reaction", [=](const ActionArgs&) {
      return ChatAction(ca::AddReaction{channel, msg, emoji, user});
    }));
  }
  return r;
}

Resource attachment_resource(const Model& model, const Message& m) {
  Resource r(ActionAddress{"chat.attachment", m.id}, m.attachment ? m.attachment->name() : "");
  r.with_action(view_op("open-message", "Reveal shared message", reveal_of(model, m)));
  return r;
}

Resource message_resource(const ResourceContext& ctx, const Model& model, const Message& m) {
  Resource r(ActionAddress{"chat.message", m.id}, message_label(m, model.people));
  const std::string channel = m.channel, id = m.id, user = ctx.local_user;
  r.with_action(view_op("open", "Reveal message", reveal_of(model, m)));
  auto now = clock_of(ctx);
  r.with_action(act("edit", "Edit message", [=](const ActionArgs& a) {
                  return ChatAction(ca::EditMessage{channel, id, param_text(a), now()});
                }).with_parameter("Message", "new text…"));
  r.with_action(act("react", "Add reaction", [=](const ActionArgs& a) {
                  return ChatAction(ca::AddReaction{channel, id, trim_text(param_text(a)), user});
                }).with_default_parameter("Emoji", "👍"));
  const bool pinned = m.pinned;
  r.with_action(act(pinned ? "unpin" : "pin", pinned ? "Unpin message" : "Pin message",
                    [=](const ActionArgs&) {
                      return ChatAction(ca::PinMessage{channel, id, !pinned});
                    }));
  r.with_action(act("delete", "Delete message", [=](const ActionArgs&) {
    return ChatAction(ca::DeleteMessage{channel, id});
  }));
  if (m.attachment) r.with_child(attachment_resource(model, m));
  for (const auto& group : m.reactions) r.with_child(reaction_resource(ctx, model, m, group));
  return r;
}

}  // namespace

std::string workspace_label(const Workspace& workspace) {
  std::string name = trim_text(workspace.name);
  return name.empty() ? "Workspace" : name;
}

std::string channel_label(const Channel& channel) {
  std::string name = trim_text(channel.name);
  return std::string(channel_glyph(channel.kind)) + " " + (name.empty() ? "channel" : name);
}

std::string call_label(const Channel& channel) {
  return "Call: " + channel_label(channel);
}

std::string message_label(const Message& message, const std::vector<Person>& people) {
  const Person* author = find_person(people, message.author);
  std::string out = author ? author->name : message.author;
  out += ": ";
  const std::string text = trim_text(message.text);
  if (!text.empty()) {
    out += first_chars(text, kMessageLabelChars);
  } else if (message.attachment) {
    out += message.attachment->name();
  } else {
    out += "Attachment";
  }
  return out;
}

std::string reaction_label(const ReactionGroup& group) {
  return group.emoji + " · " + std::to_string(group.users.size());
}

std::vector<Resource> resource_roots(const ResourceContext& ctx) {
  const Model model(ctx.reader);
  std::vector<const Workspace*> order;
  for (const auto& w : model.workspaces) {
    if (w.id == ctx.conversation_workspace) order.push_back(&w);
  }
  for (const auto& w : model.workspaces) {
    if (w.id != ctx.conversation_workspace) order.push_back(&w);
  }
  if (order.size() > kMaxTreeWorkspaces) order.resize(kMaxTreeWorkspaces);

  std::vector<Resource> roots;
  std::size_t budget = kTreeBudget;
  for (const Workspace* ws : order) {
    if (budget == 0) break;
    --budget;
    Resource r = workspace_resource(ctx, *ws);
    for (const Channel* ch : model.channels_of(ws->id)) {
      if (budget == 0) break;
      --budget;
      r.with_child(channel_resource(ctx, model, *ch));
    }
    for (const Category* cat : model.categories_of(ws->id)) {
      if (budget == 0) break;
      --budget;
      r.with_child(category_resource(*cat));
    }
    roots.push_back(std::move(r));
  }
  roots.push_back(people_resource(model.people, kMaxTreePeople));
  return roots;
}

std::optional<Resource> resolve_address(const ResourceContext& ctx, std::string_view address) {
  const Model model(ctx.reader);
  if (address == "chat.people") return people_resource(model.people, model.people.size());
  auto strip = [&](std::string_view prefix) -> std::optional<std::string_view> {
    if (address.substr(0, prefix.size()) != prefix) return std::nullopt;
    return address.substr(prefix.size());
  };
  if (auto id = strip("chat.workspace:")) {
    for (const auto& ws : model.workspaces) {
      if (ws.id != *id) continue;
      Resource r = workspace_resource(ctx, ws);
      for (const Channel* ch : model.channels_of(ws.id))
        r.with_child(channel_resource(ctx, model, *ch));
      for (const Category* cat : model.categories_of(ws.id)) r.with_child(category_resource(*cat));
      return r;
    }
    return std::nullopt;
  }
  if (auto id = strip("chat.channel:")) {
    if (const Channel* ch = find_channel(model.channels, *id))
      return channel_resource(ctx, model, *ch);
    return std::nullopt;
  }
  if (auto id = strip("chat.category:")) {
    for (const auto& cat : model.categories) {
      if (cat.id == *id) return category_resource(cat);
    }
    return std::nullopt;
  }
  if (auto id = strip("chat.person:")) {
    if (const Person* p = find_person(model.people, *id)) return person_resource(*p);
    return std::nullopt;
  }
  if (auto id = strip("chat.call:")) {
    const Channel* ch = find_channel(model.channels, *id);
    if (ch && ch->kind == ChannelKind::Voice) return call_resource(ctx, *ch);
    return std::nullopt;
  }
  if (auto id = strip("chat.attachment:")) {
    auto m = ctx.reader.find_message(*id);
    if (m && m->attachment) return attachment_resource(model, *m);
    return std::nullopt;
  }
  if (auto rest = strip("chat.reaction:")) {
    const auto colon = rest->find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    auto m = ctx.reader.find_message(rest->substr(0, colon));
    if (!m) return std::nullopt;
    const auto emoji = rest->substr(colon + 1);
    for (const auto& group : m->reactions) {
      if (group.emoji == emoji) return reaction_resource(ctx, model, *m, group);
    }
    return std::nullopt;
  }
  if (auto id = strip("chat.message:")) {
    if (auto m = ctx.reader.find_message(*id)) return message_resource(ctx, model, *m);
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace chat
