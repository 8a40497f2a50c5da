#pragma once
// The small set of operations through which the chat reads and writes the
// workspace document. Readers are tolerant: a missing key or a value of
// another kind answers nothing, never an error, because other writers and
// older releases share the document. Writers never fail towards their caller;
// an engine refusal is an internal error that is logged and skipped.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/document.hpp"

namespace chat::doc {

using crdt::Document;
using crdt::ObjId;

// ---- reads ----
// While one lives, every object the readers below find is also appended to
// `into`: the objects a record read depended on, so a cache of records can
// tell from the engine's change events which records went stale.
class ReadRecorder {
 public:
  explicit ReadRecorder(std::vector<ObjId>& into);
  ~ReadRecorder();
  ReadRecorder(const ReadRecorder&) = delete;
  ReadRecorder& operator=(const ReadRecorder&) = delete;
  // For readers that reach objects by other ways (list elements).
  static void note(ObjId obj);

 private:
  std::vector<ObjId>* previous_;
};

std::optional<ObjId> get_map(const Document& doc, ObjId obj, std::string_view key);
std::optional<ObjId> get_list(const Document& doc, ObjId obj, std::string_view key);
std::optional<ObjId> get_text_obj(const Document& doc, ObjId obj, std::string_view key);
std::optional<std::string> get_str(const Document& doc, ObjId obj, std::string_view key);
// Signed or unsigned integers, and floats truncated towards zero (saturating;
// NaN answers nothing).
std::optional<std::int64_t> get_int(const Document& doc, ObjId obj, std::string_view key);
std::optional<bool> get_bool(const Document& doc, ObjId obj, std::string_view key);
// Content of the text object under the key; nothing for a plain string.
std::optional<std::string> get_text(const Document& doc, ObjId obj, std::string_view key);

// The same readers, defaulting as the record readers want them.
std::string str_or_empty(const Document& doc, ObjId obj, std::string_view key);
std::int64_t int_or_zero(const Document& doc, ObjId obj, std::string_view key);
bool bool_or_false(const Document& doc, ObjId obj, std::string_view key);

// The integer reading of one scalar value (shared with list elements).
std::optional<std::int64_t> int_of(const crdt::Value& value);

// ---- writes ----
// The object under the key when it already has the kind; otherwise a new empty
// one replacing whatever was there. Nothing only when the engine refuses.
std::optional<ObjId> ensure_map(Document& doc, ObjId obj, std::string_view key);
std::optional<ObjId> ensure_list(Document& doc, ObjId obj, std::string_view key);
std::optional<ObjId> ensure_text(Document& doc, ObjId obj, std::string_view key);

void put_str(Document& doc, ObjId obj, std::string_view key, std::string_view value);
void put_int(Document& doc, ObjId obj, std::string_view key, std::int64_t value);
void put_bool(Document& doc, ObjId obj, std::string_view key, bool value);

// Upserts: write only when the stored value reads differently, so replaying
// a change records nothing. Answer whether they wrote. A missing string
// counts as different; a missing integer as 0 and a missing flag as false.
bool put_str_if_changed(Document& doc, ObjId obj, std::string_view key, std::string_view value);
bool put_int_if_changed(Document& doc, ObjId obj, std::string_view key, std::int64_t value);
bool put_bool_if_changed(Document& doc, ObjId obj, std::string_view key, bool value);

std::optional<ObjId> insert_map(Document& doc, ObjId list, std::size_t index);
std::optional<ObjId> append_map(Document& doc, ObjId list);
void delete_key(Document& doc, ObjId map, std::string_view key);
void delete_index(Document& doc, ObjId list, std::size_t index);
// Afterwards the text object holds `content`; only the differing range is
// spliced so untouched characters keep their identity for concurrent edits.
void set_text(Document& doc, ObjId text, std::string_view content);

}  // namespace chat::doc
