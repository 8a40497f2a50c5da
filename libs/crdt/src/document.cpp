// crdt::Document: the public surface over Document::Impl.
#include "crdt/document.hpp"

#include <algorithm>

#include "base/random.hpp"
#include "bytes.hpp"
#include "doc_impl.hpp"

namespace crdt {

using detail::Entry;
using detail::Object;
using detail::Op;
using detail::OpKind;

base::Status load_snapshot(Document::Impl& impl, std::span<const std::uint8_t> bytes);

namespace {
ActorId random_actor() {
  ActorId a;
  base::random_bytes(a.data(), a.size());
  return a;
}
base::Error no_object(const char* want) {
  return base::make_error(std::string("no ") + want + " object with that id");
}
}  // namespace

Document::Document(std::optional<ActorId> actor)
    : impl_(std::make_unique<Impl>(actor ? *actor : random_actor())) {}
Document::Document(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&& other) noexcept {
  if (this != &other) {
    if (impl_) {
      impl_->commit(std::nullopt);
      impl_.reset();
    }
    impl_ = std::move(other.impl_);
  }
  return *this;
}
Document::~Document() {
  if (!impl_) return;
  impl_->commit(std::nullopt);
  if (impl_->storage) (void)impl_->storage->flush();
}

base::Result<Document> Document::open(const std::filesystem::path& path, OpenOptions options) {
  auto impl = std::make_unique<Impl>(random_actor());
  std::vector<detail::Record> records;
  auto storage = detail::Storage::open(path, options, records, impl->report);
  if (!storage.ok()) return std::move(storage).take_error();
  impl->replaying = true;
  for (auto& rec : records) {
    if (rec.type == detail::kRecordSnapshot) {
      auto st = load_snapshot(*impl, rec.payload);
      if (!st.ok()) return base::make_error(path.string() + ": " + st.error());
      continue;
    }
    auto c = detail::decode_change(rec.payload);
    if (!c) return base::make_error(path.string() + ": holds a malformed change");
    auto r = impl->apply_change(std::move(*c), std::move(rec.payload), true);
    if (!r.ok()) return base::make_error(path.string() + ": " + r.error());
  }
  impl->drain_waiting();
  if (!impl->waiting.empty())
    return base::make_error(path.string() + ": holds changes whose dependencies are missing");
  impl->replaying = false;
  impl->report.changes = impl->changes.size();
  impl->storage = std::move(storage.value());
  impl->changed.clear();
  return Document(std::move(impl));
}

const OpenReport& Document::open_report() const {
  return impl_->report;
}

std::vector<std::uint8_t> Document::save() {
  impl_->commit(std::nullopt);
  return impl_->save();
}

base::Result<Document> Document::load(std::span<const std::uint8_t> bytes,
                                      std::optional<ActorId> actor) {
  auto impl = std::make_unique<Impl>(actor ? *actor : random_actor());
  VESK_TRY_STATUS(load_snapshot(*impl, bytes));
  impl->changed.clear();
  return Document(std::move(impl));
}

// ---- reads ----

std::optional<ObjType> Document::object_type(ObjId obj) const {
  if (auto* o = impl_->find(obj)) return o->type;
  return std::nullopt;
}

std::optional<Value> Document::get(ObjId map, std::string_view key) const {
  auto* o = impl_->find(map);
  if (!o || o->type != ObjType::Map) return std::nullopt;
  auto it = o->map.find(key);
  if (it == o->map.end() || it->second.empty()) return std::nullopt;
  return it->second.front().value;
}

std::optional<Value> Document::get(ObjId list, std::size_t index) const {
  auto* o = impl_->find(list);
  if (!o || o->type != ObjType::List || index >= o->seq->visible()) return std::nullopt;
  auto p = o->seq->find_visible(index);
  return impl_->element_value(*o, o->seq->run_at(p), p.off);
}

std::vector<Value> Document::conflicts(ObjId map, std::string_view key) const {
  std::vector<Value> out;
  auto* o = impl_->find(map);
  if (!o || o->type != ObjType::Map) return out;
  auto it = o->map.find(key);
  if (it == o->map.end()) return out;
  for (auto& e : it->second) out.push_back(e.value);
  return out;
}

std::vector<std::string> Document::keys(ObjId map) const {
  std::vector<std::string> out;
  auto* o = impl_->find(map);
  if (!o || o->type != ObjType::Map) return out;
  out.reserve(o->map.size());
  for (auto& [k, v] : o->map) out.push_back(k);
  return out;
}

std::vector<Value> Document::items(ObjId list) const {
  std::vector<Value> out;
  auto* o = impl_->find(list);
  if (!o || o->type != ObjType::List) return out;
  o->seq->for_each_run([&](const detail::Run& r) {
    if (r.deleted) return;
    for (std::uint32_t i = 0; i < r.len; ++i) out.push_back(impl_->element_value(*o, r, i));
  });
  return out;
}

std::size_t Document::length(ObjId obj) const {
  auto* o = impl_->find(obj);
  if (!o) return 0;
  return o->type == ObjType::Map ? o->map.size() : static_cast<std::size_t>(o->seq->visible());
}

std::string Document::text(ObjId text) const {
  std::string out;
  auto* o = impl_->find(text);
  if (!o || o->type != ObjType::Text) return out;
  out.reserve(o->seq->visible());
  o->seq->for_each_visible([&](std::uint32_t content, std::uint32_t n, detail::OpId) {
    for (std::uint32_t i = 0; i < n; ++i) detail::append_utf8(o->chars[content + i], out);
  });
  return out;
}

// ---- writes ----

namespace {
Object* writable(Document::Impl& impl, ObjId id, ObjType type) {
  auto it = impl.objects.find(id);
  if (it == impl.objects.end() || it->second.type != type) return nullptr;
  return &it->second;
}
std::vector<detail::OpId> live_ids(const std::vector<Entry>& entries) {
  std::vector<detail::OpId> ids;
  for (auto& e : entries) ids.push_back(e.id);
  return ids;
}
}  // namespace

static base::Result<detail::OpId> put_op(Document::Impl& impl, ObjId map, std::string_view key,
                                         OpKind kind, Scalar value, ObjType type) {
  Object* o = writable(impl, map, ObjType::Map);
  if (!o) return no_object("map");
  Op op;
  op.kind = kind;
  op.obj = map;
  op.key = std::string(key);
  if (kind == OpKind::Put) op.values.push_back(std::move(value));
  op.type = type;
  if (auto it = o->map.find(key); it != o->map.end()) op.pred = live_ids(it->second);
  return impl.local_op(std::move(op));
}

base::Status Document::put(ObjId map, std::string_view key, Scalar value) {
  auto r = put_op(*impl_, map, key, OpKind::Put, std::move(value), ObjType::Map);
  if (!r.ok()) return std::move(r).take_error();
  return {};
}

base::Result<ObjId> Document::put_object(ObjId map, std::string_view key, ObjType type) {
  return put_op(*impl_, map, key, OpKind::PutObject, Null{}, type);
}

base::Status Document::delete_key(ObjId map, std::string_view key) {
  Object* o = writable(*impl_, map, ObjType::Map);
  if (!o) return no_object("map");
  auto it = o->map.find(key);
  if (it == o->map.end()) return {};
  Op op;
  op.kind = OpKind::DeleteKey;
  op.obj = map;
  op.key = std::string(key);
  op.pred = live_ids(it->second);
  impl_->local_op(std::move(op));
  return {};
}

static base::Result<detail::OpId> insert_op(Document::Impl& impl, ObjId list, std::size_t index,
                                            OpKind kind, Scalar value, ObjType type) {
  Object* o = writable(impl, list, ObjType::List);
  if (!o) return no_object("list");
  if (index > o->seq->visible()) return base::make_error("list index out of range");
  Op op;
  op.kind = kind;
  op.obj = list;
  std::tie(op.ref, op.right) = o->seq->origins_for_insert(index);
  if (kind == OpKind::Insert) op.values.push_back(std::move(value));
  op.type = type;
  return impl.local_op(std::move(op));
}

base::Status Document::insert(ObjId list, std::size_t index, Scalar value) {
  auto r = insert_op(*impl_, list, index, OpKind::Insert, std::move(value), ObjType::Map);
  if (!r.ok()) return std::move(r).take_error();
  return {};
}

base::Result<ObjId> Document::insert_object(ObjId list, std::size_t index, ObjType type) {
  return insert_op(*impl_, list, index, OpKind::InsertObject, Null{}, type);
}

static base::Result<detail::OpId> set_op(Document::Impl& impl, ObjId list, std::size_t index,
                                         OpKind kind, Scalar value, ObjType type) {
  Object* o = writable(impl, list, ObjType::List);
  if (!o) return no_object("list");
  if (index >= o->seq->visible()) return base::make_error("list index out of range");
  auto p = o->seq->find_visible(index);
  Op op;
  op.kind = kind;
  op.obj = list;
  op.ref = o->seq->run_at(p).id_at(p.off);
  if (auto it = o->sets.find(op.ref); it != o->sets.end())
    op.pred = live_ids(it->second);
  else
    op.pred = {op.ref};
  if (kind == OpKind::Set) op.values.push_back(std::move(value));
  op.type = type;
  return impl.local_op(std::move(op));
}

base::Status Document::set(ObjId list, std::size_t index, Scalar value) {
  auto r = set_op(*impl_, list, index, OpKind::Set, std::move(value), ObjType::Map);
  if (!r.ok()) return std::move(r).take_error();
  return {};
}

base::Result<ObjId> Document::set_object(ObjId list, std::size_t index, ObjType type) {
  return set_op(*impl_, list, index, OpKind::SetObject, Null{}, type);
}

base::Status Document::delete_at(ObjId list, std::size_t index) {
  Object* o = writable(*impl_, list, ObjType::List);
  if (!o) return no_object("list");
  if (index >= o->seq->visible()) return base::make_error("list index out of range");
  Op op;
  op.kind = OpKind::Remove;
  op.obj = list;
  op.spans = o->seq->visible_spans(index, 1);
  impl_->local_op(std::move(op));
  return {};
}

base::Status Document::splice_text(ObjId text, std::size_t pos, std::size_t del,
                                   std::string_view insert) {
  Object* o = writable(*impl_, text, ObjType::Text);
  if (!o) return no_object("text");
  const std::uint64_t len = o->seq->visible();
  if (pos > len || del > len - pos) return base::make_error("text range out of bounds");
  if (del > 0) {
    Op op;
    op.kind = OpKind::Remove;
    op.obj = text;
    op.spans = o->seq->visible_spans(pos, del);
    impl_->local_op(std::move(op));
  }
  if (!insert.empty()) {
    Op op;
    op.kind = OpKind::InsertText;
    op.obj = text;
    detail::utf8_to_code_points(insert, op.text);
    std::tie(op.ref, op.right) = o->seq->origins_for_insert(pos);
    impl_->local_op(std::move(op));
  }
  return {};
}

base::Status splice_text_diffed(Document& doc, ObjId text, std::string_view content) {
  if (doc.object_type(text) != ObjType::Text) return no_object("text");
  std::u32string now, want;
  detail::utf8_to_code_points(doc.text(text), now);
  detail::utf8_to_code_points(content, want);
  std::size_t prefix = 0;
  while (prefix < now.size() && prefix < want.size() && now[prefix] == want[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < now.size() - prefix && suffix < want.size() - prefix &&
         now[now.size() - 1 - suffix] == want[want.size() - 1 - suffix])
    ++suffix;
  const std::size_t del = now.size() - prefix - suffix;
  const std::u32string ins = want.substr(prefix, want.size() - prefix - suffix);
  if (del == 0 && ins.empty()) return {};
  return doc.splice_text(text, prefix, del, detail::to_utf8(ins));
}

// ---- history ----

std::size_t Document::pending_ops() const {
  return impl_->pending.size();
}

std::optional<ChangeHash> Document::commit(std::optional<std::int64_t> time) {
  auto hash = impl_->commit(time);
  if (hash && impl_->storage && impl_->storage->should_compact()) {
    // Only the cheap part runs here; compression and the disk are elsewhere.
    impl_->storage->compact(
        [body = impl_->snapshot_body()] { return detail::pack_snapshot(body); });
  }
  return hash;
}

base::Status Document::flush() {
  if (!impl_->storage) return {};
  return impl_->storage->flush();
}

const std::vector<ChangeHash>& Document::heads() const {
  return impl_->heads;
}
const ActorId& Document::actor() const {
  return impl_->actors[impl_->self];
}
std::size_t Document::changes_count() const {
  return impl_->changes.size();
}

std::vector<ObjId> Document::take_changed_objects() {
  std::vector<ObjId> out(impl_->changed.begin(), impl_->changed.end());
  impl_->changed.clear();
  std::sort(out.begin(), out.end());
  return out;
}

std::uint64_t Document::revision() const {
  return impl_->revision;
}

// ---- replication ----

base::Status Document::merge(Document& other) {
  commit();
  other.commit();
  auto missing = other.impl_->changes_missing_from(impl_->version_vector());
  for (auto idx : missing) {
    const auto& bytes = other.impl_->changes[idx].bytes;
    auto c = detail::decode_change(bytes);
    if (!c) return base::make_error("merge: malformed change");
    auto r = impl_->apply_change(std::move(*c), bytes, true);
    if (!r.ok()) return std::move(r).take_error();
  }
  impl_->drain_waiting();
  return {};
}

std::vector<std::uint8_t> Document::encode_changes_since(const std::vector<ChangeHash>& heads) {
  commit();
  std::vector<bool> known(impl_->changes.size(), false);
  std::vector<std::uint32_t> stack;
  for (auto& h : heads)
    if (auto it = impl_->by_hash.find(h); it != impl_->by_hash.end()) stack.push_back(it->second);
  while (!stack.empty()) {
    auto i = stack.back();
    stack.pop_back();
    if (known[i]) continue;
    known[i] = true;
    for (auto d : impl_->changes[i].deps) stack.push_back(d);
  }
  detail::Writer w;
  std::size_t n = 0;
  for (std::size_t i = 0; i < known.size(); ++i) n += known[i] ? 0 : 1;
  w.uvar(n);
  for (std::size_t i = 0; i < known.size(); ++i)
    if (!known[i]) w.bytes(impl_->changes[i].bytes);
  return w.take();
}

base::Status Document::apply_changes(std::span<const std::uint8_t> bytes) {
  commit();
  detail::Reader r(bytes);
  const std::size_t n = r.count();
  std::vector<std::pair<detail::Change, std::vector<std::uint8_t>>> decoded;
  for (std::size_t i = 0; i < n; ++i) {
    auto b = r.bytes();
    auto c = detail::decode_change(b);
    if (!r.ok() || !c) return base::make_error("malformed change list");
    decoded.emplace_back(std::move(*c), std::vector<std::uint8_t>(b.begin(), b.end()));
  }
  if (!r.done()) return base::make_error("malformed change list (trailing bytes)");
  std::string first_error;
  for (auto& [c, b] : decoded) {
    auto res = impl_->apply_change(std::move(c), std::move(b), true);
    if (!res.ok() && first_error.empty()) first_error = res.error();
  }
  impl_->drain_waiting();
  if (!first_error.empty()) return base::make_error(first_error);
  return {};
}

}  // namespace crdt
