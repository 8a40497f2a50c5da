#pragma once
// Operations and changes, and their binary encoding. A change's hash is the
// BLAKE2b-256 of exactly these bytes, so the encoding is canonical: one change
// has one encoding.
//
// Ids inside an encoded change name actors by their index in the change's own
// actor table (entry 0 is the author); OpIds in memory use the document's
// actor indices. Counter 0 means "none" (or the root object).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bytes.hpp"
#include "crdt/types.hpp"

namespace crdt::detail {

using OpId = ObjId;
inline constexpr OpId kNone{};

enum class OpKind : std::uint8_t {
  Put = 0,        // map key := scalar
  PutObject = 1,  // map key := new object (id = op id)
  DeleteKey = 2,  // map key removed
  Insert = 3,     // list elements (values) after `ref`, before `right`
  InsertObject = 4,
  InsertText = 5,  // text code points after `ref`, before `right`
  Set = 6,         // list element `ref` := scalar
  SetObject = 7,
  Remove = 8,  // list/text elements in `spans` deleted
};
inline constexpr std::uint8_t kMaxOpKind = 8;

struct Span {
  OpId start;  // first element id
  std::uint32_t len = 0;
  friend bool operator==(const Span&, const Span&) = default;
};

struct Op {
  OpKind kind = OpKind::Put;
  OpId obj;
  std::string key;              // Put, PutObject, DeleteKey
  OpId ref;                     // Insert*: left origin; Set*: target element
  OpId right;                   // Insert*: right origin
  std::vector<Scalar> values;   // Put/Set: 1; Insert: n
  ObjType type = ObjType::Map;  // *Object
  std::u32string text;          // InsertText
  std::vector<OpId> pred;       // Put*, DeleteKey, Set*: the values replaced
  std::vector<Span> spans;      // Remove

  // How many op counters this op consumes (one per inserted element).
  std::uint64_t width() const {
    if (kind == OpKind::InsertText) return text.size();
    if (kind == OpKind::Insert) return values.size();
    return 1;
  }
};

struct Change {
  std::vector<ActorId> actors;  // [0] is the author
  std::uint64_t seq = 0;
  std::uint64_t start_op = 0;
  std::int64_t time = 0;
  std::vector<ChangeHash> deps;  // sorted
  std::vector<Op> ops;           // ids use indices into `actors`

  std::uint64_t width() const {
    std::uint64_t w = 0;
    for (auto& op : ops) w += op.width();
    return w;
  }
};

std::vector<std::uint8_t> encode_change(const Change& change);
// Refuses anything malformed: bad bounds, unknown kinds, actor indices out of
// range, invalid UTF-8, zero-width inserts, counter overflow, non-canonical
// bytes (so a decoded change re-encodes to the same bytes and hash).
std::optional<Change> decode_change(std::span<const std::uint8_t> bytes);
// Scalar values in the change encoding, shared with the snapshot codec.
void put_scalar(Writer& w, const Scalar& s);
Scalar get_scalar(Reader& r);
ChangeHash hash_bytes(std::span<const std::uint8_t> bytes);

}  // namespace crdt::detail
