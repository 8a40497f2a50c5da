#pragma once
// The inside of crdt::Document, shared by its source files: the object
// store, the change history and the pending transaction.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "change.hpp"
#include "crdt/document.hpp"
#include "sequence.hpp"
#include "storage.hpp"

namespace crdt::detail {

// The compressed, self-describing form of a snapshot body (thread-safe).
std::vector<std::uint8_t> pack_snapshot(const std::vector<std::uint8_t>& body);

struct ActorHash {
  std::size_t operator()(const ActorId& a) const {
    std::size_t h;
    std::memcpy(&h, a.data(), sizeof h);
    return h;
  }
};
struct HashHash {
  std::size_t operator()(const ChangeHash& a) const {
    std::size_t h;
    std::memcpy(&h, a.data(), sizeof h);
    return h;
  }
};

// Live values of one map key or list element, winner first.
struct Entry {
  OpId id;
  Value value;
};

struct Object {
  ObjType type = ObjType::Map;
  std::map<std::string, std::vector<Entry>, std::less<>> map;
  std::unique_ptr<Sequence> seq;
  std::u32string chars;                               // text content arena
  std::vector<Value> values;                          // list content arena
  std::unordered_map<OpId, std::vector<Entry>> sets;  // list elements overwritten by set
};

struct ChangeRec {
  std::uint32_t actor = 0;
  std::uint64_t seq = 0;
  std::uint64_t start_op = 0;
  std::uint64_t end_op = 0;  // one past the last op counter
  std::int64_t time = 0;
  std::vector<std::uint32_t> deps;  // change indices
  ChangeHash hash{};
  std::vector<std::uint8_t> bytes;  // canonical encoding
};

enum class ApplyResult { Applied, Duplicate, MissingDeps };

}  // namespace crdt::detail

namespace crdt {

struct Document::Impl {
  using OpId = detail::OpId;

  explicit Impl(ActorId self_actor);

  // ---- actors ----
  std::vector<ActorId> actors;
  std::unordered_map<ActorId, std::uint32_t, detail::ActorHash> actor_index;
  std::uint32_t self = 0;
  std::uint32_t intern(const ActorId& a);
  bool actor_less(std::uint32_t a, std::uint32_t b) const { return actors[a] < actors[b]; }
  bool op_greater(OpId a, OpId b) const {
    if (a.counter() != b.counter()) return a.counter() > b.counter();
    return actors[a.actor_index()] > actors[b.actor_index()];
  }

  // ---- state ----
  std::unordered_map<OpId, detail::Object> objects;
  const detail::Object* find(ObjId id) const {
    auto it = objects.find(id);
    return it == objects.end() ? nullptr : &it->second;
  }
  detail::Object& create_object(OpId id, ObjType type);
  Value element_value(const detail::Object& o, const detail::Run& r, std::uint32_t off) const;

  // ---- history ----
  std::vector<detail::ChangeRec> changes;
  std::unordered_map<ChangeHash, std::uint32_t, detail::HashHash> by_hash;
  std::vector<std::vector<std::uint32_t>> actor_changes;  // per actor, by seq
  std::vector<std::uint32_t> head_indices;
  std::vector<ChangeHash> heads;  // sorted
  std::uint64_t max_op = 0;
  // Received changes that wait for their dependencies.
  std::vector<std::pair<detail::Change, std::vector<std::uint8_t>>> waiting;
  std::size_t waiting_bytes = 0;

  // ---- pending transaction ----
  std::vector<detail::Op> pending;
  std::vector<OpId> pending_ids;

  // ---- events ----
  std::unordered_set<ObjId> changed;
  std::uint64_t revision = 0;

  // ---- storage ----
  std::unique_ptr<detail::Storage> storage;
  bool replaying = false;  // loading from the file: nothing to append
  OpenReport report;

  // Applies one op (doc-local ids) with the given id to the state.
  void apply_op(const detail::Op& op, OpId id);
  // Local write: allocates an id, applies, appends to the transaction.
  OpId local_op(detail::Op op);

  // Checks a change's ops (doc-local ids) against the state before any of
  // them is applied, so a refused change leaves nothing behind.
  base::Status validate(const detail::Change& c, std::uint32_t author) const;
  // Decoded change in, applied (or refused, or parked when deps are missing).
  // `known_hash`: the hash of `bytes` when the caller already computed it.
  base::Result<detail::ApplyResult> apply_change(detail::Change c, std::vector<std::uint8_t> bytes,
                                                 bool park_if_missing,
                                                 const ChangeHash* known_hash = nullptr);
  // Retries parked changes after something was applied.
  void drain_waiting();
  // Records a change whose ops are already in the state.
  void record_change(std::uint32_t actor, const detail::Change& c, std::vector<std::uint8_t> bytes,
                     const ChangeHash& hash);
  std::optional<ChangeHash> commit(std::optional<std::int64_t> time);

  // Changes of which the peer (described by per-actor counts) lacks, in order.
  std::vector<std::uint32_t> changes_missing_from(
      const std::unordered_map<ActorId, std::uint64_t, detail::ActorHash>& have) const;
  std::unordered_map<ActorId, std::uint64_t, detail::ActorHash> version_vector() const;
  std::vector<std::uint8_t> snapshot_body() const;
  std::vector<std::uint8_t> save() const;
};

}  // namespace crdt
