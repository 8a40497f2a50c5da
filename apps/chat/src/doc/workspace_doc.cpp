#include "doc/workspace_doc.hpp"

#include <algorithm>
#include <utility>

#include "doc/access.hpp"
#include "doc/projection.hpp"
#include "doc/schema.hpp"

namespace chat::doc {

std::vector<crdt::ObjId> WorkspaceDoc::take_events() {
  std::vector<crdt::ObjId> changed = doc_->take_changed_objects();
  cache_.forget(changed);
  return changed;
}

MessageIndex& WorkspaceDoc::messages() {
  std::vector<crdt::ObjId> changed = take_events();
  auto lists_before = lists_if_replaced(changed);
  if (!built_) {
    index_.rebuild(*doc_);
    built_ = true;
  } else {
    index_.refresh(*doc_, changed);
  }
  gather(changed, lists_before);
  return index_;
}

void WorkspaceDoc::note_appended(std::string_view channel, crdt::ObjId list, crdt::ObjId message,
                                 std::string_view id, bool top_level) {
  std::vector<crdt::ObjId> changed = take_events();
  auto lists_before = lists_if_replaced(changed);
  index_.note_appended(*doc_, channel, list, message, id, top_level, changed);
  gather(changed, lists_before);
}

void WorkspaceDoc::note_removed(std::string_view channel, std::size_t position) {
  std::vector<crdt::ObjId> changed = take_events();
  auto lists_before = lists_if_replaced(changed);
  index_.note_removed(*doc_, channel, position, changed);
  gather(changed, lists_before);
}

ChatChanges WorkspaceDoc::take_changes() {
  messages();  // takes in what the engine still holds
  if (!following_) {
    following_ = true;
    touches_structure({});  // learns the structure's objects
    ChatChanges all;
    all.everything = true;
    return all;
  }
  return std::exchange(changes_, ChatChanges{});
}

// A list that came or went in the "messages" map, or replaced another, may
// have no events of its own (an empty list, a deleted one): compare the
// lists from before and after.
std::optional<std::map<std::string, crdt::ObjId>> WorkspaceDoc::lists_if_replaced(
    const std::vector<crdt::ObjId>& changed) const {
  if (!following_ || !built_) return std::nullopt;
  auto in_changed = [&](crdt::ObjId obj) {
    return std::binary_search(changed.begin(), changed.end(), obj);
  };
  std::optional<crdt::ObjId> map = index_.messages_map();
  if (!in_changed(crdt::ObjId::root()) && !(map && in_changed(*map))) return std::nullopt;
  return index_.lists();
}

void WorkspaceDoc::gather(const std::vector<crdt::ObjId>& changed,
                          const std::optional<std::map<std::string, crdt::ObjId>>& lists_before) {
  if (!following_ || changed.empty()) return;
  if (lists_before) {
    const std::map<std::string, crdt::ObjId> after = index_.lists();
    for (const auto& [channel, list] : *lists_before) {
      auto it = after.find(channel);
      if (it == after.end() || it->second != list) changes_.channels.insert(channel);
    }
    for (const auto& [channel, list] : after) {
      if (!lists_before->contains(channel)) changes_.channels.insert(channel);
    }
  }
  for (crdt::ObjId obj : changed) {
    if (auto channel = index_.channel_of_list(obj)) {
      changes_.channels.insert(std::move(*channel));
    } else if (auto id = index_.message_of(obj)) {
      changes_.messages.insert(std::move(*id));
    }
  }
  if (touches_structure(changed)) changes_.structure = true;
}

bool WorkspaceDoc::touches_structure(const std::vector<crdt::ObjId>& changed) {
  // The root changes whenever a top-level map is made (read markers, drafts,
  // calls); it counts only when the structure's own maps came or went.
  const crdt::ObjId root = crdt::ObjId::root();
  const bool root_changed = std::binary_search(changed.begin(), changed.end(), root);
  bool touched = std::any_of(changed.begin(), changed.end(), [&](crdt::ObjId obj) {
    return obj != root && structure_objects_.contains(obj);
  });
  if (touched || root_changed || structure_objects_.empty()) {
    // What was added or removed changed an object already held, so the set
    // from before the change is enough to notice the change.
    std::vector<crdt::ObjId> read{root};
    {
      ReadRecorder recorder(read);
      (void)list_workspaces(*doc_);
      (void)list_categories(*doc_);
      (void)list_channels(*doc_);
      (void)list_persons(*doc_);
    }
    std::unordered_set<crdt::ObjId> now(read.begin(), read.end());
    if (root_changed && now != structure_objects_) touched = true;
    structure_objects_ = std::move(now);
  }
  return touched;
}

std::vector<Message> WorkspaceDoc::list_messages(std::string_view channel) {
  MessageIndex& index = messages();
  // Records of deleted messages are never asked for again; let them go once
  // they clearly outnumber the live ones.
  if (cache_.size() > 2 * index.size() + 1024) cache_.clear();
  std::vector<Message> out;
  auto all = get_map(*doc_, crdt::ObjId::root(), key::kMessages);
  if (!all) return out;
  auto list = get_list(*doc_, *all, channel);
  if (!list) return out;
  std::vector<crdt::Value> items = doc_->items(*list);
  out.reserve(items.size());
  for (const crdt::Value& item : items) {
    if (auto map = item.object(crdt::ObjType::Map)) out.push_back(cache_.get(*doc_, *map, channel));
  }
  return out;
}

std::uint32_t WorkspaceDoc::unread_count(std::string_view channel, std::string_view person) {
  std::size_t top_level = messages().top_level_count(channel);
  std::int64_t read = 0;
  if (auto reads = get_map(*doc_, crdt::ObjId::root(), key::kRead)) {
    if (auto mine = get_map(*doc_, *reads, person)) read = int_or_zero(*doc_, *mine, channel);
  }
  return chat::unread_count(top_level, read);
}

}  // namespace chat::doc
