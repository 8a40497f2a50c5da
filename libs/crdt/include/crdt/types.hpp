#pragma once
// Value types of the document engine: object ids, object kinds, scalars and the
// values a read returns. All are plain copyable values.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace crdt {

// 16 random bytes naming one writer session. Every open of a document file
// takes a fresh one, so operation ids stay unique across crashes and processes.
using ActorId = std::array<std::uint8_t, 16>;

// BLAKE2b-256 of a change's encoded content.
using ChangeHash = std::array<std::uint8_t, 32>;

std::string to_hex(const ActorId& actor);
std::string to_hex(const ChangeHash& hash);

enum class ObjType : std::uint8_t { Map = 0, List = 1, Text = 2 };

// Names one map, list or text object of one Document. Ids are only meaningful
// inside the Document instance that handed them out (and documents loaded
// from it in the same process are not guaranteed to agree); look objects up
// again by key after a reload.
class ObjId {
 public:
  constexpr ObjId() = default;  // the root map
  static constexpr ObjId root() { return ObjId(); }
  constexpr bool is_root() const { return counter_ == 0; }

  friend constexpr bool operator==(const ObjId&, const ObjId&) = default;
  friend constexpr auto operator<=>(const ObjId&, const ObjId&) = default;

  std::size_t hash() const {
    return std::hash<std::uint64_t>()(counter_ * 0x9e3779b97f4a7c15ull ^ actor_);
  }
  // For logs only: "root" or "<counter>@<actor index>".
  std::string to_string() const;

  // Internal representation; the engine builds these, callers never need to.
  constexpr ObjId(std::uint64_t counter, std::uint32_t actor) : counter_(counter), actor_(actor) {}
  constexpr std::uint64_t counter() const { return counter_; }
  constexpr std::uint32_t actor_index() const { return actor_; }

 private:
  std::uint64_t counter_ = 0;
  std::uint32_t actor_ = 0;
};

using Null = std::monostate;
// A scalar as stored: null, UTF-8 (or any bytes) string, signed and unsigned
// 64-bit integers, double, bool.
using Scalar = std::variant<Null, std::string, std::int64_t, std::uint64_t, double, bool>;

struct ObjectRef {
  ObjId id;
  ObjType type = ObjType::Map;
  friend bool operator==(const ObjectRef&, const ObjectRef&) = default;
};

// What a read returns: a scalar or a nested object. Accessors answer nothing
// when the value holds another kind, so tolerant readers can stay one-liners.
class Value {
 public:
  Value() = default;
  Value(Scalar s) : v_(std::move(s)) {}  // NOLINT
  Value(ObjectRef o) : v_(o) {}          // NOLINT

  bool is_object() const { return std::holds_alternative<ObjectRef>(v_); }
  bool is_null() const {
    return !is_object() && std::holds_alternative<Null>(std::get<Scalar>(v_));
  }
  // The object when this is one of the given type (or of any type).
  std::optional<ObjId> object(ObjType type) const;
  std::optional<ObjectRef> object() const;

  const std::string* str() const;            // only a string
  std::optional<std::int64_t> i64() const;   // only a signed integer
  std::optional<std::uint64_t> u64() const;  // only an unsigned integer
  std::optional<double> f64() const;         // only a double
  std::optional<bool> boolean() const;       // only a bool
  // The scalar; Null for objects.
  Scalar scalar() const;

  friend bool operator==(const Value&, const Value&) = default;

 private:
  std::variant<Scalar, ObjectRef> v_;
};

}  // namespace crdt

template <>
struct std::hash<crdt::ObjId> {
  std::size_t operator()(const crdt::ObjId& id) const { return id.hash(); }
};
