// Applying operations and changes to the document state, local and remote.
#include <algorithm>
#include <chrono>

#include "bytes.hpp"
#include "doc_impl.hpp"

namespace crdt {

using detail::Change;
using detail::ChangeRec;
using detail::Entry;
using detail::Object;
using detail::Op;
using detail::OpKind;

namespace {
// Bound on changes parked for missing dependencies, so a peer cannot make us
// hold an unbounded amount of memory.
constexpr std::size_t kMaxWaitingBytes = 64u << 20;
}  // namespace

Document::Impl::Impl(ActorId self_actor) {
  self = intern(self_actor);
  objects[ObjId::root()].type = ObjType::Map;
}

std::uint32_t Document::Impl::intern(const ActorId& a) {
  auto [it, fresh] = actor_index.try_emplace(a, static_cast<std::uint32_t>(actors.size()));
  if (fresh) {
    actors.push_back(a);
    actor_changes.emplace_back();
  }
  return it->second;
}

detail::Object& Document::Impl::create_object(OpId id, ObjType type) {
  Object& o = objects[id];
  o.type = type;
  if (type != ObjType::Map)
    o.seq = std::make_unique<detail::Sequence>(
        [this](std::uint32_t a, std::uint32_t b) { return actor_less(a, b); });
  changed.insert(id);
  return o;
}

Value Document::Impl::element_value(const Object& o, const detail::Run& r,
                                    std::uint32_t off) const {
  if (!o.sets.empty()) {
    auto it = o.sets.find(r.id_at(off));
    if (it != o.sets.end() && !it->second.empty()) return it->second.front().value;
  }
  return o.values[r.content + off];
}

namespace {

// Removes the replaced values, adds the new one and keeps the winner first.
template <typename Greater>
void update_register(std::vector<Entry>& entries, const std::vector<detail::OpId>& pred,
                     std::optional<Entry> added, Greater greater) {
  std::erase_if(entries, [&](const Entry& e) {
    return std::find(pred.begin(), pred.end(), e.id) != pred.end();
  });
  if (added) {
    auto at = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return greater(added->id, e.id); });
    entries.insert(at, std::move(*added));
  }
}

// Rewrites every id in the ops (between change and document actor indices).
template <typename F>
void remap_ids(std::vector<Op>& ops, F map_id) {
  for (auto& op : ops) {
    op.obj = map_id(op.obj);
    op.ref = map_id(op.ref);
    op.right = map_id(op.right);
    for (auto& p : op.pred) p = map_id(p);
    for (auto& s : op.spans) s.start = map_id(s.start);
  }
}

Value scalar_value(const Op& op) {
  return Value(op.values.empty() ? Scalar{} : op.values[0]);
}

}  // namespace

void Document::Impl::apply_op(const Op& op, OpId id) {
  ++revision;
  auto greater = [this](OpId a, OpId b) { return op_greater(a, b); };
  Object& o = objects.at(op.obj);
  changed.insert(op.obj);
  switch (op.kind) {
    case OpKind::Put:
    case OpKind::PutObject:
    case OpKind::DeleteKey: {
      std::optional<Entry> added;
      if (op.kind == OpKind::Put) added = Entry{id, scalar_value(op)};
      if (op.kind == OpKind::PutObject) {
        added = Entry{id, Value(ObjectRef{id, op.type})};
      }
      auto it = o.map.find(op.key);
      if (it == o.map.end()) {
        if (!added) return;
        it = o.map.emplace(op.key, std::vector<Entry>{}).first;
      }
      update_register(it->second, op.pred, std::move(added), greater);
      if (it->second.empty()) o.map.erase(it);
      if (op.kind == OpKind::PutObject) create_object(id, op.type);
      return;
    }
    case OpKind::Insert:
    case OpKind::InsertObject:
    case OpKind::InsertText: {
      const auto width = static_cast<std::uint32_t>(op.width());
      std::uint32_t content;
      if (op.kind == OpKind::InsertText) {
        content = static_cast<std::uint32_t>(o.chars.size());
        o.chars += op.text;
      } else {
        content = static_cast<std::uint32_t>(o.values.size());
        if (op.kind == OpKind::Insert)
          for (auto& v : op.values) o.values.emplace_back(v);
        else
          o.values.emplace_back(ObjectRef{id, op.type});
      }
      o.seq->integrate(id.counter(), id.actor_index(), width, op.ref, op.right, content);
      if (op.kind == OpKind::InsertObject) create_object(id, op.type);
      return;
    }
    case OpKind::Set:
    case OpKind::SetObject: {
      auto pos = o.seq->find_id(op.ref);
      if (!pos) return;
      auto [it, fresh] = o.sets.try_emplace(op.ref);
      if (fresh) {
        const detail::Run& r = o.seq->run_at(*pos);
        it->second.push_back(Entry{op.ref, o.values[r.content + pos->off]});
      }
      Value v = op.kind == OpKind::Set ? scalar_value(op) : Value(ObjectRef{id, op.type});
      update_register(it->second, op.pred, Entry{id, std::move(v)}, greater);
      if (op.kind == OpKind::SetObject) create_object(id, op.type);
      return;
    }
    case OpKind::Remove:
      for (const auto& s : op.spans) o.seq->delete_span(s);
      return;
  }
}

Document::Impl::OpId Document::Impl::local_op(Op op) {
  // Typing extends the previous insert and deleting extends the previous
  // remove, so a burst of keystrokes stays one op in the change.
  if (!pending.empty() && pending.back().obj == op.obj) {
    Op& last = pending.back();
    const OpId last_id = pending_ids.back();
    if (op.kind == OpKind::InsertText && last.kind == OpKind::InsertText &&
        op.right == last.right &&
        op.ref == OpId(last_id.counter() + last.width() - 1, last_id.actor_index())) {
      const OpId id(last_id.counter() + last.width(), self);
      apply_op(op, id);
      last.text += op.text;
      max_op = id.counter() + op.width() - 1;
      return id;
    }
    if (op.kind == OpKind::Remove && last.kind == OpKind::Remove) {
      apply_op(op, pending_ids.back());
      for (const auto& s : op.spans) {
        auto& b = last.spans.back();
        if (b.start.actor_index() == s.start.actor_index() &&
            b.start.counter() + b.len == s.start.counter() &&
            std::uint64_t{b.len} + s.len <= 0xffffffffu)
          b.len += s.len;
        else
          last.spans.push_back(s);
      }
      return pending_ids.back();
    }
  }
  const OpId id(max_op + 1, self);
  apply_op(op, id);
  max_op = id.counter() + op.width() - 1;
  pending.push_back(std::move(op));
  pending_ids.push_back(id);
  return id;
}

void Document::Impl::record_change(std::uint32_t actor, const Change& c,
                                   std::vector<std::uint8_t> bytes, const ChangeHash& hash) {
  ChangeRec rec;
  rec.actor = actor;
  rec.seq = c.seq;
  rec.start_op = c.start_op;
  rec.end_op = c.start_op + c.width();
  rec.time = c.time;
  rec.hash = hash;
  rec.bytes = std::move(bytes);
  for (auto& d : c.deps) rec.deps.push_back(by_hash.at(d));
  const auto index = static_cast<std::uint32_t>(changes.size());
  std::erase_if(head_indices, [&](std::uint32_t h) {
    return std::find(rec.deps.begin(), rec.deps.end(), h) != rec.deps.end();
  });
  head_indices.push_back(index);
  heads.clear();
  for (auto h : head_indices) heads.push_back(changes.size() > h ? changes[h].hash : hash);
  std::sort(heads.begin(), heads.end());
  max_op = std::max(max_op, rec.end_op - 1);
  by_hash.emplace(hash, index);
  actor_changes[actor].push_back(index);
  if (storage && !replaying) storage->append_change(rec.bytes);
  changes.push_back(std::move(rec));
  ++revision;
}

std::optional<ChangeHash> Document::Impl::commit(std::optional<std::int64_t> time) {
  if (pending.empty()) return std::nullopt;
  Change c;
  c.actors.push_back(actors[self]);
  std::unordered_map<std::uint32_t, std::uint32_t> to_change{{self, 0}};
  auto map_id = [&](OpId id) {
    if (id.counter() == 0) return id;
    auto [it, fresh] =
        to_change.try_emplace(id.actor_index(), static_cast<std::uint32_t>(c.actors.size()));
    if (fresh) c.actors.push_back(actors[id.actor_index()]);
    return OpId(id.counter(), it->second);
  };
  c.seq = actor_changes[self].size() + 1;
  c.start_op = pending_ids.front().counter();
  c.time = time ? *time
                : std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  c.deps = heads;
  c.ops = std::move(pending);
  pending.clear();
  pending_ids.clear();
  remap_ids(c.ops, map_id);
  auto bytes = detail::encode_change(c);
  const ChangeHash hash = detail::hash_bytes(bytes);
  record_change(self, c, std::move(bytes), hash);
  return hash;
}

base::Status Document::Impl::validate(const Change& c, std::uint32_t author) const {
  std::unordered_map<OpId, ObjType> created;
  // Elements this change inserts, by first counter: {end counter, object}.
  struct NewElems {
    std::uint64_t end;
    OpId obj;
  };
  std::map<std::uint64_t, NewElems> fresh;
  auto type_of = [&](OpId obj) -> std::optional<ObjType> {
    if (auto* o = find(obj)) return o->type;
    if (auto it = created.find(obj); it != created.end()) return it->second;
    return std::nullopt;
  };
  // The end of the fresh range holding `id` inside `obj`, or 0.
  auto fresh_end = [&](OpId obj, OpId id) -> std::uint64_t {
    if (id.actor_index() != author) return 0;
    auto it = fresh.upper_bound(id.counter());
    if (it == fresh.begin()) return 0;
    --it;
    return id.counter() < it->second.end && it->second.obj == obj ? it->second.end : 0;
  };
  auto elem_exists = [&](OpId obj, OpId id) {
    if (fresh_end(obj, id)) return true;
    auto* o = find(obj);
    return o && o->seq && o->seq->contains(id);
  };
  std::uint64_t counter = c.start_op;
  for (const Op& op : c.ops) {
    const OpId id(counter, author);
    counter += op.width();
    auto type = type_of(op.obj);
    if (!type) return base::make_error("change refused: it writes into an unknown object");
    const bool map_op = op.kind <= OpKind::DeleteKey;
    const bool text_op = op.kind == OpKind::InsertText || op.kind == OpKind::Remove;
    const bool ok_type = map_op    ? *type == ObjType::Map
                         : text_op ? *type != ObjType::Map
                                   : *type == ObjType::List;
    if (!ok_type) return base::make_error("change refused: an op does not fit its object's kind");
    if (op.kind == OpKind::InsertText && *type != ObjType::Text)
      return base::make_error("change refused: text inserted into a list");
    switch (op.kind) {
      case OpKind::Insert:
      case OpKind::InsertObject:
      case OpKind::InsertText:
        if ((op.ref.counter() && !elem_exists(op.obj, op.ref)) ||
            (op.right.counter() && !elem_exists(op.obj, op.right)))
          return base::make_error("change refused: insert next to an unknown element");
        fresh.emplace(id.counter(), NewElems{id.counter() + op.width(), op.obj});
        break;
      case OpKind::Set:
      case OpKind::SetObject:
        if (!elem_exists(op.obj, op.ref))
          return base::make_error("change refused: set of an unknown element");
        break;
      case OpKind::Remove:
        for (const auto& s : op.spans) {
          std::uint64_t at = s.start.counter();
          const std::uint64_t end = at + s.len;
          const auto* o = find(op.obj);
          while (at < end) {
            const OpId e(at, s.start.actor_index());
            if (auto end = fresh_end(op.obj, e)) {
              at = end;
            } else if (auto p = o && o->seq ? o->seq->find_id(e) : std::nullopt) {
              const auto& r = o->seq->run_at(*p);
              at = r.counter + r.len;
            } else {
              return base::make_error("change refused: delete of an unknown element");
            }
          }
        }
        break;
      default:
        break;
    }
    if (op.kind == OpKind::PutObject || op.kind == OpKind::InsertObject ||
        op.kind == OpKind::SetObject)
      created.emplace(id, op.type);
  }
  return {};
}

base::Result<detail::ApplyResult> Document::Impl::apply_change(Change c,
                                                               std::vector<std::uint8_t> bytes,
                                                               bool park_if_missing,
                                                               const ChangeHash* known_hash) {
  const ChangeHash hash = known_hash ? *known_hash : detail::hash_bytes(bytes);
  if (by_hash.contains(hash)) return detail::ApplyResult::Duplicate;
  bool missing = false;
  for (auto& d : c.deps)
    if (!by_hash.contains(d)) missing = true;
  const std::uint32_t author = intern(c.actors[0]);
  const auto& mine = actor_changes[author];
  if (c.seq <= mine.size())
    return base::make_error("change refused: its actor already made a different change " +
                            std::to_string(c.seq));
  if (c.seq > mine.size() + 1) missing = true;
  if (missing) {
    if (!park_if_missing) return base::make_error("change refused: dependencies missing");
    if (waiting_bytes + bytes.size() > kMaxWaitingBytes)
      return base::make_error("change refused: too many changes wait for dependencies");
    for (auto& [w, b] : waiting)
      if (b == bytes) return detail::ApplyResult::MissingDeps;
    waiting_bytes += bytes.size();
    waiting.emplace_back(std::move(c), std::move(bytes));
    return detail::ApplyResult::MissingDeps;
  }
  if (!mine.empty() && c.start_op < changes[mine.back()].end_op)
    return base::make_error("change refused: it reuses operation ids");
  if (author == self && !pending.empty())
    return base::make_error("change refused: made by this document's own actor");
  // Translate change-local actor indices into ours.
  std::vector<std::uint32_t> local(c.actors.size());
  for (std::size_t i = 0; i < c.actors.size(); ++i) local[i] = intern(c.actors[i]);
  auto map_id = [&](OpId id) {
    return id.counter() == 0 ? id : OpId(id.counter(), local[id.actor_index()]);
  };
  remap_ids(c.ops, map_id);
  VESK_TRY_STATUS(validate(c, author));
  std::uint64_t counter = c.start_op;
  for (const Op& op : c.ops) {
    apply_op(op, OpId(counter, author));
    counter += op.width();
  }
  record_change(author, c, std::move(bytes), hash);
  return detail::ApplyResult::Applied;
}

void Document::Impl::drain_waiting() {
  bool progress = true;
  while (progress && !waiting.empty()) {
    progress = false;
    auto parked = std::move(waiting);
    waiting.clear();
    waiting_bytes = 0;
    for (auto& [c, b] : parked) {
      auto r = apply_change(std::move(c), std::move(b), true);
      if (r.ok() && *r == detail::ApplyResult::Applied) progress = true;
    }
  }
}

}  // namespace crdt
