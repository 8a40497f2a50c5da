#include "doc/message_cache.hpp"

#include "doc/access.hpp"
#include "doc/projection.hpp"

namespace chat::doc {

void MessageCache::drop(crdt::ObjId message) {
  auto it = entries_.find(message);
  if (it == entries_.end()) return;
  for (crdt::ObjId obj : it->second.read) {
    auto owner = owner_.find(obj);
    if (owner != owner_.end() && owner->second == message) owner_.erase(owner);
  }
  entries_.erase(it);
}

void MessageCache::forget(const std::vector<crdt::ObjId>& changed) {
  for (crdt::ObjId obj : changed) {
    auto owner = owner_.find(obj);
    if (owner != owner_.end()) drop(owner->second);
  }
}

const Message& MessageCache::get(const crdt::Document& doc, crdt::ObjId message,
                                 std::string_view channel) {
  auto it = entries_.find(message);
  if (it != entries_.end() && it->second.message.channel == channel) return it->second.message;
  drop(message);
  Entry entry;
  entry.read.push_back(message);
  {
    ReadRecorder recorder(entry.read);
    entry.message = read_message(doc, message, channel);
  }
  for (crdt::ObjId obj : entry.read) owner_[obj] = message;
  return entries_.emplace(message, std::move(entry)).first->second.message;
}

void MessageCache::clear() {
  entries_.clear();
  owner_.clear();
}

}  // namespace chat::doc
