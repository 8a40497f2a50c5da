#pragma once
// The workspace document as the chat writes it: the engine's document, lent by
// its owner, together with what is kept current from the engine's change
// events — the message index and the cache of message records. One
// WorkspaceDoc per document, living as long as the document; it takes the
// document's change events, so nothing else should drain them (poll
// Document::revision() to learn that something changed).

#include <string_view>
#include <vector>

#include "crdt/document.hpp"
#include "doc/message_cache.hpp"
#include "doc/message_index.hpp"
#include "model/records.hpp"

namespace chat::doc {

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

 private:
  std::vector<crdt::ObjId> take_events();

  crdt::Document* doc_;
  MessageIndex index_;
  MessageCache cache_;
  bool built_ = false;
};

}  // namespace chat::doc
