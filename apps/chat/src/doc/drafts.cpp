#include "doc/drafts.hpp"

#include "doc/access.hpp"
#include "doc/schema.hpp"

namespace chat::doc {

void set_draft(Document& doc, std::string_view draft_key, std::string_view text) {
  auto drafts = ensure_map(doc, ObjId::root(), key::kDrafts);
  if (!drafts) return;
  if (auto draft = ensure_text(doc, *drafts, draft_key)) set_text(doc, *draft, text);
}

void clear_draft(Document& doc, std::string_view draft_key) {
  set_draft(doc, draft_key, "");
}

}  // namespace chat::doc
