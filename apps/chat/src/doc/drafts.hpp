#pragma once
// Composer drafts live in the document as text objects under "drafts", one per
// draft key, so that every keystroke merges with the other replicas.

#include <string_view>

#include "crdt/document.hpp"

namespace chat::doc {

// Afterwards the draft reads `text`; only the changed range is spliced.
void set_draft(crdt::Document& doc, std::string_view draft_key, std::string_view text);
// Empties the draft; its text object stays in the document.
void clear_draft(crdt::Document& doc, std::string_view draft_key);

}  // namespace chat::doc
