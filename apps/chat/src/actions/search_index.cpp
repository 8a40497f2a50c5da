#include "actions/search_index.hpp"

#include <utility>

#include "actions/chat_control.hpp"

namespace chat {

using vesk_actions::SearchEntry;

namespace {

std::string message_title(const Message& m) {
  if (!m.text.empty()) return m.text;
  if (m.attachment) return m.attachment->name();
  return "Attachment";
}

std::string glyph_name(const Channel& c) {
  return std::string(channel_glyph(c.kind)) + c.name;
}

}  // namespace

SearchEntry message_entry(const Message& message, const Channel& channel,
                          const std::string& workspace_name, const std::string& author_name) {
  return SearchEntry{"Messages", message_title(message),
                     author_name + " · " + glyph_name(channel) + " · " + workspace_name, "",
                     "chat.message:" + message.id};
}

std::vector<SearchEntry> structure_entries(const ChatReader& reader) {
  std::vector<SearchEntry> out;
  const auto workspaces = reader.workspaces();
  std::map<std::string, std::string> ws_names;
  for (const auto& w : workspaces) {
    ws_names[w.id] = w.name;
    out.push_back({"Workspaces", w.name, "Workspace", "", "chat.workspace:" + w.id});
  }
  for (const auto& c : reader.channels()) {
    std::string subtitle = ws_names[c.workspace];
    if (!c.topic.empty()) subtitle += " · " + c.topic;
    out.push_back(
        {"Conversations", glyph_name(c), std::move(subtitle), "", "chat.channel:" + c.id});
  }
  for (const auto& c : reader.categories()) {
    out.push_back({"Categories", c.name,
                   ws_names[c.workspace] + " " + (c.collapsed ? "collapsed" : "expanded"), "",
                   "chat.category:" + c.id});
  }
  for (const auto& p : reader.people()) {
    out.push_back({"People", p.name, p.agent ? "Agent" : "Person", "", "chat.person:" + p.id});
  }
  return out;
}

ChatSearchIndex::ChatSearchIndex(std::shared_ptr<vesk_actions::SearchCatalog> catalog)
    : catalog_(std::move(catalog)) {}

void ChatSearchIndex::rebuild(const ChatReader& reader) {
  catalog_->clear();
  structure_addresses_.clear();
  channels_.clear();
  person_names_.clear();
  messages_by_channel_.clear();
  channel_of_message_.clear();
  channels_by_author_.clear();
  std::set<std::string> ignored;
  refresh_structure(reader, ignored);
  for (const auto& [id, _] : channels_) refresh_channel(reader, id);
}

void ChatSearchIndex::update(const ChatReader& reader, const SearchChanges& changes) {
  if (changes.everything) {
    rebuild(reader);
    return;
  }
  std::set<std::string> stale;  // channels whose every entry reads differently now
  if (changes.structure) refresh_structure(reader, stale);
  for (const auto& id : stale) refresh_channel(reader, id);
  for (const auto& id : changes.channels) {
    if (!stale.count(id)) reconcile_channel(reader, id);
  }
  for (const auto& id : changes.messages) {
    const auto it = channel_of_message_.find(id);
    if (it != channel_of_message_.end() && stale.count(it->second)) continue;  // done above
    refresh_message(reader, id);
  }
}

void ChatSearchIndex::follow(doc::WorkspaceDoc& doc) {
  if (followed_revision_ == doc.doc().revision()) return;
  const DocumentChatReader reader(doc);
  update(reader, doc.take_changes());
  // Reading changes nothing, so this is the revision the catalog now shows.
  followed_revision_ = doc.doc().revision();
}

void ChatSearchIndex::reconcile_channel(const ChatReader& reader, const std::string& channel) {
  if (!channels_.count(channel)) {
    refresh_channel(reader, channel);  // the channel went away: drop its messages
    return;
  }
  const auto ids = reader.message_ids(channel);
  const std::set<std::string> now(ids.begin(), ids.end());
  auto held = messages_by_channel_[channel];  // a copy: forgetting edits the original
  for (const auto& id : held) {
    if (!now.count(id)) forget_message(id);
  }
  for (const auto& id : now) {
    if (!held.count(id)) refresh_message(reader, id);
  }
  if (messages_by_channel_[channel].empty()) messages_by_channel_.erase(channel);
}

SearchChanges search_changes_for(const ChatAction& action) {
  namespace ca = chat_action;
  SearchChanges changes;
  std::visit(
      [&](const auto& a) {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, ca::SendMessage> || std::is_same_v<T, ca::EditMessage> ||
                      std::is_same_v<T, ca::DeleteMessage>) {
          changes.messages.insert(a.id);
        } else if constexpr (std::is_same_v<T, ca::SetAgentWork>) {
          // An update that speaks may add a message to the channel.
          if (a.say) changes.channels.insert(a.channel);
        } else if constexpr (std::is_same_v<T, ca::CreateChannel> ||
                             std::is_same_v<T, ca::CreateCategory> ||
                             std::is_same_v<T, ca::RenameCategory> ||
                             std::is_same_v<T, ca::DeleteCategory> ||
                             std::is_same_v<T, ca::SetCategoryCollapsed> ||
                             std::is_same_v<T, ca::RenameChannel> ||
                             std::is_same_v<T, ca::DeleteChannel> ||
                             std::is_same_v<T, ca::ArchiveChannel> ||
                             std::is_same_v<T, ca::ReorderChannel>) {
          changes.structure = true;
        }
        // Reactions, pins, reads and calls show in no entry.
      },
      action.value);
  return changes;
}

void ChatSearchIndex::refresh_structure(const ChatReader& reader, std::set<std::string>& stale) {
  std::set<std::string> seen;
  for (auto& entry : structure_entries(reader)) {
    seen.insert(entry.action_address);
    catalog_->insert(std::move(entry));
  }
  for (const auto& address : structure_addresses_) {
    if (!seen.count(address)) catalog_->remove_postings(address);
  }
  structure_addresses_ = std::move(seen);

  // Message subtitles show channel, workspace and author names: find the
  // channels whose messages now read differently.
  std::map<std::string, std::string> ws_names;
  for (const auto& w : reader.workspaces()) ws_names[w.id] = w.name;
  std::map<std::string, ChannelInfo> channels;
  for (const auto& c : reader.channels()) {
    ChannelInfo info{c, ws_names[c.workspace]};
    info.channel.unread = 0;  // view state, not part of any entry
    channels.emplace(c.id, std::move(info));
  }
  for (const auto& [id, info] : channels_) {
    auto it = channels.find(id);
    if (it == channels.end() || it->second.workspace_name != info.workspace_name ||
        glyph_name(it->second.channel) != glyph_name(info.channel)) {
      stale.insert(id);
    }
  }
  channels_ = std::move(channels);
  std::map<std::string, std::string> names;
  for (const auto& p : reader.people()) names[p.id] = p.name;
  for (const auto& [id, name] : names) {
    auto old = person_names_.find(id);
    if (old != person_names_.end() && old->second == name) continue;
    if (auto by = channels_by_author_.find(id); by != channels_by_author_.end()) {
      stale.insert(by->second.begin(), by->second.end());
    }
  }
  for (const auto& [id, _] : person_names_) {
    if (!names.count(id)) {
      if (auto by = channels_by_author_.find(id); by != channels_by_author_.end()) {
        stale.insert(by->second.begin(), by->second.end());
      }
    }
  }
  person_names_ = std::move(names);
}

std::optional<SearchEntry> ChatSearchIndex::entry_for(const Message& m) const {
  const auto ch = channels_.find(m.channel);
  if (ch == channels_.end()) return std::nullopt;
  const auto author = person_names_.find(m.author);
  return message_entry(m, ch->second.channel, ch->second.workspace_name,
                       author != person_names_.end() ? author->second : m.author);
}

void ChatSearchIndex::forget_message(const std::string& id) {
  catalog_->remove_postings("chat.message:" + id);
  auto it = channel_of_message_.find(id);
  if (it == channel_of_message_.end()) return;
  auto list = messages_by_channel_.find(it->second);
  if (list != messages_by_channel_.end()) list->second.erase(id);
  channel_of_message_.erase(it);
}

void ChatSearchIndex::refresh_channel(const ChatReader& reader, const std::string& channel) {
  std::set<std::string> now;
  if (channels_.count(channel)) {
    for (const auto& m : reader.messages(channel)) {
      auto entry = entry_for(m);
      if (!entry) continue;
      now.insert(m.id);
      channel_of_message_[m.id] = channel;
      channels_by_author_[m.author].insert(channel);
      catalog_->insert(std::move(*entry));
    }
  }
  auto& held = messages_by_channel_[channel];
  for (const auto& id : held) {
    if (now.count(id)) continue;
    catalog_->remove_postings("chat.message:" + id);
    auto it = channel_of_message_.find(id);
    if (it != channel_of_message_.end() && it->second == channel) channel_of_message_.erase(it);
  }
  held = std::move(now);
  if (held.empty()) messages_by_channel_.erase(channel);
}

void ChatSearchIndex::refresh_message(const ChatReader& reader, const std::string& id) {
  const auto m = reader.find_message(id);
  auto entry = m ? entry_for(*m) : std::nullopt;
  if (!entry) {
    forget_message(id);
    return;
  }
  auto moved = channel_of_message_.find(id);
  if (moved != channel_of_message_.end() && moved->second != m->channel) forget_message(id);
  channel_of_message_[id] = m->channel;
  messages_by_channel_[m->channel].insert(id);
  channels_by_author_[m->author].insert(m->channel);
  catalog_->insert(std::move(*entry));
}

std::optional<vesk_actions::Resource> resolve_search_result(const ChatReader& reader,
                                                            std::string_view address) {
  static constexpr std::string_view kPrefixes[] = {
      "chat.workspace:", "chat.channel:", "chat.category:", "chat.person:", "chat.message:"};
  bool known = false;
  for (auto p : kPrefixes) known = known || address.substr(0, p.size()) == p;
  if (!known) return std::nullopt;
  const ResourceContext ctx{reader, "", "", {}, {}};
  auto full = resolve_address(ctx, address);
  if (!full) return std::nullopt;
  vesk_actions::Resource out(full->address(), full->label());
  if (const auto* open = full->find_action("open")) out.with_action(*open);
  return out;
}

}  // namespace chat
