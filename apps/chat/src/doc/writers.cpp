#include "doc/writers.hpp"

#include "doc/access.hpp"
#include "doc/agent_work_store.hpp"
#include "doc/schema.hpp"
#include "doc/workspace_doc.hpp"
#include "model/json_forms.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();

std::optional<ObjId> ensure_record(Document& doc, std::string_view section, std::string_view id) {
  auto records = ensure_map(doc, kRoot, section);
  if (!records) return std::nullopt;
  return ensure_map(doc, *records, id);
}

std::optional<ObjId> new_object(Document& doc, ObjId map, std::string_view key,
                                crdt::ObjType type) {
  auto made = doc.put_object(map, key, type);
  if (!made.ok()) return std::nullopt;
  return *made;
}

void write_attachment(Document& doc, ObjId message, const Attachment& attachment) {
  auto map = new_object(doc, message, key::kAttachment, crdt::ObjType::Map);
  if (!map) return;
  auto put_common = [&](std::string_view kind, const std::string& name, const std::string& blob) {
    put_str(doc, *map, key::kKind, kind);
    put_str(doc, *map, key::kName, name);
    put_str(doc, *map, key::kBlob, blob);
  };
  if (const auto* image = attachment.get_if<Attachment::Image>()) {
    put_common("image", image->name, image->blob);
    put_int(doc, *map, key::kW, image->w);
    put_int(doc, *map, key::kH, image->h);
  } else if (const auto* video = attachment.get_if<Attachment::Video>()) {
    put_common("video", video->name, video->blob);
    put_int(doc, *map, key::kW, video->w);
    put_int(doc, *map, key::kH, video->h);
    put_int(doc, *map, key::kSize, static_cast<std::int64_t>(video->size));
  } else if (const auto* file = attachment.get_if<Attachment::File>()) {
    put_common("file", file->name, file->blob);
    put_int(doc, *map, key::kSize, static_cast<std::int64_t>(file->size));
  }
}

}  // namespace

void put_workspace(Document& doc, std::string_view id, std::string_view name,
                   std::string_view glyph, std::int64_t color_idx, std::int64_t order) {
  auto map = ensure_record(doc, key::kWorkspaces, id);
  if (!map) return;
  put_str(doc, *map, key::kName, name);
  put_str(doc, *map, key::kGlyph, glyph);
  put_int(doc, *map, key::kColorIdx, color_idx);
  put_int(doc, *map, key::kOrder, order);
}

void put_category(Document& doc, std::string_view id, std::string_view workspace,
                  std::string_view name, std::int64_t order) {
  auto map = ensure_record(doc, key::kCategories, id);
  if (!map) return;
  put_str(doc, *map, key::kWorkspace, workspace);
  put_str(doc, *map, key::kName, name);
  put_int(doc, *map, key::kOrder, order);
  put_bool(doc, *map, key::kCollapsed, false);
}

void put_channel(Document& doc, std::string_view id, std::string_view workspace,
                 std::string_view category, std::string_view name, std::string_view topic,
                 bool voice, std::int64_t order) {
  auto map = ensure_record(doc, key::kChannels, id);
  if (!map) return;
  put_str(doc, *map, key::kWorkspace, workspace);
  put_str(doc, *map, key::kCategory, category);
  put_str(doc, *map, key::kName, name);
  put_str(doc, *map, key::kTopic, topic);
  put_str(doc, *map, key::kKind, voice ? key::kVoiceKind : key::kTextKind);
  put_int(doc, *map, key::kOrder, order);
  if (voice) ensure_record(doc, key::kVoice, id);
}

std::string insert_message(WorkspaceDoc& wdoc, std::string_view channel, const Message& message) {
  if (wdoc.messages().exists(message.id)) return message.id;
  Document& doc = wdoc.doc();
  auto messages = ensure_map(doc, kRoot, key::kMessages);
  if (!messages) return message.id;
  auto list = ensure_list(doc, *messages, channel);
  if (!list) return message.id;
  auto map = append_map(doc, *list);
  if (!map) return message.id;

  put_str(doc, *map, key::kId, message.id);
  put_str(doc, *map, key::kAuthor, message.author);
  put_int(doc, *map, key::kTs, message.ts);
  put_str(doc, *map, key::kParent, message.parent.value_or(std::string()));
  put_bool(doc, *map, key::kEdited, message.edited);
  if (auto text = new_object(doc, *map, key::kText, crdt::ObjType::Text);
      text && !message.text.empty()) {
    (void)doc.splice_text(*text, 0, 0, message.text);
  }
  if (auto reactions = new_object(doc, *map, key::kReactions, crdt::ObjType::List)) {
    for (const ReactionGroup& group : message.reactions) {
      for (const std::string& user : group.users) {
        if (auto entry = append_map(doc, *reactions)) {
          put_str(doc, *entry, key::kEmoji, group.emoji);
          put_str(doc, *entry, key::kUser, user);
        }
      }
    }
  }
  if (auto mentions = new_object(doc, *map, key::kMentions, crdt::ObjType::List)) {
    for (const Mention& mention : message.mentions) {
      if (auto entry = append_map(doc, *mentions)) {
        put_str(doc, *entry, key::kUser, mention.user);
        put_int(doc, *entry, key::kStart, static_cast<std::int64_t>(mention.start));
        put_int(doc, *entry, key::kLen, static_cast<std::int64_t>(mention.len));
        put_bool(doc, *entry, key::kAgent, mention.is_agent);
      }
    }
  }
  if (message.reference) put_str(doc, *map, key::kReference, encode_json(*message.reference));
  if (message.work) write_agent_work(doc, *map, *message.work);
  if (auto history = new_object(doc, *map, key::kHistory, crdt::ObjType::List)) {
    for (const HistoryEntry& entry : message.history) {
      if (auto item = append_map(doc, *history)) {
        put_int(doc, *item, key::kTs, entry.ts);
        put_str(doc, *item, key::kText, entry.text);
      }
    }
  }
  if (message.attachment) write_attachment(doc, *map, *message.attachment);

  wdoc.note_appended(channel, *list, *map, message.id, !message.parent || message.parent->empty());
  return message.id;
}

std::optional<FoundMessage> find_message(WorkspaceDoc& doc, std::string_view channel,
                                         std::string_view id) {
  auto found = doc.messages().find(channel, id);
  if (!found) return std::nullopt;
  return FoundMessage{found->list, found->message};
}

std::optional<ObjId> ensure_presence(Document& doc, std::string_view channel,
                                     std::string_view user) {
  auto voice = ensure_map(doc, kRoot, key::kVoice);
  if (!voice) return std::nullopt;
  auto presences = ensure_map(doc, *voice, channel);
  if (!presences) return std::nullopt;
  return ensure_map(doc, *presences, user);
}

void join_call(Document& doc, std::string_view channel, std::string_view user) {
  auto presence = ensure_presence(doc, channel, user);
  if (!presence || get_bool(doc, *presence, key::kTalking)) return;
  for (std::string_view flag :
       {key::kTalking, key::kMuted, key::kDeafened, key::kAudioOnly, key::kSharing}) {
    put_bool(doc, *presence, flag, false);
  }
}

void set_call_state(Document& doc, std::string_view channel, std::string_view user, bool talking,
                    bool muted, bool deafened, bool audio_only) {
  auto presence = ensure_presence(doc, channel, user);
  if (!presence) return;
  put_bool(doc, *presence, key::kTalking, talking);
  put_bool(doc, *presence, key::kMuted, muted);
  put_bool(doc, *presence, key::kDeafened, deafened);
  put_bool(doc, *presence, key::kAudioOnly, audio_only);
}

}  // namespace chat::doc
