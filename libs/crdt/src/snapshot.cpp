// The compact whole-document form (Document::save / load, and the snapshot
// record of the file):
//
//   "VESKSNAP" | u32 version | uvar body length | zlib(body)
//   body: uvar n_actors, 16 bytes each | uvar n_changes |
//         four streams, each uvar length + bytes: meta, deps, ops, text
//
// Every change keeps its exact content, so loading re-encodes it and the hash
// comes out the same; hashes themselves are not stored. Fields that repeat
// from change to change (author, ops counter, time, "depends on the previous
// change") are deltas in streams of their own, which zlib then squeezes.

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "bytes.hpp"
#include "doc_impl.hpp"

namespace crdt {

using detail::Change;
using detail::Reader;
using detail::Writer;

namespace {
constexpr char kSnapMagic[8] = {'V', 'E', 'S', 'K', 'S', 'N', 'A', 'P'};
constexpr std::uint32_t kSnapVersion = 1;
constexpr std::uint64_t kMaxBody = 1ull << 31;
}  // namespace

std::vector<std::uint8_t> Document::Impl::save() const {
  Writer meta, deps, ops, text;
  std::uint64_t max_end = 1;
  std::int64_t last_time = 0;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const auto& rec = changes[i];
    auto c = detail::decode_change(rec.bytes);
    meta.uvar(rec.actor);
    meta.svar(static_cast<std::int64_t>(rec.start_op - max_end));
    meta.svar(rec.time - last_time);
    meta.uvar(c->ops.size());
    meta.uvar(c->actors.size() - 1);
    for (std::size_t a = 1; a < c->actors.size(); ++a) meta.uvar(actor_index.at(c->actors[a]));
    max_end = std::max(max_end, rec.end_op);
    last_time = rec.time;
    if (i > 0 && rec.deps.size() == 1 && rec.deps[0] == i - 1) {
      deps.uvar(0);
    } else {
      deps.uvar(rec.deps.size() + 1);
      for (auto d : rec.deps) deps.uvar(i - d);
    }
    std::uint64_t counter = rec.start_op;
    for (const auto& op : c->ops) {
      detail::encode_op_relative(ops, text, op, counter);
      counter += op.width();
    }
  }
  Writer body;
  body.uvar(actors.size());
  for (auto& a : actors) body.raw(a.data(), a.size());
  body.uvar(changes.size());
  for (Writer* w : {&meta, &deps, &ops, &text}) body.bytes(w->buf());

  uLongf bound = compressBound(static_cast<uLong>(body.size()));
  std::vector<std::uint8_t> packed(bound);
  if (compress2(packed.data(), &bound, body.buf().data(), static_cast<uLong>(body.size()), 6) !=
      Z_OK)
    bound = 0;
  packed.resize(bound);

  Writer out;
  out.raw(kSnapMagic, sizeof kSnapMagic);
  out.u32le(kSnapVersion);
  out.uvar(body.size());
  out.raw(packed.data(), packed.size());
  return out.take();
}

// Applies every change of a snapshot to `impl` (changes it already has are
// skipped). Refuses the whole snapshot when any part is malformed.
base::Status load_snapshot(Document::Impl& impl, std::span<const std::uint8_t> bytes) {
  Reader in(bytes);
  auto magic = in.take(8);
  if (!in.ok() || std::memcmp(magic.data(), kSnapMagic, 8) != 0)
    return base::make_error("not a saved document (wrong magic bytes)");
  const std::uint32_t version = in.u32le();
  if (!in.ok()) return base::make_error("saved document is truncated in its header");
  if (version != kSnapVersion)
    return base::make_error("saved document has format version " + std::to_string(version));
  const std::uint64_t body_len = in.uvar();
  if (!in.ok() || body_len > kMaxBody) return base::make_error("saved document header is corrupt");
  std::vector<std::uint8_t> body(body_len);
  auto packed = in.take(in.remaining());
  uLongf got = static_cast<uLongf>(body_len);
  if (uncompress(body.data(), &got, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
      got != body_len)
    return base::make_error("saved document is corrupt (cannot decompress)");

  Reader r(body);
  std::vector<ActorId> actors(r.count(16));
  for (auto& a : actors) {
    auto s = r.take(16);
    if (!r.ok()) break;
    std::memcpy(a.data(), s.data(), 16);
  }
  const std::size_t n = r.count(0);
  if (n > body_len) return base::make_error("saved document is corrupt (change count)");
  Reader meta(r.bytes()), deps(r.bytes()), ops(r.bytes()), text(r.bytes());
  if (!r.ok()) return base::make_error("saved document is corrupt (streams)");

  std::vector<ChangeHash> hashes;
  hashes.reserve(n);
  std::vector<std::uint64_t> seqs(actors.size(), 0);
  std::uint64_t max_end = 1;
  std::int64_t last_time = 0;
  auto corrupt = [](const char* what) {
    return base::make_error(std::string("saved document is corrupt (") + what + ")");
  };
  for (std::size_t i = 0; i < n; ++i) {
    Change c;
    const std::uint64_t author = meta.uvar();
    if (author >= actors.size()) return corrupt("author");
    c.actors.push_back(actors[author]);
    c.seq = ++seqs[author];
    c.start_op = max_end + static_cast<std::uint64_t>(meta.svar());
    c.time = last_time + meta.svar();
    last_time = c.time;
    const std::size_t n_ops = meta.count(0);
    const std::size_t extra = meta.count();
    for (std::size_t a = 0; a < extra; ++a) {
      const std::uint64_t idx = meta.uvar();
      if (idx >= actors.size()) return corrupt("actor table");
      c.actors.push_back(actors[idx]);
    }
    const std::uint64_t dep_code = deps.uvar();
    if (dep_code == 0) {
      if (i == 0) return corrupt("dependencies");
      c.deps.push_back(hashes[i - 1]);
    } else {
      for (std::uint64_t d = 1; d < dep_code; ++d) {
        const std::uint64_t back = deps.uvar();
        if (back == 0 || back > i) return corrupt("dependencies");
        c.deps.push_back(hashes[i - back]);
      }
      std::sort(c.deps.begin(), c.deps.end());
      if (std::adjacent_find(c.deps.begin(), c.deps.end()) != c.deps.end())
        return corrupt("dependencies");
    }
    if (c.start_op == 0 || c.start_op > (1ull << 62)) return corrupt("op counter");
    if (!meta.ok() || !deps.ok() || n_ops > ops.remaining()) return corrupt("change header");
    c.ops.resize(n_ops);
    std::uint64_t counter = c.start_op;
    for (auto& op : c.ops) {
      if (!detail::decode_op_relative(ops, text, c.actors.size(), counter, op))
        return corrupt("operation");
      counter += op.width();
    }
    max_end = std::max(max_end, counter);
    if (n_ops == 0 || max_end > (1ull << 62)) return corrupt("operations");
    auto encoded = detail::encode_change(c);
    hashes.push_back(detail::hash_bytes(encoded));
    auto applied = impl.apply_change(std::move(c), std::move(encoded), false);
    if (!applied.ok())
      return base::make_error("saved document holds a bad change: " + applied.error());
  }
  return {};
}

}  // namespace crdt
