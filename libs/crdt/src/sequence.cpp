#include "sequence.hpp"

#include <algorithm>
#include <bit>

namespace crdt::detail {

void Sequence::fenwick_add(std::vector<std::int64_t>& tree, std::size_t i, std::int64_t d) {
  for (++i; i < tree.size(); i += i & (~i + 1)) tree[i] += d;
}

std::uint64_t Sequence::fenwick_prefix(const std::vector<std::int64_t>& tree, std::size_t n) const {
  std::int64_t s = 0;
  for (std::size_t i = n; i > 0; i -= i & (~i + 1)) s += tree[i];
  return static_cast<std::uint64_t>(s);
}

// Index of the chunk holding offset `rem`; `rem` becomes the offset inside it.
std::size_t Sequence::fenwick_find(const std::vector<std::int64_t>& tree,
                                   std::uint64_t& rem) const {
  const std::size_t n = tree.size() - 1;
  std::size_t pos = 0;
  for (std::size_t step = std::bit_floor(n); step; step >>= 1) {
    if (pos + step <= n && static_cast<std::uint64_t>(tree[pos + step]) <= rem) {
      pos += step;
      rem -= static_cast<std::uint64_t>(tree[pos]);
    }
  }
  return pos;
}

void Sequence::rebuild_fenwick() {
  const std::size_t n = chunks_.size();
  fen_vis_.assign(n + 1, 0);
  fen_raw_.assign(n + 1, 0);
  for (std::size_t i = 1; i <= n; ++i) {
    fen_vis_[i] += static_cast<std::int64_t>(chunks_[i - 1]->vis);
    fen_raw_[i] += static_cast<std::int64_t>(chunks_[i - 1]->raw);
    std::size_t j = i + (i & (~i + 1));
    if (j <= n) fen_vis_[j] += fen_vis_[i], fen_raw_[j] += fen_raw_[i];
  }
}

void Sequence::after_chunk_change(std::size_t chunk, std::int64_t dvis, std::int64_t draw) {
  Chunk& c = *chunks_[chunk];
  c.vis = static_cast<std::uint64_t>(static_cast<std::int64_t>(c.vis) + dvis);
  c.raw = static_cast<std::uint64_t>(static_cast<std::int64_t>(c.raw) + draw);
  vis_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(vis_) + dvis);
  raw_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(raw_) + draw);
  if (dvis) fenwick_add(fen_vis_, chunk, dvis);
  if (draw) fenwick_add(fen_raw_, chunk, draw);
}

Sequence::Pos Sequence::find_visible(std::uint64_t index) const {
  std::uint64_t rem = index;
  Pos p;
  p.chunk = fenwick_find(fen_vis_, rem);
  const auto& runs = chunks_[p.chunk]->runs;
  for (p.run = 0; p.run < runs.size(); ++p.run) {
    const Run& r = runs[p.run];
    if (r.deleted) continue;
    if (rem < r.len) {
      p.off = static_cast<std::uint32_t>(rem);
      return p;
    }
    rem -= r.len;
  }
  return p;  // unreachable for index < visible()
}

Sequence::Pos Sequence::find_raw(std::uint64_t raw) const {
  std::uint64_t rem = raw;
  Pos p;
  p.chunk = fenwick_find(fen_raw_, rem);
  const auto& runs = chunks_[p.chunk]->runs;
  for (p.run = 0; p.run < runs.size(); ++p.run) {
    if (rem < runs[p.run].len) {
      p.off = static_cast<std::uint32_t>(rem);
      return p;
    }
    rem -= runs[p.run].len;
  }
  return p;
}

std::optional<Sequence::Pos> Sequence::find_id(OpId id) const {
  if (id.counter() == 0 || id.actor_index() >= index_.size()) return std::nullopt;
  auto in_chunk = [&](const Chunk* c) -> std::optional<Pos> {
    for (std::size_t i = 0; i < c->runs.size(); ++i) {
      const Run& r = c->runs[i];
      if (r.actor == id.actor_index() && r.counter <= id.counter() &&
          id.counter() - r.counter < r.len)
        return Pos{c->index, i, static_cast<std::uint32_t>(id.counter() - r.counter)};
    }
    return std::nullopt;
  };
  if (hint_)
    if (auto p = in_chunk(hint_)) return p;
  const auto& m = index_[id.actor_index()];
  auto it = m.upper_bound(id.counter());
  if (it == m.begin()) return std::nullopt;
  --it;
  auto p = in_chunk(it->second);
  if (p) hint_ = it->second;
  return p;
}

std::uint64_t Sequence::raw_position(const Pos& p) const {
  std::uint64_t pos = fenwick_prefix(fen_raw_, p.chunk);
  const auto& runs = chunks_[p.chunk]->runs;
  for (std::size_t i = 0; i < p.run; ++i) pos += runs[i].len;
  return pos + p.off;
}

std::uint64_t Sequence::raw_position(OpId id) const {
  return raw_position(*find_id(id));
}

std::pair<OpId, OpId> Sequence::origins_for_insert(std::uint64_t index) const {
  if (raw_ == 0) return {kNone, kNone};
  if (index == 0) return {kNone, chunks_[0]->runs[0].id_at(0)};
  Pos p = find_visible(index - 1);
  const Run& r = run_at(p);
  OpId left = r.id_at(p.off);
  if (p.off + 1 < r.len) return {left, r.id_at(p.off + 1)};
  if (p.run + 1 < chunks_[p.chunk]->runs.size())
    return {left, chunks_[p.chunk]->runs[p.run + 1].id_at(0)};
  if (p.chunk + 1 < chunks_.size()) return {left, chunks_[p.chunk + 1]->runs[0].id_at(0)};
  return {left, kNone};
}

bool Sequence::extends(const Run& prev, const Run& next) const {
  return !prev.deleted && !next.deleted && prev.actor == next.actor &&
         prev.counter + prev.len == next.counter && next.left == prev.id_at(prev.len - 1) &&
         next.right == prev.right && prev.content + prev.len == next.content;
}

void Sequence::split_run(std::size_t chunk, std::size_t run, std::uint32_t off) {
  Chunk& c = *chunks_[chunk];
  Run second = c.runs[run];
  second.counter += off;
  second.len -= off;
  second.left = c.runs[run].id_at(off - 1);
  second.content += off;
  c.runs[run].len = off;
  c.runs.insert(c.runs.begin() + static_cast<std::ptrdiff_t>(run) + 1, second);
  index_[second.actor][second.counter] = &c;
}

void Sequence::insert_run_at(std::size_t chunk, std::size_t run, const Run& r) {
  Chunk& c = *chunks_[chunk];
  c.runs.insert(c.runs.begin() + static_cast<std::ptrdiff_t>(run), r);
  if (index_.size() <= r.actor) index_.resize(r.actor + 1);
  index_[r.actor][r.counter] = &c;
  after_chunk_change(chunk, r.deleted ? 0 : r.len, r.len);
  maybe_split_chunk(chunk);
}

void Sequence::maybe_split_chunk(std::size_t chunk) {
  if (chunks_[chunk]->runs.size() <= kMaxRuns) return;
  Chunk& c = *chunks_[chunk];
  auto fresh = std::make_unique<Chunk>();
  const std::size_t half = c.runs.size() / 2;
  fresh->runs.assign(c.runs.begin() + static_cast<std::ptrdiff_t>(half), c.runs.end());
  c.runs.resize(half);
  for (const Run& r : fresh->runs) {
    fresh->raw += r.len;
    if (!r.deleted) fresh->vis += r.len;
    index_[r.actor][r.counter] = fresh.get();
  }
  c.raw -= fresh->raw;
  c.vis -= fresh->vis;
  chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk) + 1, std::move(fresh));
  for (std::size_t i = chunk + 1; i < chunks_.size(); ++i) chunks_[i]->index = i;
  rebuild_fenwick();
}

void Sequence::integrate(std::uint64_t counter, std::uint32_t actor, std::uint32_t len, OpId left,
                         OpId right, std::uint32_t content) {
  Run nr{counter, actor, len, left, right, content, false};
  if (index_.size() <= actor) index_.resize(actor + 1);
  if (raw_ == 0) {
    auto c = std::make_unique<Chunk>();
    chunks_.push_back(std::move(c));
    rebuild_fenwick();
    insert_run_at(0, 0, nr);
    return;
  }
  const std::uint64_t start = left.counter() == 0 ? 0 : raw_position(left) + 1;
  const std::uint64_t right_pos = right.counter() == 0 ? raw_ : raw_position(right);
  std::uint64_t cur = start;
  std::uint64_t scan_start = start;
  bool scanning = false;
  while (cur < right_pos) {
    const Pos p = find_raw(cur);
    const Run& o = run_at(p);
    std::uint64_t o_left_cursor;
    if (p.off > 0) {
      o_left_cursor = cur;
    } else {
      o_left_cursor = o.left.counter() == 0 ? 0 : raw_position(o.left) + 1;
    }
    if (o_left_cursor < start) break;
    if (o_left_cursor == start) {
      if (o.right == right) {
        const std::uint64_t o_counter = o.counter + p.off;
        const bool here = actor_less_(actor, o.actor) || (actor == o.actor && counter < o_counter);
        if (here) break;
        scanning = false;
      } else {
        const std::uint64_t o_right = o.right.counter() == 0 ? raw_ : raw_position(o.right);
        if (o_right < right_pos) {
          if (!scanning) scanning = true, scan_start = cur;
        } else {
          scanning = false;
        }
      }
    }
    cur += std::min<std::uint64_t>(o.len - p.off, right_pos - cur);
  }
  if (scanning) cur = scan_start;
  if (cur == 0) {
    insert_run_at(0, 0, nr);
    return;
  }
  Pos p = find_raw(cur - 1);
  if (p.off + 1 < run_at(p).len) split_run(p.chunk, p.run, p.off + 1);
  Run& prev = chunks_[p.chunk]->runs[p.run];
  if (extends(prev, nr)) {
    prev.len += len;
    after_chunk_change(p.chunk, len, len);
    maybe_split_chunk(p.chunk);
  } else {
    insert_run_at(p.chunk, p.run + 1, nr);
  }
}

std::vector<Span> Sequence::visible_spans(std::uint64_t index, std::uint64_t count) const {
  std::vector<Span> out;
  if (count == 0) return out;
  Pos p = find_visible(index);
  for (std::size_t c = p.chunk; c < chunks_.size() && count > 0; ++c) {
    const auto& runs = chunks_[c]->runs;
    for (std::size_t i = (c == p.chunk ? p.run : 0); i < runs.size() && count > 0; ++i) {
      const Run& r = runs[i];
      const std::uint32_t off = (c == p.chunk && i == p.run) ? p.off : 0;
      if (r.deleted) continue;
      const auto k = static_cast<std::uint32_t>(std::min<std::uint64_t>(r.len - off, count));
      const OpId first = r.id_at(off);
      if (!out.empty() && out.back().start.actor_index() == first.actor_index() &&
          out.back().start.counter() + out.back().len == first.counter())
        out.back().len += k;
      else
        out.push_back(Span{first, k});
      count -= k;
    }
  }
  return out;
}

std::uint64_t Sequence::delete_span(const Span& span) {
  std::uint64_t c = span.start.counter();
  const std::uint32_t a = span.start.actor_index();
  std::uint64_t remaining = span.len;
  std::uint64_t newly = 0;
  while (remaining > 0) {
    auto found = find_id(OpId(c, a));
    if (!found) break;
    Pos p = *found;
    const Run& r = run_at(p);
    const auto k = static_cast<std::uint32_t>(std::min<std::uint64_t>(r.len - p.off, remaining));
    if (!r.deleted) {
      if (p.off > 0) split_run(p.chunk, p.run, p.off), ++p.run;
      if (k < chunks_[p.chunk]->runs[p.run].len) split_run(p.chunk, p.run, k);
      chunks_[p.chunk]->runs[p.run].deleted = true;
      after_chunk_change(p.chunk, -static_cast<std::int64_t>(k), 0);
      maybe_split_chunk(p.chunk);
      newly += k;
    }
    c += k;
    remaining -= k;
  }
  return newly;
}

void Sequence::for_each_visible(
    const std::function<void(std::uint32_t, std::uint32_t, OpId)>& f) const {
  for (const auto& c : chunks_)
    for (const Run& r : c->runs)
      if (!r.deleted) f(r.content, r.len, r.id_at(0));
}

void Sequence::for_each_run(const std::function<void(const Run&)>& f) const {
  for (const auto& c : chunks_)
    for (const Run& r : c->runs) f(r);
}

}  // namespace crdt::detail
