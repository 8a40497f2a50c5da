#include "op_columns.hpp"

namespace crdt::detail {
namespace {

// 0: none; otherwise actor + 1, then the distance back from the op's own id.
void put_rel(Writer& w, OpId id, std::uint64_t counter) {
  if (id.counter() == 0) return w.uvar(0);
  w.uvar(std::uint64_t{id.actor_index()} + 1);
  w.svar(static_cast<std::int64_t>(counter - id.counter()));
}

bool is_insert(OpKind k) {
  return k == OpKind::Insert || k == OpKind::InsertObject || k == OpKind::InsertText;
}
bool has_pred(OpKind k) {
  return k == OpKind::Put || k == OpKind::PutObject || k == OpKind::DeleteKey || k == OpKind::Set ||
         k == OpKind::SetObject;
}

}  // namespace

void OpColumnWriter::put(const Op& op, std::uint64_t counter) {
  kind_.u8(static_cast<std::uint8_t>(op.kind));
  if (op.obj == prev_obj_ && op.obj.counter() != 0) {
    obj_.uvar(0);
  } else if (op.obj.counter() == 0) {
    obj_.uvar(1);
  } else {
    obj_.uvar(std::uint64_t{op.obj.actor_index()} + 2);
    obj_.uvar(op.obj.counter());
  }
  prev_obj_ = op.obj;
  if (op.kind <= OpKind::DeleteKey) misc_.str(op.key);
  if (is_insert(op.kind) || op.kind == OpKind::Set || op.kind == OpKind::SetObject)
    put_rel(ref_, op.ref, counter);
  if (is_insert(op.kind)) {
    if (op.right == prev_right_) {
      right_.uvar(0);
    } else if (op.right.counter() == 0) {
      right_.uvar(1);
    } else {
      right_.uvar(std::uint64_t{op.right.actor_index()} + 2);
      right_.svar(static_cast<std::int64_t>(counter - op.right.counter()));
    }
    prev_right_ = op.right;
  }
  switch (op.kind) {
    case OpKind::Put:
    case OpKind::Set:
      put_scalar(misc_, op.values.at(0));
      break;
    case OpKind::Insert:
      len_.uvar(op.values.size());
      for (auto& v : op.values) put_scalar(misc_, v);
      break;
    case OpKind::InsertText: {
      const std::string s = to_utf8(op.text);
      len_.uvar(s.size());
      text_.raw(s.data(), s.size());
      break;
    }
    case OpKind::PutObject:
    case OpKind::InsertObject:
    case OpKind::SetObject:
      misc_.u8(static_cast<std::uint8_t>(op.type));
      break;
    case OpKind::Remove:
      len_.uvar(op.spans.size());
      for (auto& s : op.spans) put_rel(ref_, s.start, counter), len_.uvar(s.len);
      break;
    case OpKind::DeleteKey:
      break;
  }
  if (has_pred(op.kind)) {
    misc_.uvar(op.pred.size());
    for (auto& p : op.pred) put_rel(misc_, p, counter);
  }
}

void OpColumnWriter::write_to(Writer& body) {
  for (Writer* w : {&kind_, &obj_, &ref_, &right_, &len_, &text_, &misc_}) body.bytes(w->buf());
}

bool OpColumnReader::read_from(Reader& body) {
  for (Reader* r : {&kind_, &obj_, &ref_, &right_, &len_, &text_, &misc_})
    *r = Reader(body.bytes());
  return body.ok();
}

OpId OpColumnReader::id(Reader& r, std::uint64_t counter, std::size_t n_actors, bool allow_none) {
  const std::uint64_t a = r.uvar();
  if (a == 0) {
    if (!allow_none) r.fail();
    return kNone;
  }
  const std::uint64_t c = counter - static_cast<std::uint64_t>(r.svar());
  if (a > n_actors || c == 0 || c > (std::uint64_t{1} << 62)) r.fail();
  return OpId(c, static_cast<std::uint32_t>(a - 1));
}

bool OpColumnReader::get(Op& op, std::uint64_t counter, std::size_t n_actors) {
  const std::uint8_t kind = kind_.u8();
  if (!kind_.ok() || kind > kMaxOpKind) return false;
  op.kind = static_cast<OpKind>(kind);
  const std::uint64_t o = obj_.uvar();
  if (o == 0) {
    if (prev_obj_.counter() == 0) return false;
    op.obj = prev_obj_;
  } else if (o == 1) {
    op.obj = kNone;
  } else {
    const std::uint64_t c = obj_.uvar();
    if (o - 2 >= n_actors || c == 0) return false;
    op.obj = OpId(c, static_cast<std::uint32_t>(o - 2));
  }
  prev_obj_ = op.obj;
  if (op.kind <= OpKind::DeleteKey) op.key = misc_.str();
  if (is_insert(op.kind) || op.kind == OpKind::Set || op.kind == OpKind::SetObject)
    op.ref = id(ref_, counter, n_actors, is_insert(op.kind));
  if (is_insert(op.kind)) {
    const std::uint64_t r = right_.uvar();
    if (r == 0) {
      op.right = prev_right_;
    } else if (r == 1) {
      op.right = kNone;
    } else {
      const std::uint64_t c = counter - static_cast<std::uint64_t>(right_.svar());
      if (r - 2 >= n_actors || c == 0 || c > (std::uint64_t{1} << 62)) return false;
      op.right = OpId(c, static_cast<std::uint32_t>(r - 2));
    }
    if (op.right.counter() != 0 && op.right.actor_index() >= n_actors) return false;
    prev_right_ = op.right;
  }
  switch (op.kind) {
    case OpKind::Put:
    case OpKind::Set:
      op.values.push_back(get_scalar(misc_));
      break;
    case OpKind::Insert: {
      const std::size_t n = len_.count(0);
      if (n == 0 || n > misc_.remaining()) return false;
      op.values.resize(n);
      for (auto& v : op.values) v = get_scalar(misc_);
      break;
    }
    case OpKind::InsertText: {
      auto raw = text_.take(len_.uvar());
      if (!text_.ok() || raw.empty()) return false;
      const std::string_view s(reinterpret_cast<const char*>(raw.data()), raw.size());
      if (!utf8_to_code_points(s, op.text)) return false;
      break;
    }
    case OpKind::PutObject:
    case OpKind::InsertObject:
    case OpKind::SetObject: {
      const std::uint8_t t = misc_.u8();
      if (t > 2) return false;
      op.type = static_cast<ObjType>(t);
      break;
    }
    case OpKind::Remove: {
      const std::size_t n = len_.count(0);
      if (n == 0 || n > ref_.remaining()) return false;
      op.spans.resize(n);
      for (auto& s : op.spans) {
        s.start = id(ref_, counter, n_actors, false);
        const std::uint64_t len = len_.uvar();
        if (len == 0 || len > 0xffffffffu) return false;
        s.len = static_cast<std::uint32_t>(len);
      }
      break;
    }
    case OpKind::DeleteKey:
      break;
  }
  if (has_pred(op.kind)) {
    op.pred.resize(misc_.count(1));
    for (auto& p : op.pred) p = id(misc_, counter, n_actors, false);
  }
  const bool seq_op = op.kind >= OpKind::Insert;
  if (seq_op && op.obj.counter() == 0) return false;
  if ((op.kind == OpKind::Set || op.kind == OpKind::SetObject) && op.ref.counter() == 0)
    return false;
  for (Reader* r : {&kind_, &obj_, &ref_, &right_, &len_, &text_, &misc_})
    if (!r->ok()) return false;
  return true;
}

}  // namespace crdt::detail
