#pragma once
// The typed-action journal: a bounded record of who did what to the document,
// with the heads before and after each change, so that a change can be found
// again in the document's history.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "vesk_actions/action.hpp"
#include "vesk_actions/resource.hpp"

namespace vesk_actions {

struct TypedActionRecord {
  std::string app_id;    // reverse-domain identifier
  std::string app_name;  // display name
  std::string value;     // the action's JSON value
  std::string label;
  ActionAddress resource;
  std::string resource_label;
};

struct TypedActionBefore {
  std::uint64_t sequence = 0;
  TypedActionRecord record;
  std::string kind;
  std::vector<std::string> heads_before;
  std::string actor;
};

struct JournalEntry {
  std::uint64_t sequence = 0;
  TypedActionRecord record;
  std::string kind;
  std::string actor;
  std::vector<std::string> heads_before;
  std::vector<std::string> heads_after;
};

class TypedActionJournal {
 public:
  explicit TypedActionJournal(std::size_t capacity = 512) : capacity_(capacity) {}

  std::size_t capacity() const { return capacity_; }
  const std::deque<JournalEntry>& entries() const { return entries_; }
  // Entries pushed out by newer ones since the journal was made.
  std::uint64_t evicted() const { return evicted_; }

 private:
  friend std::optional<TypedActionBefore> typed_action_before(TypedActionJournal&,
                                                              const EncodedAction&,
                                                              TypedActionRecord,
                                                              std::vector<std::string>,
                                                              std::string);
  friend void report_typed_action(TypedActionJournal&, TypedActionBefore, std::vector<std::string>);

  std::size_t capacity_;
  std::uint64_t next_sequence_ = 1;
  std::uint64_t evicted_ = 0;
  std::deque<JournalEntry> entries_;
};

// None when the journal is switched off (capacity 0) or the action is an
// operation: only document changes are typed actions.
std::optional<TypedActionBefore> typed_action_before(TypedActionJournal& journal,
                                                     const EncodedAction& action,
                                                     TypedActionRecord record,
                                                     std::vector<std::string> heads_before,
                                                     std::string actor);
void report_typed_action(TypedActionJournal& journal, TypedActionBefore before,
                         std::vector<std::string> heads_after);

}  // namespace vesk_actions
