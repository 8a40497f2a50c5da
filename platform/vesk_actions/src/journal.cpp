#include "vesk_actions/journal.hpp"

#include <utility>

namespace vesk_actions {

std::optional<TypedActionBefore> typed_action_before(TypedActionJournal& journal,
                                                     const EncodedAction& action,
                                                     TypedActionRecord record,
                                                     std::vector<std::string> heads_before,
                                                     std::string actor) {
  if (journal.capacity_ == 0 || action.operation_type) return std::nullopt;
  TypedActionBefore before;
  before.sequence = journal.next_sequence_++;
  before.record = std::move(record);
  before.kind = action.kind;
  before.heads_before = std::move(heads_before);
  before.actor = std::move(actor);
  return before;
}

void report_typed_action(TypedActionJournal& journal, TypedActionBefore before,
                         std::vector<std::string> heads_after) {
  if (journal.capacity_ == 0) return;
  JournalEntry entry;
  entry.sequence = before.sequence;
  entry.record = std::move(before.record);
  entry.kind = std::move(before.kind);
  entry.actor = std::move(before.actor);
  entry.heads_before = std::move(before.heads_before);
  entry.heads_after = std::move(heads_after);
  journal.entries_.push_back(std::move(entry));
  while (journal.entries_.size() > journal.capacity_) {
    journal.entries_.pop_front();
    ++journal.evicted_;
  }
}

}  // namespace vesk_actions
