#pragma once
// The workspace document as the chat writes it: the engine's document, lent by
// its owner, together with the message index that the writers keep current.
// One WorkspaceDoc per document, living as long as the document; it takes the
// document's change events, so nothing else should drain them (poll
// Document::revision() to learn that something changed).

#include "crdt/document.hpp"
#include "doc/message_index.hpp"

namespace chat::doc {

class WorkspaceDoc {
 public:
  explicit WorkspaceDoc(crdt::Document& doc) : doc_(&doc) {}

  crdt::Document& doc() { return *doc_; }
  const crdt::Document& doc() const { return *doc_; }

  // The index, brought up to date with every change the engine reported
  // since the last call (built from a full read on first use).
  MessageIndex& messages() {
    if (!built_) {
      doc_->take_changed_objects();
      index_.rebuild(*doc_);
      built_ = true;
    } else {
      index_.refresh(*doc_);
    }
    return index_;
  }

  // The index as it stands, for writers that report their own writes to it
  // right after a messages() call (see MessageIndex::note_appended).
  MessageIndex& index_for_writes() { return index_; }

 private:
  crdt::Document* doc_;
  MessageIndex index_;
  bool built_ = false;
};

}  // namespace chat::doc
