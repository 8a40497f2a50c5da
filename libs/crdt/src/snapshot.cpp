// The compact whole-document form (Document::save / load, and the snapshot
// record of the file):
//
//   "VESKSNAP" | u32 version | uvar body length | xz(body)
//   body: uvar n_actors, 16 bytes each | uvar n_changes |
//         streams, each uvar length + bytes: change meta, deps, then the op
//         columns (kind, object, left/target ids, right ids, lengths, text, rest)
//
// Every change keeps its exact content, so loading re-encodes it and the hash
// comes out the same; hashes themselves are not stored. Fields that repeat
// from change to change (author, ops counter, time, "depends on the previous
// change") are deltas in streams of their own, which LZMA2 then squeezes.

#include <lzma.h>

#include <algorithm>
#include <cstring>

#include "bytes.hpp"
#include "doc_impl.hpp"
#include "op_columns.hpp"

namespace crdt {

using detail::Change;
using detail::Reader;
using detail::Writer;

namespace {
constexpr char kSnapMagic[8] = {'V', 'E', 'S', 'K', 'S', 'N', 'A', 'P'};
constexpr std::uint32_t kSnapVersion = 1;
constexpr std::uint64_t kMaxBody = 1ull << 31;
}  // namespace

std::vector<std::uint8_t> Document::Impl::snapshot_body() const {
  Writer meta, deps;
  detail::OpColumnWriter ops;
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
      ops.put(op, counter);
      counter += op.width();
    }
  }
  Writer body;
  body.uvar(actors.size());
  for (auto& a : actors) body.raw(a.data(), a.size());
  body.uvar(changes.size());
  body.bytes(meta.buf());
  body.bytes(deps.buf());
  ops.write_to(body);

  return body.take();
}

std::vector<std::uint8_t> detail::pack_snapshot(const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> packed(lzma_stream_buffer_bound(body.size()));
  std::size_t used = 0;
  if (lzma_easy_buffer_encode(6, LZMA_CHECK_CRC32, nullptr, body.data(), body.size(), packed.data(),
                              &used, packed.size()) != LZMA_OK)
    used = 0;
  packed.resize(used);
  Writer out;
  out.raw(kSnapMagic, sizeof kSnapMagic);
  out.u32le(kSnapVersion);
  out.uvar(body.size());
  out.raw(packed.data(), packed.size());
  return out.take();
}

std::vector<std::uint8_t> Document::Impl::save() const {
  return detail::pack_snapshot(snapshot_body());
}

namespace {
// Inflates into exactly `size` bytes; refuses anything that decodes to more or
// less, without ever allocating more than the header announced.
bool unpack(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& out,
            std::uint64_t size) {
  lzma_stream strm = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&strm, 1ull << 28, 0) != LZMA_OK) return false;
  out.resize(std::min<std::uint64_t>(size, 1u << 20));
  strm.next_in = packed.data();
  strm.avail_in = packed.size();
  strm.next_out = out.data();
  strm.avail_out = out.size();
  lzma_ret ret = LZMA_OK;
  while (ret == LZMA_OK) {
    if (strm.avail_out == 0) {
      if (out.size() >= size) {
        // Full: only the end of the stream may follow.
        std::uint8_t extra;
        strm.next_out = &extra;
        strm.avail_out = 1;
        ret = lzma_code(&strm, LZMA_FINISH);
        if (strm.avail_out == 0) ret = LZMA_DATA_ERROR;
        break;
      }
      const std::size_t done = out.size();
      out.resize(std::min<std::uint64_t>(size, done * 2));
      strm.next_out = out.data() + done;
      strm.avail_out = out.size() - done;
    }
    ret = lzma_code(&strm, LZMA_FINISH);
  }
  const std::uint64_t produced = strm.total_out;
  lzma_end(&strm);
  return ret == LZMA_STREAM_END && produced == size;
}
}  // namespace

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
  std::vector<std::uint8_t> body;
  if (!unpack(in.take(in.remaining()), body, body_len))
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
  Reader meta(r.bytes()), deps(r.bytes());
  detail::OpColumnReader ops;
  if (!ops.read_from(r) || !r.ok()) return base::make_error("saved document is corrupt (streams)");

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
    if (!meta.ok() || !deps.ok() || n_ops > body_len) return corrupt("change header");
    c.ops.resize(n_ops);
    std::uint64_t counter = c.start_op;
    for (auto& op : c.ops) {
      if (!ops.get(op, counter, c.actors.size())) return corrupt("operation");
      counter += op.width();
    }
    max_end = std::max(max_end, counter);
    if (n_ops == 0 || max_end > (1ull << 62)) return corrupt("operations");
    auto encoded = detail::encode_change(c);
    hashes.push_back(detail::hash_bytes(encoded));
    auto applied = impl.apply_change(std::move(c), std::move(encoded), false, &hashes.back());
    if (!applied.ok())
      return base::make_error("saved document holds a bad change: " + applied.error());
  }
  return {};
}

}  // namespace crdt
