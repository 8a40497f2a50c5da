#pragma once
// Where every message of the document lives, by id. SendMessage must know
// whether an id exists anywhere and every message action must find its target;
// walking all channels for that would cost a scan of the whole document per
// action. The index follows the engine's change events: only the message
// lists the engine reports as changed are compared again, and the writes made
// through this module update it directly.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "crdt/document.hpp"

namespace chat::doc {

struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
template <typename V>
using StringMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

class MessageIndex {
 public:
  struct Found {
    crdt::ObjId list;     // the channel's message list
    crdt::ObjId message;  // the message map
  };

  // Reads the whole "messages" map again.
  void rebuild(const crdt::Document& doc);
  // Folds in the objects the engine reported as changed (sorted, as
  // Document::take_changed_objects answers them).
  void refresh(const crdt::Document& doc, const std::vector<crdt::ObjId>& changed);

  // A message map with this "id" is in some channel's list.
  bool exists(std::string_view id) const;
  // The first message map in the channel's list whose "id" equals `id`.
  std::optional<Found> find(std::string_view channel, std::string_view id) const;
  // Position of a message map in its channel's list.
  std::optional<std::size_t> position(std::string_view channel, crdt::ObjId message) const;
  // Messages of the channel without a parent (the thread roots).
  std::size_t top_level_count(std::string_view channel) const;

  // Writes made by this module, with the change events they raised. Each must
  // follow a refresh() with nothing but the caller's own writes in between:
  // the list the index is told about is then not compared again.
  void note_appended(const crdt::Document& doc, std::string_view channel, crdt::ObjId list,
                     crdt::ObjId message, std::string_view id, bool top_level,
                     const std::vector<crdt::ObjId>& changed);
  void note_removed(const crdt::Document& doc, std::string_view channel, std::size_t position,
                    const std::vector<crdt::ObjId>& changed);

  std::size_t size() const { return messages_.size(); }

  // What an object the engine reported as changed is to the chat: the
  // channel whose message list it is, or the id of the message whose map or
  // text it is. Nothing for other objects.
  std::optional<std::string> channel_of_list(crdt::ObjId obj) const;
  std::optional<std::string> message_of(crdt::ObjId obj) const;
  // The "messages" map, and each channel's list in it.
  std::optional<crdt::ObjId> messages_map() const { return messages_map_; }
  std::map<std::string, crdt::ObjId> lists() const;

 private:
  struct ChannelList {
    crdt::ObjId list;
    std::vector<crdt::ObjId> elements;  // root() stands for an element that is no map
    StringMap<std::vector<crdt::ObjId>> by_id;
    std::size_t top_level = 0;
  };
  struct MessageEntry {
    std::string channel;
    std::optional<std::string> id;
    bool top_level = true;
    std::optional<crdt::ObjId> text;
  };

  void clear();
  void index_channel(const crdt::Document& doc, const std::string& channel, crdt::ObjId list);
  void drop_channel(const std::string& channel);
  void sync_channel_keys(const crdt::Document& doc);
  void sync_list(const crdt::Document& doc, const std::string& channel);
  void reread(const crdt::Document& doc, crdt::ObjId message);
  void read_message(const crdt::Document& doc, ChannelList& ch, const std::string& channel,
                    crdt::ObjId message);
  void add_message(const crdt::Document& doc, ChannelList& ch, const std::string& channel,
                   crdt::ObjId message, std::optional<std::string> id, bool top_level);
  void set_text(MessageEntry& entry, crdt::ObjId message, std::optional<crdt::ObjId> text);
  void remove_message(ChannelList& ch, crdt::ObjId message);
  void add_id(ChannelList& ch, crdt::ObjId message, const std::string& id);
  void remove_id(ChannelList& ch, crdt::ObjId message, const std::string& id);
  void process(const crdt::Document& doc, const std::vector<crdt::ObjId>& changed,
               std::optional<crdt::ObjId> current_list);

  std::optional<crdt::ObjId> messages_map_;
  StringMap<ChannelList> channels_;
  std::unordered_map<crdt::ObjId, std::string> list_channel_;
  std::unordered_map<crdt::ObjId, MessageEntry> messages_;
  std::unordered_map<crdt::ObjId, crdt::ObjId> text_owner_;  // text -> message map
  StringMap<std::uint32_t> id_count_;
};

}  // namespace chat::doc
