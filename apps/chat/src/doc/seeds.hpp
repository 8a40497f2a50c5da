#pragma once
// The two built-in datasets that fill a new workspace document: the home seed
// a real user starts from, and the demo seed the screenshot scenarios show.
// Both are guarded by the root's "seeded" flag, written first, so a document
// is seeded at most once whatever happens to it later.

#include <cstdint>
#include <string_view>

#include "crdt/document.hpp"
#include "doc/workspace_doc.hpp"
#include "model/records.hpp"

namespace chat::doc {

void seed_home(crdt::Document& doc, std::string_view person_id, std::string_view name,
               std::string_view initials);
void seed_demo(WorkspaceDoc& doc);

// Makes the person read with these values, writing only what differs (a
// start with an unchanged identity adds no change). Answers whether it wrote.
bool upsert_local_person(crdt::Document& doc, std::string_view id, std::string_view name,
                         std::string_view initials, std::int64_t color_idx, PersonStatus status);

}  // namespace chat::doc
