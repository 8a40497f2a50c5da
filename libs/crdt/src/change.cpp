#include "change.hpp"

#include <sodium.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "bytes.hpp"

namespace crdt::detail {
namespace {

constexpr std::uint8_t kChangeFormat = 1;

enum ScalarTag : std::uint8_t { kNull = 0, kStr, kI64, kU64, kF64, kFalse, kTrue };

// counter, then (unless 0 = none) the index into the change's actor table
void put_id(Writer& w, OpId id) {
  w.uvar(id.counter());
  if (id.counter() != 0) w.uvar(id.actor_index());
}

}  // namespace

void put_scalar(Writer& w, const Scalar& s) {
  switch (s.index()) {
    case 0:
      w.u8(kNull);
      break;
    case 1:
      w.u8(kStr), w.str(std::get<1>(s));
      break;
    case 2:
      w.u8(kI64), w.svar(std::get<2>(s));
      break;
    case 3:
      w.u8(kU64), w.uvar(std::get<3>(s));
      break;
    case 4:
      w.u8(kF64), w.u64le(std::bit_cast<std::uint64_t>(std::get<4>(s)));
      break;
    default:
      w.u8(std::get<5>(s) ? kTrue : kFalse);
      break;
  }
}

Scalar get_scalar(Reader& r) {
  switch (r.u8()) {
    case kNull:
      return Null{};
    case kStr:
      return r.str();
    case kI64:
      return r.svar();
    case kU64:
      return r.uvar();
    case kF64:
      return std::bit_cast<double>(r.u64le());
    case kFalse:
      return false;
    case kTrue:
      return true;
    default:
      r.fail();
      return Null{};
  }
}

namespace {

void put_pred(Writer& w, const std::vector<OpId>& pred) {
  w.uvar(pred.size());
  for (auto& p : pred) put_id(w, p);
}

struct Decoder {
  Reader r;
  std::size_t actors = 0;

  OpId id() {
    std::uint64_t c = r.uvar();
    if (c == 0) return kNone;
    std::uint64_t a = r.uvar();
    if (a >= actors) r.fail();
    return OpId(c, static_cast<std::uint32_t>(a));
  }
  Scalar scalar() { return get_scalar(r); }
  ObjType type() {
    std::uint8_t t = r.u8();
    if (t > 2) r.fail();
    return static_cast<ObjType>(t);
  }
  std::vector<OpId> pred() {
    std::vector<OpId> out(r.count());
    for (auto& p : out) p = id();
    return out;
  }
};

void encode_op(Writer& w, const Op& op) {
  w.u8(static_cast<std::uint8_t>(op.kind));
  put_id(w, op.obj);
  switch (op.kind) {
    case OpKind::Put:
      w.str(op.key), put_scalar(w, op.values.at(0)), put_pred(w, op.pred);
      break;
    case OpKind::PutObject:
      w.str(op.key), w.u8(static_cast<std::uint8_t>(op.type)), put_pred(w, op.pred);
      break;
    case OpKind::DeleteKey:
      w.str(op.key), put_pred(w, op.pred);
      break;
    case OpKind::Insert:
      put_id(w, op.ref), put_id(w, op.right), w.uvar(op.values.size());
      for (auto& v : op.values) put_scalar(w, v);
      break;
    case OpKind::InsertObject:
      put_id(w, op.ref), put_id(w, op.right);
      w.u8(static_cast<std::uint8_t>(op.type));
      break;
    case OpKind::InsertText: {
      put_id(w, op.ref), put_id(w, op.right);
      w.str(to_utf8(op.text));
      break;
    }
    case OpKind::Set:
      put_id(w, op.ref), put_scalar(w, op.values.at(0)), put_pred(w, op.pred);
      break;
    case OpKind::SetObject:
      put_id(w, op.ref), w.u8(static_cast<std::uint8_t>(op.type));
      put_pred(w, op.pred);
      break;
    case OpKind::Remove:
      w.uvar(op.spans.size());
      for (auto& s : op.spans) put_id(w, s.start), w.uvar(s.len);
      break;
  }
}

bool decode_op(Decoder& d, Op& op) {
  Reader& r = d.r;
  std::uint8_t kind = r.u8();
  if (kind > kMaxOpKind) return false;
  op.kind = static_cast<OpKind>(kind);
  op.obj = d.id();
  switch (op.kind) {
    case OpKind::Put:
      op.key = r.str(), op.values.push_back(d.scalar()), op.pred = d.pred();
      break;
    case OpKind::PutObject:
      op.key = r.str(), op.type = d.type(), op.pred = d.pred();
      break;
    case OpKind::DeleteKey:
      op.key = r.str(), op.pred = d.pred();
      break;
    case OpKind::Insert: {
      op.ref = d.id(), op.right = d.id();
      op.values.resize(r.count());
      for (auto& v : op.values) v = d.scalar();
      break;
    }
    case OpKind::InsertObject:
      op.ref = d.id(), op.right = d.id(), op.type = d.type();
      break;
    case OpKind::InsertText: {
      op.ref = d.id(), op.right = d.id();
      auto raw = r.bytes();
      const std::string_view s(reinterpret_cast<const char*>(raw.data()), raw.size());
      if (!utf8_to_code_points(s, op.text)) return false;
      break;
    }
    case OpKind::Set:
      op.ref = d.id(), op.values.push_back(d.scalar()), op.pred = d.pred();
      break;
    case OpKind::SetObject:
      op.ref = d.id(), op.type = d.type(), op.pred = d.pred();
      break;
    case OpKind::Remove: {
      op.spans.resize(r.count(2));
      for (auto& s : op.spans) {
        s.start = d.id();
        std::uint64_t len = r.uvar();
        if (s.start.counter() == 0 || len == 0 || len > 0xffffffffu ||
            len > ~std::uint64_t{0} - s.start.counter())
          return false;
        s.len = static_cast<std::uint32_t>(len);
      }
      if (op.spans.empty()) return false;
      break;
    }
  }
  if (!r.ok()) return false;
  if (op.width() == 0) return false;
  const bool seq_op = op.kind >= OpKind::Insert;
  if (seq_op && op.obj.is_root()) return false;
  if ((op.kind == OpKind::Set || op.kind == OpKind::SetObject) && op.ref.counter() == 0)
    return false;
  return true;
}

}  // namespace

std::vector<std::uint8_t> encode_change(const Change& c) {
  Writer w;
  w.u8(kChangeFormat);
  w.uvar(c.actors.size());
  for (auto& a : c.actors) w.raw(a.data(), a.size());
  w.uvar(c.seq);
  w.uvar(c.start_op);
  w.svar(c.time);
  w.uvar(c.deps.size());
  for (auto& d : c.deps) w.raw(d.data(), d.size());
  w.uvar(c.ops.size());
  for (auto& op : c.ops) encode_op(w, op);
  return w.take();
}

std::optional<Change> decode_change(std::span<const std::uint8_t> bytes) {
  Decoder d{Reader(bytes), 0};
  Reader& r = d.r;
  if (r.u8() != kChangeFormat) return std::nullopt;
  Change c;
  std::size_t n_actors = r.count(16);
  if (n_actors == 0) return std::nullopt;
  c.actors.resize(n_actors);
  for (auto& a : c.actors) {
    auto s = r.take(16);
    if (!r.ok()) return std::nullopt;
    std::memcpy(a.data(), s.data(), 16);
  }
  d.actors = n_actors;
  c.seq = r.uvar();
  c.start_op = r.uvar();
  c.time = r.svar();
  c.deps.resize(r.count(32));
  for (auto& h : c.deps) {
    auto s = r.take(32);
    if (!r.ok()) return std::nullopt;
    std::memcpy(h.data(), s.data(), 32);
  }
  if (!std::is_sorted(c.deps.begin(), c.deps.end()) ||
      std::adjacent_find(c.deps.begin(), c.deps.end()) != c.deps.end())
    return std::nullopt;
  if (c.seq == 0 || c.start_op == 0) return std::nullopt;
  c.ops.resize(r.count(2));
  for (auto& op : c.ops)
    if (!decode_op(d, op)) return std::nullopt;
  if (!r.ok() || !r.done()) return std::nullopt;
  if (c.width() > (std::uint64_t{1} << 62) || c.start_op > (std::uint64_t{1} << 62))
    return std::nullopt;
  // One change, one encoding: anything that does not re-encode byte for byte
  // (padded varints, replaced UTF-8) would hash differently elsewhere.
  auto again = encode_change(c);
  if (again.size() != bytes.size() || !std::equal(again.begin(), again.end(), bytes.begin()))
    return std::nullopt;
  return c;
}

ChangeHash hash_bytes(std::span<const std::uint8_t> bytes) {
  ChangeHash h{};
  crypto_generichash(h.data(), h.size(), bytes.data(), bytes.size(), nullptr, 0);
  return h;
}

}  // namespace crdt::detail
