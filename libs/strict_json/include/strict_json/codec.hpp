#pragma once
// Records declare their JSON shape once and get both a compact encoder and a
// strict decoder from it.
//
// A type T takes part by providing, in its own namespace (found by ADL),
//
//   constexpr auto json_shape(std::type_identity<T>) { return <shape>; }
//
// where <shape> is one of
//
//   record<T>("Name", required("a", &T::a), optional("b", &T::b), defaulted("c", &T::c), ...)
//       an object whose members are written in this order; also read from an
//       array of the values in the same order;
//   externally_tagged<T>("Name")   T holds `std::variant<...> value` of records;
//       written {"Variant":{...fields}}, a record without fields as "Variant";
//   internally_tagged<T>("Name", "tag")   the same, written {"tag":"variant",...fields};
//   enumeration<E>("Name", {{E::A, "A"}, ...})   a plain enum written as a string.
//
// Strings, bool, the integer types, std::optional<T> (null) and std::vector<T>
// (array) are built in. Integers are range-checked, never truncated.
//
// Decoding rules: members may come in any order; unknown members are ignored;
// a missing required member, a value of the wrong JSON type and an unknown
// variant fail with an error naming the member or variant; `optional` members
// may be absent (read as absent) and `defaulted` members may be absent (read as
// their default); in the array form a missing trailing value is an error unless
// the member is `defaulted`. Duplicate members are refused by the parser.

#include <array>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "strict_json/parse.hpp"
#include "strict_json/path.hpp"

namespace strict_json {

// The encoded form keeps members in insertion order.
using Out = nlohmann::ordered_json;

template <typename T>
struct Codec;

// ---------------------------------------------------------------- shapes

enum class Need { Required, Optional, Default };
enum class Emit { Always, WhenNotEmpty };

template <typename C, typename M>
struct Field {
  using Owner = C;
  using Member = M;
  std::string_view name;
  M C::*member;
  Need need;
  Emit emit = Emit::Always;

  // Leaves the member out of the output when it is an absent optional or an
  // empty list.
  constexpr Field omit_when_empty() const {
    Field f = *this;
    f.emit = Emit::WhenNotEmpty;
    return f;
  }
};

template <typename T>
struct is_optional : std::false_type {};
template <typename T>
struct is_optional<std::optional<T>> : std::true_type {};

template <typename C, typename M>
constexpr Field<C, M> required(std::string_view name, M C::*member) {
  return {name, member, Need::Required};
}
// "T or null": may be absent, and null reads as absent.
template <typename C, typename M>
constexpr Field<C, M> optional(std::string_view name, M C::*member) {
  static_assert(is_optional<M>::value, "optional members are std::optional");
  return {name, member, Need::Optional};
}
// May be absent, in either form, and then reads as the member's default.
template <typename C, typename M>
constexpr Field<C, M> defaulted(std::string_view name, M C::*member) {
  return {name, member, Need::Default};
}

template <typename T, typename... Fs>
struct RecordShape {
  std::string_view name;
  std::tuple<Fs...> fields;
  static constexpr std::size_t kFieldCount = sizeof...(Fs);
};
template <typename T, typename... Fs>
constexpr RecordShape<T, Fs...> record(std::string_view name, Fs... fields) {
  static_assert((std::is_same_v<typename Fs::Owner, T> && ...), "fields belong to the record");
  return {name, std::tuple<Fs...>(fields...)};
}

enum class Tagging { External, Internal };

template <typename T>
struct UnionShape {
  std::string_view name;
  Tagging tagging;
  std::string_view tag_key;  // internal tagging only
};
template <typename T>
constexpr UnionShape<T> externally_tagged(std::string_view name) {
  return {name, Tagging::External, {}};
}
template <typename T>
constexpr UnionShape<T> internally_tagged(std::string_view name, std::string_view tag_key) {
  return {name, Tagging::Internal, tag_key};
}

template <typename E, std::size_t N>
struct EnumShape {
  std::string_view name;
  std::array<std::pair<E, std::string_view>, N> values;
};
template <typename E, std::size_t N>
constexpr EnumShape<E, N> enumeration(std::string_view name,
                                      const std::pair<E, std::string_view> (&values)[N]) {
  EnumShape<E, N> shape{name, {}};
  for (std::size_t i = 0; i < N; ++i) shape.values[i] = values[i];
  return shape;
}

template <typename T>
concept Described = requires {
  json_shape(std::type_identity<T>{});
};

template <Described T>
inline constexpr auto shape_of = json_shape(std::type_identity<T>{});

// ---------------------------------------------------------------- helpers

namespace detail {

std::string_view kind_name(const Tree& t);
base::Error wrong_type(const Path& at, std::string_view expected, const Tree& found);
base::Error bad_integer(const Path& at, std::string_view type, const Tree& found);
std::string name_list(const std::string_view* names, std::size_t count);

template <typename M>
bool is_empty(const M& m) {
  if constexpr (is_optional<M>::value) {
    return !m.has_value();
  } else if constexpr (requires { m.empty(); }) {
    return m.empty();
  } else {
    return false;
  }
}

template <typename T, typename... Fs>
Out encode_record(const RecordShape<T, Fs...>& shape, [[maybe_unused]] const T& value) {
  Out out = Out::object();
  std::apply(
      [&](const auto&... field) {
        (
            [&] {
              const auto& member = value.*(field.member);
              if (field.emit == Emit::WhenNotEmpty && is_empty(member)) return;
              out[std::string(field.name)] =
                  Codec<std::remove_cvref_t<decltype(member)>>::encode(member);
            }(),
            ...);
      },
      shape.fields);
  return out;
}

template <typename T, typename... Fs>
base::Status decode_record(const RecordShape<T, Fs...>& shape, const Tree& tree,
                           [[maybe_unused]] T& out, const Path& at) {
  base::Status status;
  if (tree.is_object()) {
    std::apply(
        [&](const auto&... field) {
          (
              [&] {
                if (!status.ok()) return;
                auto it = tree.find(field.name);
                if (it == tree.end()) {
                  if (field.need == Need::Required) {
                    status = at.error("missing member \"" + std::string(field.name) + "\"");
                  }
                  return;
                }
                using M = typename std::remove_cvref_t<decltype(field)>::Member;
                status = Codec<M>::decode(*it, out.*(field.member), at.member(field.name));
              }(),
              ...);
        },
        shape.fields);
    return status;
  }
  if (tree.is_array()) {
    constexpr std::size_t n = sizeof...(Fs);
    if (tree.size() > n) {
      return at.error("expected at most " + std::to_string(n) + " values, found " +
                      std::to_string(tree.size()));
    }
    [[maybe_unused]] std::size_t i = 0;
    std::apply(
        [&](const auto&... field) {
          (
              [&] {
                std::size_t index = i++;
                if (!status.ok()) return;
                if (index >= tree.size()) {
                  if (field.need != Need::Default) {
                    status =
                        at.error("missing value for member \"" + std::string(field.name) + "\"");
                  }
                  return;
                }
                using M = typename std::remove_cvref_t<decltype(field)>::Member;
                status = Codec<M>::decode(tree[index], out.*(field.member), at.member(field.name));
              }(),
              ...);
        },
        shape.fields);
    return status;
  }
  return wrong_type(at, "object or array", tree);
}

template <typename Variant>
struct Alternatives;
template <typename... As>
struct Alternatives<std::variant<As...>> {
  static constexpr std::array<std::string_view, sizeof...(As)> names{shape_of<As>.name...};
  static constexpr std::array<std::size_t, sizeof...(As)> field_counts{
      std::remove_cvref_t<decltype(shape_of<As>)>::kFieldCount...};

  static std::optional<std::size_t> find(std::string_view name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return i;
    }
    return std::nullopt;
  }
  static base::Error unknown(const Path& at, std::string_view name) {
    return at.error("unknown variant \"" + printable(name, 64) + "\", expected one of " +
                    name_list(names.data(), names.size()));
  }

  // Decodes alternative `index` from `tree` into `out`.
  static base::Status decode(std::size_t index, const Tree& tree, std::variant<As...>& out,
                             const Path& at) {
    base::Status status;
    std::size_t i = 0;
    (
        [&] {
          if (i++ != index) return;
          As value{};
          status = Codec<As>::decode(tree, value, at);
          if (status.ok()) out = std::move(value);
        }(),
        ...);
    return status;
  }
};

template <typename T>
Out encode_union(const UnionShape<T>& shape, const T& value) {
  return std::visit(
      [&](const auto& alt) -> Out {
        using A = std::remove_cvref_t<decltype(alt)>;
        constexpr auto& alt_shape = shape_of<A>;
        Out fields = Codec<A>::encode(alt);
        if (shape.tagging == Tagging::External) {
          if constexpr (std::remove_cvref_t<decltype(alt_shape)>::kFieldCount == 0) {
            return Out(std::string(alt_shape.name));
          } else {
            Out out = Out::object();
            out[std::string(alt_shape.name)] = std::move(fields);
            return out;
          }
        }
        Out out = Out::object();
        out[std::string(shape.tag_key)] = std::string(alt_shape.name);
        for (auto it = fields.begin(); it != fields.end(); ++it) out[it.key()] = std::move(*it);
        return out;
      },
      value.value);
}

template <typename T>
base::Status decode_union(const UnionShape<T>& shape, const Tree& tree, T& out, const Path& at) {
  using Alts = Alternatives<typename T::Variant>;
  if (shape.tagging == Tagging::External) {
    if (tree.is_string()) {
      const auto& name = tree.get_ref<const std::string&>();
      auto index = Alts::find(name);
      if (!index) return Alts::unknown(at, name);
      if (Alts::field_counts[*index] != 0) {
        return at.error("variant \"" + name + "\" needs its members");
      }
      return Alts::decode(*index, Tree::object(), out.value, at.member(name));
    }
    if (!tree.is_object()) return wrong_type(at, "object or string", tree);
    if (tree.size() != 1) {
      return at.error("expected an object with exactly one member naming the variant, found " +
                      std::to_string(tree.size()) + " members");
    }
    const auto& name = tree.begin().key();
    auto index = Alts::find(name);
    if (!index) return Alts::unknown(at, name);
    return Alts::decode(*index, tree.begin().value(), out.value, at.member(name));
  }
  // Internal tagging: the variant name is a member beside the variant's fields,
  // or the first value of the array form.
  const Tree* tag = nullptr;
  Tree rest;
  const Tree* fields = &tree;
  Path tag_at = at.member(shape.tag_key);
  if (tree.is_object()) {
    auto it = tree.find(shape.tag_key);
    if (it == tree.end()) {
      return at.error("missing member \"" + std::string(shape.tag_key) + "\"");
    }
    tag = &*it;
  } else if (tree.is_array()) {
    if (tree.empty()) {
      return at.error("missing value for member \"" + std::string(shape.tag_key) + "\"");
    }
    tag = &tree[0];
    rest = Tree(tree.begin() + 1, tree.end());
    fields = &rest;
  } else {
    return wrong_type(at, "object or array", tree);
  }
  if (!tag->is_string()) return wrong_type(tag_at, "string", *tag);
  const auto& name = tag->get_ref<const std::string&>();
  auto index = Alts::find(name);
  if (!index) return Alts::unknown(tag_at, name);
  return Alts::decode(*index, *fields, out.value, at);
}

}  // namespace detail

// ---------------------------------------------------------------- codecs

template <>
struct Codec<std::string> {
  static Out encode(const std::string& v) { return Out(v); }
  static base::Status decode(const Tree& t, std::string& out, const Path& at) {
    if (!t.is_string()) return detail::wrong_type(at, "string", t);
    out = t.get_ref<const std::string&>();
    return {};
  }
};

template <>
struct Codec<bool> {
  static Out encode(bool v) { return Out(v); }
  static base::Status decode(const Tree& t, bool& out, const Path& at) {
    if (!t.is_boolean()) return detail::wrong_type(at, "bool", t);
    out = t.get<bool>();
    return {};
  }
};

template <typename I>
requires std::integral<I> &&(!std::same_as<I, bool>)&&(sizeof(I) <= 8) struct Codec<I> {
  static constexpr std::string_view type_name() {
    if constexpr (std::is_signed_v<I>) {
      return sizeof(I) == 8 ? "i64" : sizeof(I) == 4 ? "i32" : sizeof(I) == 2 ? "i16" : "i8";
    } else {
      return sizeof(I) == 8 ? "u64" : sizeof(I) == 4 ? "u32" : sizeof(I) == 2 ? "u16" : "u8";
    }
  }
  static Out encode(I v) { return Out(v); }
  static base::Status decode(const Tree& t, I& out, const Path& at) {
    constexpr auto lo = std::numeric_limits<I>::min();
    constexpr auto hi = std::numeric_limits<I>::max();
    if (t.is_number_unsigned()) {
      auto v = t.get<std::uint64_t>();
      if (v > static_cast<std::uint64_t>(hi)) return detail::bad_integer(at, type_name(), t);
      out = static_cast<I>(v);
      return {};
    }
    if (t.is_number_integer()) {
      auto v = t.get<std::int64_t>();
      if (v < 0 ? (std::is_unsigned_v<I> || v < static_cast<std::int64_t>(lo))
                : static_cast<std::uint64_t>(v) > static_cast<std::uint64_t>(hi)) {
        return detail::bad_integer(at, type_name(), t);
      }
      out = static_cast<I>(v);
      return {};
    }
    if (t.is_number_float()) return detail::bad_integer(at, type_name(), t);
    return detail::wrong_type(at, type_name(), t);
  }
};

template <typename T>
struct Codec<std::optional<T>> {
  static Out encode(const std::optional<T>& v) { return v ? Codec<T>::encode(*v) : Out(nullptr); }
  static base::Status decode(const Tree& t, std::optional<T>& out, const Path& at) {
    if (t.is_null()) {
      out.reset();
      return {};
    }
    T value{};
    VESK_TRY_STATUS(Codec<T>::decode(t, value, at));
    out = std::move(value);
    return {};
  }
};

template <typename T>
struct Codec<std::vector<T>> {
  static Out encode(const std::vector<T>& v) {
    Out out = Out::array();
    for (const T& item : v) out.push_back(Codec<T>::encode(item));
    return out;
  }
  static base::Status decode(const Tree& t, std::vector<T>& out, const Path& at) {
    if (!t.is_array()) return detail::wrong_type(at, "array", t);
    out.clear();
    out.reserve(t.size());
    for (std::size_t i = 0; i < t.size(); ++i) {
      T item{};
      VESK_TRY_STATUS(Codec<T>::decode(t[i], item, at.element(i)));
      out.push_back(std::move(item));
    }
    return {};
  }
};

template <Described T>
struct Codec<T> {
  static Out encode(const T& v) { return encode_shape(shape_of<T>, v); }
  static base::Status decode(const Tree& t, T& out, const Path& at) {
    return decode_shape(shape_of<T>, t, out, at);
  }

 private:
  template <typename... Fs>
  static Out encode_shape(const RecordShape<T, Fs...>& s, const T& v) {
    return detail::encode_record(s, v);
  }
  static Out encode_shape(const UnionShape<T>& s, const T& v) { return detail::encode_union(s, v); }
  template <std::size_t N>
  static Out encode_shape(const EnumShape<T, N>& s, const T& v) {
    for (const auto& [value, name] : s.values) {
      if (value == v) return Out(std::string(name));
    }
    // Every enumerator is listed in the shape; an unlisted one is a bug.
    return Out(nullptr);
  }

  template <typename... Fs>
  static base::Status decode_shape(const RecordShape<T, Fs...>& s, const Tree& t, T& out,
                                   const Path& at) {
    return detail::decode_record(s, t, out, at);
  }
  static base::Status decode_shape(const UnionShape<T>& s, const Tree& t, T& out, const Path& at) {
    return detail::decode_union(s, t, out, at);
  }
  template <std::size_t N>
  static base::Status decode_shape(const EnumShape<T, N>& s, const Tree& t, T& out,
                                   const Path& at) {
    if (!t.is_string()) return detail::wrong_type(at, "string", t);
    const auto& text = t.get_ref<const std::string&>();
    for (const auto& [value, name] : s.values) {
      if (name == text) {
        out = value;
        return {};
      }
    }
    std::array<std::string_view, N> names{};
    for (std::size_t i = 0; i < N; ++i) names[i] = s.values[i].second;
    return at.error("unknown variant \"" + printable(text, 64) + "\", expected one of " +
                    detail::name_list(names.data(), N));
  }
};

// ---------------------------------------------------------------- entry points

template <typename T>
constexpr std::string_view type_name() {
  if constexpr (Described<T>) {
    return shape_of<T>.name;
  } else {
    return "value";
  }
}

template <typename T>
Out to_tree(const T& value) {
  return Codec<T>::encode(value);
}

// Compact UTF-8 JSON. Ill-formed UTF-8 inside strings is written as U+FFFD, so
// encoding never fails on text that came from outside (file names, say).
template <typename T>
std::string encode(const T& value) {
  return to_tree(value).dump(-1, ' ', false, Out::error_handler_t::replace);
}

// GCC 12 reports moving a freshly built std::variant of strings into the
// result as a use of uninitialised memory; it is not (ASan/UBSan agree).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
template <typename T>
base::Result<T> from_tree(const Tree& tree) {
  T value{};
  try {
    Path root(type_name<T>());
    VESK_TRY_STATUS(Codec<T>::decode(tree, value, root));
  } catch (const std::exception& e) {
    return base::make_error(std::string(type_name<T>()) + ": " + e.what());
  }
  return value;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

template <typename T>
base::Result<T> decode(std::string_view text, const Limits& limits = {}) {
  auto tree = parse(text, limits);
  if (!tree.ok()) return std::move(tree).take_error();
  return from_tree<T>(*tree);
}

}  // namespace strict_json
