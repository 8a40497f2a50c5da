#include "doc/workspace_doc.hpp"

#include "doc/access.hpp"
#include "doc/schema.hpp"

namespace chat::doc {

std::vector<crdt::ObjId> WorkspaceDoc::take_events() {
  std::vector<crdt::ObjId> changed = doc_->take_changed_objects();
  cache_.forget(changed);
  return changed;
}

MessageIndex& WorkspaceDoc::messages() {
  std::vector<crdt::ObjId> changed = take_events();
  if (!built_) {
    index_.rebuild(*doc_);
    built_ = true;
  } else {
    index_.refresh(*doc_, changed);
  }
  return index_;
}

void WorkspaceDoc::note_appended(std::string_view channel, crdt::ObjId list, crdt::ObjId message,
                                 std::string_view id, bool top_level) {
  index_.note_appended(*doc_, channel, list, message, id, top_level, take_events());
}

void WorkspaceDoc::note_removed(std::string_view channel, std::size_t position) {
  index_.note_removed(*doc_, channel, position, take_events());
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
