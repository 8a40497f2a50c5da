#include "doc/access.hpp"

#include <cmath>
#include <limits>

#include "base/log.hpp"

namespace chat::doc {
namespace {

constexpr std::string_view kWhere = "doc";

thread_local std::vector<ObjId>* t_recording = nullptr;

std::optional<ObjId> object_of(const Document& doc, ObjId obj, std::string_view key,
                               crdt::ObjType type) {
  auto value = doc.get(obj, key);
  if (!value) return std::nullopt;
  auto found = value->object(type);
  if (found) ReadRecorder::note(*found);
  return found;
}

void report(const base::Status& status, std::string_view what) {
  if (!status.ok()) base::log::error(kWhere, "document refused {}: {}", what, status.error());
}

std::optional<ObjId> ensure_object(Document& doc, ObjId obj, std::string_view key,
                                   crdt::ObjType type) {
  if (auto existing = object_of(doc, obj, key, type)) return existing;
  auto made = doc.put_object(obj, key, type);
  if (!made.ok()) {
    report(base::Status(base::make_error(made.error())), "a new object");
    return std::nullopt;
  }
  return *made;
}

}  // namespace

ReadRecorder::ReadRecorder(std::vector<ObjId>& into) : previous_(t_recording) {
  t_recording = &into;
}
ReadRecorder::~ReadRecorder() {
  t_recording = previous_;
}
void ReadRecorder::note(ObjId obj) {
  if (t_recording) t_recording->push_back(obj);
}

std::optional<ObjId> get_map(const Document& doc, ObjId obj, std::string_view key) {
  return object_of(doc, obj, key, crdt::ObjType::Map);
}
std::optional<ObjId> get_list(const Document& doc, ObjId obj, std::string_view key) {
  return object_of(doc, obj, key, crdt::ObjType::List);
}
std::optional<ObjId> get_text_obj(const Document& doc, ObjId obj, std::string_view key) {
  return object_of(doc, obj, key, crdt::ObjType::Text);
}

std::optional<std::string> get_str(const Document& doc, ObjId obj, std::string_view key) {
  auto value = doc.get(obj, key);
  if (!value) return std::nullopt;
  if (const std::string* s = value->str()) return *s;
  return std::nullopt;
}

std::optional<std::int64_t> int_of(const crdt::Value& value) {
  if (auto i = value.i64()) return *i;
  // Unsigned values above the signed range keep their bits, like any other
  // narrowing the readers do.
  if (auto u = value.u64()) return static_cast<std::int64_t>(*u);
  if (auto f = value.f64()) {
    double d = std::trunc(*f);
    if (std::isnan(d)) return std::nullopt;
    if (d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

std::optional<std::int64_t> get_int(const Document& doc, ObjId obj, std::string_view key) {
  auto value = doc.get(obj, key);
  if (!value) return std::nullopt;
  return int_of(*value);
}

std::optional<bool> get_bool(const Document& doc, ObjId obj, std::string_view key) {
  auto value = doc.get(obj, key);
  if (!value) return std::nullopt;
  return value->boolean();
}

std::optional<std::string> get_text(const Document& doc, ObjId obj, std::string_view key) {
  auto text = get_text_obj(doc, obj, key);
  if (!text) return std::nullopt;
  return doc.text(*text);
}

std::string str_or_empty(const Document& doc, ObjId obj, std::string_view key) {
  return get_str(doc, obj, key).value_or(std::string());
}
std::int64_t int_or_zero(const Document& doc, ObjId obj, std::string_view key) {
  return get_int(doc, obj, key).value_or(0);
}
bool bool_or_false(const Document& doc, ObjId obj, std::string_view key) {
  return get_bool(doc, obj, key).value_or(false);
}

std::optional<ObjId> ensure_map(Document& doc, ObjId obj, std::string_view key) {
  return ensure_object(doc, obj, key, crdt::ObjType::Map);
}
std::optional<ObjId> ensure_list(Document& doc, ObjId obj, std::string_view key) {
  return ensure_object(doc, obj, key, crdt::ObjType::List);
}
std::optional<ObjId> ensure_text(Document& doc, ObjId obj, std::string_view key) {
  return ensure_object(doc, obj, key, crdt::ObjType::Text);
}

void put_str(Document& doc, ObjId obj, std::string_view key, std::string_view value) {
  report(doc.put(obj, key, crdt::Scalar(std::string(value))), "a string");
}
void put_int(Document& doc, ObjId obj, std::string_view key, std::int64_t value) {
  report(doc.put(obj, key, crdt::Scalar(value)), "an integer");
}
void put_bool(Document& doc, ObjId obj, std::string_view key, bool value) {
  report(doc.put(obj, key, crdt::Scalar(value)), "a boolean");
}

bool put_str_if_changed(Document& doc, ObjId obj, std::string_view key, std::string_view value) {
  auto stored = get_str(doc, obj, key);
  if (stored && *stored == value) return false;
  put_str(doc, obj, key, value);
  return true;
}
bool put_int_if_changed(Document& doc, ObjId obj, std::string_view key, std::int64_t value) {
  if (int_or_zero(doc, obj, key) == value) return false;
  put_int(doc, obj, key, value);
  return true;
}
bool put_bool_if_changed(Document& doc, ObjId obj, std::string_view key, bool value) {
  if (bool_or_false(doc, obj, key) == value) return false;
  put_bool(doc, obj, key, value);
  return true;
}

std::optional<ObjId> insert_map(Document& doc, ObjId list, std::size_t index) {
  auto made = doc.insert_object(list, index, crdt::ObjType::Map);
  if (!made.ok()) {
    base::log::error(kWhere, "document refused a list element: {}", made.error());
    return std::nullopt;
  }
  return *made;
}
std::optional<ObjId> append_map(Document& doc, ObjId list) {
  return insert_map(doc, list, doc.length(list));
}

void delete_key(Document& doc, ObjId map, std::string_view key) {
  if (!doc.get(map, key)) return;
  report(doc.delete_key(map, key), "a key deletion");
}
void delete_index(Document& doc, ObjId list, std::size_t index) {
  report(doc.delete_at(list, index), "an element deletion");
}

void set_text(Document& doc, ObjId text, std::string_view content) {
  report(crdt::splice_text_diffed(doc, text, content), "a text splice");
}

}  // namespace chat::doc
