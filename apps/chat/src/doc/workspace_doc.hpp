#pragma once
// The workspace document as the chat writes it: the engine's document, lent by
// its owner, together with what is kept current from the engine's change
// events — the message index and the cache of message records. One
// WorkspaceDoc per document, living as long as the document; it takes the
// document's change events, so nothing else should drain them (poll
// Document::revision() to learn that something changed, and take_changes()
// to learn what).

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "crdt/document.hpp"
#include "doc/message_cache.hpp"
#include "doc/message_index.hpp"
#include "model/records.hpp"

namespace chat::doc {

// What changed in the document, in the chat's terms.
struct ChatChanges {
  // Workspaces, categories, channels or people changed (their records are
  // few; compare them one by one).
  bool structure = false;
  // Channels whose message lists changed: messages came or went.
  std::set<std::string> channels;
  // Messages, by id, whose own fields or text changed, or that went away.
  std::set<std::string> messages;
  // Nothing is known of what changed before: read everything again.
  bool everything = false;

  bool empty() const { return !everything && !structure && channels.empty() && messages.empty(); }
  friend bool operator==(const ChatChanges&, const ChatChanges&) = default;
};

class WorkspaceDoc {
 public:
  explicit WorkspaceDoc(crdt::Document& doc) : doc_(&doc) {}

  crdt::Document& doc() { return *doc_; }
  const crdt::Document& doc() const { return *doc_; }

  // The index, brought up to date with every change the engine reported
  // since the last call (built from a full read on first use).
  MessageIndex& messages();

  // Writers report their own writes here, right after a messages() call with
  // nothing but those writes in between (see MessageIndex::note_appended).
  void note_appended(std::string_view channel, crdt::ObjId list, crdt::ObjId message,
                     std::string_view id, bool top_level);
  void note_removed(std::string_view channel, std::size_t position);

  // The channel's messages, equal to list_messages(doc(), channel).
  std::vector<Message> list_messages(std::string_view channel);
  // Equal to read_unread_count(doc(), channel, person) without walking the list.
  std::uint32_t unread_count(std::string_view channel, std::string_view person);

  // What changed since the previous call: local writes, merges and sync
  // alike. For one follower beside this object's own index and cache (the
  // search catalog). Gathering starts with the first call, which answers
  // `everything`.
  ChatChanges take_changes();

 private:
  std::vector<crdt::ObjId> take_events();
  // Folds events the index has just taken in into `changes_`; `lists_before`
  // holds the channels' lists from before, when the "messages" map changed.
  void gather(const std::vector<crdt::ObjId>& changed,
              const std::optional<std::map<std::string, crdt::ObjId>>& lists_before);
  std::optional<std::map<std::string, crdt::ObjId>> lists_if_replaced(
      const std::vector<crdt::ObjId>& changed) const;
  bool touches_structure(const std::vector<crdt::ObjId>& changed);

  crdt::Document* doc_;
  MessageIndex index_;
  MessageCache cache_;
  bool built_ = false;

  bool following_ = false;
  ChatChanges changes_;
  // The root and what the workspaces, categories, channels and people are
  // read from, as of the last change to any of them.
  std::unordered_set<crdt::ObjId> structure_objects_;
};

}  // namespace chat::doc
