#include "doc/projection.hpp"

#include "doc/access.hpp"
#include "doc/agent_work_store.hpp"
#include "doc/schema.hpp"
#include "doc/workspace_doc.hpp"
#include "model/json_forms.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();

// Calls `read(id, map)` for every key of the root map `section` whose value
// is a map, in key order.
template <typename Read>
void for_each_record(const Document& doc, std::string_view section, Read&& read) {
  auto records = get_map(doc, kRoot, section);
  if (!records) return;
  for (const std::string& id : doc.keys(*records)) {
    if (auto map = get_map(doc, *records, id)) read(id, *map);
  }
}

// Calls `read(map)` for every element of the list under `key` that is a map.
template <typename Read>
void for_each_map_element(const Document& doc, ObjId obj, std::string_view key, Read&& read) {
  auto list = get_list(doc, obj, key);
  if (!list) return;
  for (const crdt::Value& item : doc.items(*list)) {
    if (auto map = item.object(crdt::ObjType::Map)) {
      ReadRecorder::note(*map);
      read(*map);
    }
  }
}

std::uint32_t low32(std::int64_t value) {
  return static_cast<std::uint32_t>(value);
}

std::optional<Attachment> read_attachment(const Document& doc, ObjId message) {
  auto map = get_map(doc, message, key::kAttachment);
  if (!map) return std::nullopt;
  std::string blob = str_or_empty(doc, *map, key::kBlob);
  if (blob.empty()) blob = str_or_empty(doc, *map, key::kPath);
  std::string kind = str_or_empty(doc, *map, key::kKind);
  std::string name = str_or_empty(doc, *map, key::kName);
  auto w = [&] { return low32(int_or_zero(doc, *map, key::kW)); };
  auto h = [&] { return low32(int_or_zero(doc, *map, key::kH)); };
  auto size = [&] { return static_cast<std::uint64_t>(int_or_zero(doc, *map, key::kSize)); };
  if (kind == "image") return Attachment::Image{std::move(name), std::move(blob), w(), h()};
  if (kind == "video") {
    return Attachment::Video{std::move(name), std::move(blob), w(), h(), size()};
  }
  if (kind == "file") return Attachment::File{std::move(name), std::move(blob), size()};
  return std::nullopt;
}

std::optional<ResourceRef> read_reference(const Document& doc, ObjId message) {
  auto text = get_str(doc, message, key::kReference);
  if (!text || text->empty()) return std::nullopt;
  auto parsed = decode_json<ResourceRef>(*text);
  if (!parsed.ok()) return std::nullopt;
  return std::move(*parsed);
}

std::uint64_t non_negative(std::int64_t value) {
  return value < 0 ? 0 : static_cast<std::uint64_t>(value);
}

}  // namespace

std::vector<Workspace> list_workspaces(const Document& doc) {
  std::vector<Workspace> out;
  for_each_record(doc, key::kWorkspaces, [&](const std::string& id, ObjId map) {
    out.push_back(Workspace{
        id, str_or_empty(doc, map, key::kName), str_or_empty(doc, map, key::kGlyph),
        int_or_zero(doc, map, key::kColorIdx), low32(int_or_zero(doc, map, key::kOrder))});
  });
  sort_workspaces(out);
  return out;
}

std::vector<Category> list_categories(const Document& doc) {
  std::vector<Category> out;
  for_each_record(doc, key::kCategories, [&](const std::string& id, ObjId map) {
    out.push_back(Category{
        id, str_or_empty(doc, map, key::kWorkspace), str_or_empty(doc, map, key::kName),
        low32(int_or_zero(doc, map, key::kOrder)), bool_or_false(doc, map, key::kCollapsed)});
  });
  sort_categories(out);
  return out;
}

std::vector<Channel> list_channels(const Document& doc) {
  std::vector<Channel> out;
  for_each_record(doc, key::kChannels, [&](const std::string& id, ObjId map) {
    Channel channel;
    channel.id = id;
    channel.workspace = str_or_empty(doc, map, key::kWorkspace);
    channel.category = str_or_empty(doc, map, key::kCategory);
    channel.name = str_or_empty(doc, map, key::kName);
    channel.topic = str_or_empty(doc, map, key::kTopic);
    channel.kind = channel_kind_from_text(str_or_empty(doc, map, key::kKind));
    channel.order = low32(int_or_zero(doc, map, key::kOrder));
    channel.unread = 0;
    channel.archived = bool_or_false(doc, map, key::kArchived);
    out.push_back(std::move(channel));
  });
  sort_channels(out);
  return out;
}

std::vector<Person> list_persons(const Document& doc) {
  std::vector<Person> out;
  for_each_record(doc, key::kUsers, [&](const std::string& id, ObjId map) {
    out.push_back(Person{id, str_or_empty(doc, map, key::kName),
                         str_or_empty(doc, map, key::kInitials),
                         int_or_zero(doc, map, key::kColorIdx),
                         person_status_from_text(str_or_empty(doc, map, key::kStatus)),
                         bool_or_false(doc, map, key::kAgent)});
  });
  sort_persons(out);
  return out;
}

Message read_message(const Document& doc, ObjId map, std::string_view channel) {
  Message m;
  m.id = str_or_empty(doc, map, key::kId);
  m.channel = std::string(channel);
  m.author = str_or_empty(doc, map, key::kAuthor);
  m.ts = int_or_zero(doc, map, key::kTs);
  m.text = get_text(doc, map, key::kText).value_or(std::string());
  m.edited = bool_or_false(doc, map, key::kEdited);
  if (std::string parent = str_or_empty(doc, map, key::kParent); !parent.empty()) {
    m.parent = std::move(parent);
  }
  for_each_map_element(doc, map, key::kHistory, [&](ObjId entry) {
    m.history.push_back(
        HistoryEntry{str_or_empty(doc, entry, key::kText), int_or_zero(doc, entry, key::kTs)});
  });
  std::vector<ReactionEntry> reactions;
  for_each_map_element(doc, map, key::kReactions, [&](ObjId entry) {
    reactions.push_back(
        ReactionEntry{str_or_empty(doc, entry, key::kEmoji), str_or_empty(doc, entry, key::kUser)});
  });
  m.reactions = group_reactions(reactions);
  for_each_map_element(doc, map, key::kMentions, [&](ObjId entry) {
    std::string user = str_or_empty(doc, entry, key::kUser);
    if (user.empty()) return;
    m.mentions.push_back(Mention{
        std::move(user), non_negative(int_or_zero(doc, entry, key::kStart)),
        non_negative(int_or_zero(doc, entry, key::kLen)), bool_or_false(doc, entry, key::kAgent)});
  });
  m.reference = read_reference(doc, map);
  m.work = read_agent_work(doc, map);
  m.attachment = read_attachment(doc, map);
  m.pinned = bool_or_false(doc, map, key::kPinned);
  return m;
}

std::vector<Message> list_messages(const Document& doc, std::string_view channel) {
  std::vector<Message> out;
  auto messages = get_map(doc, kRoot, key::kMessages);
  if (!messages) return out;
  auto list = get_list(doc, *messages, channel);
  if (!list) return out;
  std::vector<crdt::Value> items = doc.items(*list);
  out.reserve(items.size());
  for (const crdt::Value& item : items) {
    if (auto map = item.object(crdt::ObjType::Map)) out.push_back(read_message(doc, *map, channel));
  }
  return out;
}

std::vector<VoiceParticipant> list_voice_participants(const Document& doc,
                                                      std::string_view channel) {
  std::vector<VoiceParticipant> out;
  auto voice = get_map(doc, kRoot, key::kVoice);
  if (!voice) return out;
  auto presences = get_map(doc, *voice, channel);
  if (!presences) return out;
  for (const std::string& user : doc.keys(*presences)) {
    auto map = get_map(doc, *presences, user);
    if (!map) continue;
    VoiceParticipant p;
    p.user = user;
    if (std::string ticket = str_or_empty(doc, *map, key::kTicket); !ticket.empty()) {
      p.ticket = std::move(ticket);
    }
    p.talking = bool_or_false(doc, *map, key::kTalking);
    p.muted = bool_or_false(doc, *map, key::kMuted);
    p.deafened = bool_or_false(doc, *map, key::kDeafened);
    p.audio_only = bool_or_false(doc, *map, key::kAudioOnly);
    p.sharing = bool_or_false(doc, *map, key::kSharing);
    out.push_back(std::move(p));
  }
  sort_voice_participants(out);
  return out;
}

std::string read_draft(const Document& doc, std::string_view draft_key) {
  auto drafts = get_map(doc, kRoot, key::kDrafts);
  if (!drafts) return {};
  return get_text(doc, *drafts, draft_key).value_or(std::string());
}

std::uint32_t read_unread_count(const Document& doc, std::string_view channel,
                                std::string_view person) {
  std::uint64_t top_level = 0;
  if (auto messages = get_map(doc, kRoot, key::kMessages)) {
    if (auto list = get_list(doc, *messages, channel)) {
      for (const crdt::Value& item : doc.items(*list)) {
        auto map = item.object(crdt::ObjType::Map);
        if (map && str_or_empty(doc, *map, key::kParent).empty()) ++top_level;
      }
    }
  }
  std::int64_t read = 0;
  if (auto reads = get_map(doc, kRoot, key::kRead)) {
    if (auto mine = get_map(doc, *reads, person)) read = int_or_zero(doc, *mine, channel);
  }
  return unread_count(top_level, read);
}

bool is_seeded(const Document& doc) {
  return get_bool(doc, kRoot, key::kSeeded) == true;
}

bool message_exists(WorkspaceDoc& doc, std::string_view id) {
  return doc.messages().exists(id);
}

}  // namespace chat::doc
