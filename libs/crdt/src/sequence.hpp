#pragma once
// The element order of one list or text object: run-length encoded items in
// chunks of at most kMaxRuns, with Fenwick trees over the chunks' visible and
// total lengths so that positions resolve in O(log n), and a per-actor index
// from element id to chunk. Deleted elements stay as tombstones because later
// inserts may name them as neighbours.
//
// Concurrent inserts are ordered by FugueMax: each element remembers its left
// and right origin; integrate() scans the elements between the left origin and
// the right origin and places the new run so that runs typed concurrently do
// not interleave.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "change.hpp"

namespace crdt::detail {

struct Run {
  std::uint64_t counter = 0;  // id of the first element
  std::uint32_t actor = 0;
  std::uint32_t len = 0;
  OpId left;                  // origin left of the first element; later ones follow it
  OpId right;                 // origin right of every element
  std::uint32_t content = 0;  // index of the first element in the content arena
  bool deleted = false;

  OpId id_at(std::uint32_t off) const { return OpId(counter + off, actor); }
};

// Compares actor indices by their bytes, so ties resolve the same everywhere.
using ActorLess = std::function<bool(std::uint32_t, std::uint32_t)>;

class Sequence {
 public:
  explicit Sequence(ActorLess actor_less) : actor_less_(std::move(actor_less)) {}

  std::uint64_t visible() const { return vis_; }
  std::uint64_t total() const { return raw_; }

  struct Pos {
    std::size_t chunk = 0;
    std::size_t run = 0;
    std::uint32_t off = 0;
  };

  // Where the visible element `index` (< visible()) is.
  Pos find_visible(std::uint64_t index) const;
  const Run& run_at(const Pos& p) const { return chunks_[p.chunk]->runs[p.run]; }
  // The element with this id, if any.
  std::optional<Pos> find_id(OpId id) const;
  bool contains(OpId id) const { return find_id(id).has_value(); }

  // Left and right origins for a local insert before visible index `index`.
  std::pair<OpId, OpId> origins_for_insert(std::uint64_t index) const;

  // Places a run of `len` new elements (ids counter.., content from `content`)
  // by FugueMax between its origins (which must exist or be none).
  void integrate(std::uint64_t counter, std::uint32_t actor, std::uint32_t len, OpId left,
                 OpId right, std::uint32_t content);

  // Ids of the visible elements [index, index+count), as spans.
  std::vector<Span> visible_spans(std::uint64_t index, std::uint64_t count) const;
  // Marks elements by id deleted (already deleted ones stay so). Answers how
  // many became deleted now.
  std::uint64_t delete_span(const Span& span);

  // Visits every visible run part in order: (first content index, count, first id).
  void for_each_visible(
      const std::function<void(std::uint32_t content, std::uint32_t n, OpId first)>& f) const;
  // Visits every run in order, tombstones included.
  void for_each_run(const std::function<void(const Run&)>& f) const;

 private:
  static constexpr std::size_t kMaxRuns = 64;
  struct Chunk {
    std::vector<Run> runs;
    std::uint64_t raw = 0;
    std::uint64_t vis = 0;
    std::size_t index = 0;
  };

  std::uint64_t raw_position(const Pos& p) const;
  std::uint64_t raw_position(OpId id) const;
  Pos find_raw(std::uint64_t raw) const;  // raw < total()
  // Splits run p.run at p.off (0 < off < len); the second half becomes p.run+1.
  void split_run(std::size_t chunk, std::size_t run, std::uint32_t off);
  void insert_run_at(std::size_t chunk, std::size_t run, const Run& r);
  void after_chunk_change(std::size_t chunk, std::int64_t dvis, std::int64_t draw);
  void maybe_split_chunk(std::size_t chunk);
  void rebuild_fenwick();
  void fenwick_add(std::vector<std::int64_t>& tree, std::size_t i, std::int64_t d);
  std::uint64_t fenwick_prefix(const std::vector<std::int64_t>& tree, std::size_t n) const;
  std::size_t fenwick_find(const std::vector<std::int64_t>& tree, std::uint64_t& rem) const;
  bool extends(const Run& prev, const Run& next) const;

  ActorLess actor_less_;
  std::vector<std::unique_ptr<Chunk>> chunks_;
  std::vector<std::int64_t> fen_vis_, fen_raw_;         // 1-based Fenwick trees over chunks
  std::vector<std::map<std::uint64_t, Chunk*>> index_;  // per actor: run start -> chunk
  std::uint64_t raw_ = 0;
  std::uint64_t vis_ = 0;
  // The chunk of the last id lookup: typing looks up its own previous
  // character and that character's neighbour, nearly always in one chunk.
  mutable const Chunk* hint_ = nullptr;
};

}  // namespace crdt::detail
