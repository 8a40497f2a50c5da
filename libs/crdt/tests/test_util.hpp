#pragma once
// Helpers shared by the document engine's tests.

#include <string>

#include "crdt/document.hpp"

namespace crdt::testing {

inline ActorId actor_of(std::uint8_t n) {
  ActorId a{};
  a.fill(n);
  return a;
}

// The whole reachable tree as text, keys in order and conflicts included, so
// two replicas compare equal exactly when everything they show agrees.
inline void dump_value(const Document& d, const Value& v, std::string& out);

inline void dump_object(const Document& d, ObjId obj, std::string& out) {
  switch (d.object_type(obj).value_or(ObjType::Map)) {
    case ObjType::Map:
      out += "{";
      for (auto& k : d.keys(obj)) {
        out += k + ":";
        auto all = d.conflicts(obj, k);
        for (std::size_t i = 0; i < all.size(); ++i) {
          if (i) out += "|";
          dump_value(d, all[i], out);
        }
        out += ",";
      }
      out += "}";
      break;
    case ObjType::List:
      out += "[";
      for (auto& v : d.items(obj)) dump_value(d, v, out), out += ",";
      out += "]";
      break;
    case ObjType::Text:
      out += "\"" + d.text(obj) + "\"";
      break;
  }
}

inline void dump_value(const Document& d, const Value& v, std::string& out) {
  if (auto o = v.object()) return dump_object(d, o->id, out);
  std::visit(
      [&](const auto& s) {
        using T = std::decay_t<decltype(s)>;
        if constexpr (std::is_same_v<T, Null>)
          out += "null";
        else if constexpr (std::is_same_v<T, std::string>)
          out += "'" + s + "'";
        else if constexpr (std::is_same_v<T, bool>)
          out += s ? "true" : "false";
        else if constexpr (std::is_same_v<T, double>)
          out += "d" + std::to_string(s);
        else if constexpr (std::is_same_v<T, std::uint64_t>)
          out += "u" + std::to_string(s);
        else
          out += "i" + std::to_string(s);
      },
      v.scalar());
}

inline std::string dump(const Document& d) {
  std::string out;
  dump_object(d, ObjId::root(), out);
  return out;
}

// Brings both documents to the same state through the sync protocol.
inline void sync_pair(Document& a, Document& b) {
  SyncState sa, sb;
  for (int round = 0; round < 20; ++round) {
    auto ma = a.generate_sync_message(sa);
    auto mb = b.generate_sync_message(sb);
    if (!ma && !mb) return;
    if (ma) (void)b.receive_sync_message(sb, *ma);
    if (mb) (void)a.receive_sync_message(sa, *mb);
  }
}

}  // namespace crdt::testing

#include <random>

namespace crdt::testing {

// Every object reachable from the root (winners and conflicts).
inline void collect_objects(const Document& d, ObjId obj, std::vector<ObjId>& out) {
  out.push_back(obj);
  auto visit = [&](const Value& v) {
    if (auto o = v.object()) collect_objects(d, o->id, out);
  };
  switch (d.object_type(obj).value_or(ObjType::Text)) {
    case ObjType::Map:
      for (auto& k : d.keys(obj))
        for (auto& v : d.conflicts(obj, k)) visit(v);
      break;
    case ObjType::List:
      for (auto& v : d.items(obj)) visit(v);
      break;
    case ObjType::Text:
      break;
  }
}

inline std::string random_text(std::mt19937& rng) {
  static const char* const kPieces[] = {"a", "b", "c", "xyz", "\xc3\xa9", "\xf0\x9f\x99\x82", " "};
  std::string s;
  const int n = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < n; ++i) s += kPieces[rng() % 7];
  return s;
}

inline Scalar random_scalar(std::mt19937& rng) {
  switch (rng() % 6) {
    case 0:
      return Null{};
    case 1:
      return random_text(rng);
    case 2:
      return static_cast<std::int64_t>(rng() % 100) - 50;
    case 3:
      return static_cast<std::uint64_t>(rng());
    case 4:
      return static_cast<double>(rng() % 1000) / 8.0;
    default:
      return rng() % 2 == 0;
  }
}

// One random write somewhere in the document; never fails.
inline void random_edit(Document& d, std::mt19937& rng) {
  std::vector<ObjId> objs;
  collect_objects(d, ObjId::root(), objs);
  const ObjId obj = objs[rng() % objs.size()];
  const std::string key(1, static_cast<char>('a' + rng() % 5));
  const auto len = d.length(obj);
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
  const auto type = static_cast<ObjType>(rng() % 3);
  bool ok = true;
  switch (*d.object_type(obj)) {
    case ObjType::Map:
      switch (rng() % 4) {
        case 0:
          ok = d.put_object(obj, key, type).ok();
          break;
        case 1:
          ok = d.delete_key(obj, key).ok();
          break;
        default:
          ok = d.put(obj, key, random_scalar(rng)).ok();
          break;
      }
      break;
    case ObjType::List:
      switch (len == 0 ? 0 : rng() % 5) {
        case 0:
          ok = d.insert(obj, pick(len + 1), random_scalar(rng)).ok();
          break;
        case 1:
          ok = d.insert_object(obj, pick(len + 1), type).ok();
          break;
        case 2:
          ok = d.set(obj, pick(len), random_scalar(rng)).ok();
          break;
        default:
          ok = d.delete_at(obj, pick(len)).ok();
          break;
      }
      break;
    case ObjType::Text: {
      const auto pos = pick(len + 1);
      const auto del = pick(std::min<std::size_t>(len - pos, 4) + 1);
      ok = d.splice_text(obj, pos, del, rng() % 3 ? random_text(rng) : "").ok();
      break;
    }
  }
  if (!ok) std::abort();
}

}  // namespace crdt::testing
