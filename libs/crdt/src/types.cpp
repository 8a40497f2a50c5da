#include "crdt/types.hpp"

#include "base/random.hpp"

namespace crdt {

std::string to_hex(const ActorId& actor) {
  return base::to_hex(actor.data(), actor.size());
}
std::string to_hex(const ChangeHash& hash) {
  return base::to_hex(hash.data(), hash.size());
}

std::string ObjId::to_string() const {
  if (is_root()) return "root";
  return std::to_string(counter_) + "@" + std::to_string(actor_);
}

std::optional<ObjId> Value::object(ObjType type) const {
  if (auto* o = std::get_if<ObjectRef>(&v_); o && o->type == type) return o->id;
  return std::nullopt;
}

std::optional<ObjectRef> Value::object() const {
  if (auto* o = std::get_if<ObjectRef>(&v_)) return *o;
  return std::nullopt;
}

const std::string* Value::str() const {
  auto* s = std::get_if<Scalar>(&v_);
  return s ? std::get_if<std::string>(s) : nullptr;
}

namespace {
template <typename T>
std::optional<T> scalar_as(const std::variant<Scalar, ObjectRef>& v) {
  if (auto* s = std::get_if<Scalar>(&v))
    if (auto* t = std::get_if<T>(s)) return *t;
  return std::nullopt;
}
}  // namespace

std::optional<std::int64_t> Value::i64() const {
  return scalar_as<std::int64_t>(v_);
}
std::optional<std::uint64_t> Value::u64() const {
  return scalar_as<std::uint64_t>(v_);
}
std::optional<double> Value::f64() const {
  return scalar_as<double>(v_);
}
std::optional<bool> Value::boolean() const {
  return scalar_as<bool>(v_);
}

Scalar Value::scalar() const {
  if (auto* s = std::get_if<Scalar>(&v_)) return *s;
  return Null{};
}

}  // namespace crdt
