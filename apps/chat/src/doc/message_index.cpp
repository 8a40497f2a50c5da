#include "doc/message_index.hpp"

#include <algorithm>

#include "doc/access.hpp"
#include "doc/schema.hpp"

namespace chat::doc {
namespace {

constexpr crdt::ObjId kNotAMap = crdt::ObjId::root();

std::vector<crdt::ObjId> element_ids(const crdt::Document& doc, crdt::ObjId list) {
  std::vector<crdt::Value> items = doc.items(list);
  std::vector<crdt::ObjId> out;
  out.reserve(items.size());
  for (const crdt::Value& v : items) out.push_back(v.object(crdt::ObjType::Map).value_or(kNotAMap));
  return out;
}

}  // namespace

void MessageIndex::clear() {
  messages_map_.reset();
  channels_.clear();
  list_channel_.clear();
  messages_.clear();
  text_owner_.clear();
  id_count_.clear();
}

void MessageIndex::rebuild(const crdt::Document& doc) {
  clear();
  messages_map_ = get_map(doc, crdt::ObjId::root(), key::kMessages);
  if (!messages_map_) return;
  for (const std::string& channel : doc.keys(*messages_map_)) {
    if (auto list = get_list(doc, *messages_map_, channel)) index_channel(doc, channel, *list);
  }
}

void MessageIndex::index_channel(const crdt::Document& doc, const std::string& channel,
                                 crdt::ObjId list) {
  ChannelList& ch = channels_[channel];
  ch.list = list;
  list_channel_[list] = channel;
  ch.elements = element_ids(doc, list);
  for (crdt::ObjId message : ch.elements) {
    if (message != kNotAMap) read_message(doc, ch, channel, message);
  }
}

void MessageIndex::read_message(const crdt::Document& doc, ChannelList& ch,
                                const std::string& channel, crdt::ObjId message) {
  add_message(doc, ch, channel, message, get_str(doc, message, key::kId),
              str_or_empty(doc, message, key::kParent).empty());
}

void MessageIndex::drop_channel(const std::string& channel) {
  auto it = channels_.find(channel);
  if (it == channels_.end()) return;
  ChannelList& ch = it->second;
  for (crdt::ObjId message : ch.elements) {
    if (message != kNotAMap) remove_message(ch, message);
  }
  list_channel_.erase(ch.list);
  channels_.erase(it);
}

void MessageIndex::add_message(const crdt::Document& doc, ChannelList& ch,
                               const std::string& channel, crdt::ObjId message,
                               std::optional<std::string> id, bool top_level) {
  if (id) add_id(ch, message, *id);
  if (top_level) ++ch.top_level;
  MessageEntry& entry = messages_[message];
  if (entry.text) text_owner_.erase(*entry.text);
  entry = MessageEntry{channel, std::move(id), top_level, std::nullopt};
  set_text(entry, message, get_text_obj(doc, message, key::kText));
}

// The text is an object of its own: edits to it are reported on it, not on
// the message map.
void MessageIndex::set_text(MessageEntry& entry, crdt::ObjId message,
                            std::optional<crdt::ObjId> text) {
  if (entry.text == text) return;
  if (entry.text) text_owner_.erase(*entry.text);
  entry.text = text;
  if (text) text_owner_[*text] = message;
}

void MessageIndex::remove_message(ChannelList& ch, crdt::ObjId message) {
  auto it = messages_.find(message);
  if (it == messages_.end()) return;
  if (it->second.id) remove_id(ch, message, *it->second.id);
  if (it->second.top_level) --ch.top_level;
  if (it->second.text) text_owner_.erase(*it->second.text);
  messages_.erase(it);
}

void MessageIndex::add_id(ChannelList& ch, crdt::ObjId message, const std::string& id) {
  ch.by_id[id].push_back(message);
  ++id_count_[id];
}

void MessageIndex::remove_id(ChannelList& ch, crdt::ObjId message, const std::string& id) {
  if (auto it = ch.by_id.find(id); it != ch.by_id.end()) {
    std::erase(it->second, message);
    if (it->second.empty()) ch.by_id.erase(it);
  }
  if (auto it = id_count_.find(id); it != id_count_.end() && --it->second == 0) {
    id_count_.erase(it);
  }
}

void MessageIndex::refresh(const crdt::Document& doc, const std::vector<crdt::ObjId>& changed) {
  process(doc, changed, {});
}

void MessageIndex::process(const crdt::Document& doc, const std::vector<crdt::ObjId>& changed,
                           std::optional<crdt::ObjId> current_list) {
  if (changed.empty()) return;
  auto contains = [&](crdt::ObjId obj) {
    return std::binary_search(changed.begin(), changed.end(), obj);
  };
  if (contains(crdt::ObjId::root()) &&
      get_map(doc, crdt::ObjId::root(), key::kMessages) != messages_map_) {
    rebuild(doc);
    return;
  }
  if (messages_map_ && contains(*messages_map_)) sync_channel_keys(doc);
  for (crdt::ObjId obj : changed) {
    if (obj == current_list) continue;
    if (auto it = list_channel_.find(obj); it != list_channel_.end()) {
      std::string channel = it->second;
      sync_list(doc, channel);
    }
  }
  for (crdt::ObjId obj : changed) {
    if (messages_.contains(obj)) reread(doc, obj);
  }
}

void MessageIndex::sync_channel_keys(const crdt::Document& doc) {
  std::vector<std::string> keys = doc.keys(*messages_map_);
  std::unordered_set<std::string_view> present(keys.begin(), keys.end());
  std::vector<std::string> gone;
  for (const auto& [channel, ch] : channels_) {
    if (!present.contains(channel)) gone.push_back(channel);
  }
  for (const std::string& channel : gone) drop_channel(channel);
  for (const std::string& channel : keys) {
    std::optional<crdt::ObjId> list = get_list(doc, *messages_map_, channel);
    auto it = channels_.find(channel);
    if (it != channels_.end() && list == it->second.list) continue;
    if (it != channels_.end()) drop_channel(channel);
    if (list) index_channel(doc, channel, *list);
  }
}

void MessageIndex::sync_list(const crdt::Document& doc, const std::string& channel) {
  ChannelList& ch = channels_.at(channel);
  std::vector<crdt::ObjId> now = element_ids(doc, ch.list);
  const std::vector<crdt::ObjId>& was = ch.elements;

  // Most changes touch one end of the list; compare only what lies between
  // the common prefix and the common suffix.
  std::size_t prefix = 0;
  while (prefix < was.size() && prefix < now.size() && was[prefix] == now[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < was.size() - prefix && suffix < now.size() - prefix &&
         was[was.size() - 1 - suffix] == now[now.size() - 1 - suffix]) {
    ++suffix;
  }
  std::unordered_set<crdt::ObjId> kept(now.begin() + static_cast<std::ptrdiff_t>(prefix),
                                       now.end() - static_cast<std::ptrdiff_t>(suffix));
  for (std::size_t i = prefix; i < was.size() - suffix; ++i) {
    if (was[i] != kNotAMap && !kept.contains(was[i])) remove_message(ch, was[i]);
  }
  for (std::size_t i = prefix; i < now.size() - suffix; ++i) {
    if (now[i] != kNotAMap && !messages_.contains(now[i])) read_message(doc, ch, channel, now[i]);
  }
  ch.elements = std::move(now);
}

void MessageIndex::reread(const crdt::Document& doc, crdt::ObjId message) {
  MessageEntry& entry = messages_.at(message);
  ChannelList& ch = channels_.at(entry.channel);
  bool top_level = str_or_empty(doc, message, key::kParent).empty();
  if (top_level != entry.top_level) {
    top_level ? ++ch.top_level : --ch.top_level;
    entry.top_level = top_level;
  }
  set_text(entry, message, get_text_obj(doc, message, key::kText));
  std::optional<std::string> id = get_str(doc, message, key::kId);
  if (id == entry.id) return;
  if (entry.id) remove_id(ch, message, *entry.id);
  // A renamed message keeps its place in the list; among duplicates the first
  // by position wins, which find() works out from the element order.
  if (id) add_id(ch, message, *id);
  entry.id = std::move(id);
}

std::optional<std::string> MessageIndex::channel_of_list(crdt::ObjId obj) const {
  auto it = list_channel_.find(obj);
  if (it == list_channel_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> MessageIndex::message_of(crdt::ObjId obj) const {
  if (auto owner = text_owner_.find(obj); owner != text_owner_.end()) obj = owner->second;
  auto it = messages_.find(obj);
  if (it == messages_.end()) return std::nullopt;
  return it->second.id;
}

std::map<std::string, crdt::ObjId> MessageIndex::lists() const {
  std::map<std::string, crdt::ObjId> out;
  for (const auto& [channel, ch] : channels_) out.emplace(channel, ch.list);
  return out;
}

std::size_t MessageIndex::top_level_count(std::string_view channel) const {
  auto ch = channels_.find(channel);
  return ch == channels_.end() ? 0 : ch->second.top_level;
}

bool MessageIndex::exists(std::string_view id) const {
  return id_count_.contains(id);
}

std::optional<MessageIndex::Found> MessageIndex::find(std::string_view channel,
                                                      std::string_view id) const {
  auto ch = channels_.find(channel);
  if (ch == channels_.end()) return std::nullopt;
  auto hit = ch->second.by_id.find(id);
  if (hit == ch->second.by_id.end() || hit->second.empty()) return std::nullopt;
  const std::vector<crdt::ObjId>& candidates = hit->second;
  if (candidates.size() == 1) return Found{ch->second.list, candidates.front()};
  for (crdt::ObjId element : ch->second.elements) {
    if (std::find(candidates.begin(), candidates.end(), element) != candidates.end()) {
      return Found{ch->second.list, element};
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> MessageIndex::position(std::string_view channel,
                                                  crdt::ObjId message) const {
  auto ch = channels_.find(channel);
  if (ch == channels_.end()) return std::nullopt;
  const std::vector<crdt::ObjId>& elements = ch->second.elements;
  auto it = std::find(elements.begin(), elements.end(), message);
  if (it == elements.end()) return std::nullopt;
  return static_cast<std::size_t>(it - elements.begin());
}

void MessageIndex::note_appended(const crdt::Document& doc, std::string_view channel,
                                 crdt::ObjId list, crdt::ObjId message, std::string_view id,
                                 bool top_level, const std::vector<crdt::ObjId>& changed) {
  auto it = channels_.find(channel);
  if (get_map(doc, crdt::ObjId::root(), key::kMessages) != messages_map_ || it == channels_.end() ||
      it->second.list != list) {
    // A list the index has not seen yet (the channel's first message, or a
    // new "messages" map) holds next to nothing: read it like the others.
    refresh(doc, changed);
    return;
  }
  ChannelList& ch = it->second;
  ch.elements.push_back(message);
  add_message(doc, ch, it->first, message, std::string(id), top_level);
  // Everything else reported is the caller's own writes inside the message.
  process(doc, changed, list);
}

void MessageIndex::note_removed(const crdt::Document& doc, std::string_view channel,
                                std::size_t position, const std::vector<crdt::ObjId>& changed) {
  auto it = channels_.find(channel);
  if (it == channels_.end() || position >= it->second.elements.size()) {
    refresh(doc, changed);
    return;
  }
  ChannelList& ch = it->second;
  crdt::ObjId message = ch.elements[position];
  ch.elements.erase(ch.elements.begin() + static_cast<std::ptrdiff_t>(position));
  if (message != kNotAMap) remove_message(ch, message);
  process(doc, changed, ch.list);
}

}  // namespace chat::doc
