#pragma once
// Message records as last read, each with the document objects its reading
// went through. A change event for any of those objects drops the record, so
// a refresh rereads the channel's list but only the messages that changed;
// what it answers is what a full reread would.

#include <string_view>
#include <unordered_map>
#include <vector>

#include "crdt/document.hpp"
#include "model/records.hpp"

namespace chat::doc {

class MessageCache {
 public:
  // Drops every record that read one of these objects.
  void forget(const std::vector<crdt::ObjId>& changed);
  // The record of one message map of `channel`, read now unless held.
  const Message& get(const crdt::Document& doc, crdt::ObjId message, std::string_view channel);
  void clear();
  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    Message message;
    std::vector<crdt::ObjId> read;
  };
  void drop(crdt::ObjId message);

  std::unordered_map<crdt::ObjId, Entry> entries_;
  std::unordered_map<crdt::ObjId, crdt::ObjId> owner_;  // object read -> message map
};

}  // namespace chat::doc
