// Property test: random operation sequences on one replica agree with a plain
// reference model (maps, vectors, code point strings), also after save/load.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "crdt/document.hpp"
#include "test_util.hpp"

namespace crdt {
namespace {

struct Model {
  struct Obj {
    ObjType type = ObjType::Map;
    std::map<std::string, Value> map;
    std::vector<Value> list;
    std::u32string text;
  };
  std::map<ObjId, Obj> objs{{ObjId::root(), Obj{}}};

  static std::u32string cps(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
      const auto b = static_cast<unsigned char>(s[i]);
      const int n = b < 0x80 ? 1 : b < 0xe0 ? 2 : b < 0xf0 ? 3 : 4;
      char32_t c = n == 1 ? b : b & (0x7f >> n);
      for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
      out.push_back(c);
      i += static_cast<std::size_t>(n);
    }
    return out;
  }
  static std::string utf8(const std::u32string& s) {
    std::string out;
    for (char32_t c : s) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
      } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
      } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
      }
    }
    return out;
  }

  void dump_value(const Value& v, std::string& out) const {
    if (auto o = v.object()) return dump(o->id, out);
    Document tmp;  // reuse the shared scalar rendering
    testing::dump_value(tmp, v, out);
  }
  void dump(ObjId id, std::string& out) const {
    const Obj& o = objs.at(id);
    switch (o.type) {
      case ObjType::Map:
        out += "{";
        for (auto& [k, v] : o.map) out += k + ":", dump_value(v, out), out += ",";
        out += "}";
        break;
      case ObjType::List:
        out += "[";
        for (auto& v : o.list) dump_value(v, out), out += ",";
        out += "]";
        break;
      case ObjType::Text:
        out += "\"" + utf8(o.text) + "\"";
        break;
    }
  }
  std::string dump() const {
    std::string out;
    dump(ObjId::root(), out);
    return out;
  }
};

// Applies one random op to both the document and the model.
void step(Document& d, Model& m, std::mt19937& rng) {
  std::vector<ObjId> reach;
  testing::collect_objects(d, ObjId::root(), reach);
  const ObjId id = reach[rng() % reach.size()];
  Model::Obj& o = m.objs.at(id);
  const std::string key(1, static_cast<char>('a' + rng() % 6));
  const auto type = static_cast<ObjType>(rng() % 3);
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
  auto add = [&](ObjId child) {
    m.objs[child].type = type;
    return Value(ObjectRef{child, type});
  };
  switch (o.type) {
    case ObjType::Map:
      switch (rng() % 4) {
        case 0:
          o.map[key] = add(d.put_object(id, key, type).value());
          break;
        case 1:
          ASSERT_TRUE(d.delete_key(id, key).ok());
          o.map.erase(key);
          break;
        default: {
          auto v = testing::random_scalar(rng);
          ASSERT_TRUE(d.put(id, key, v).ok());
          o.map[key] = Value(v);
        }
      }
      break;
    case ObjType::List: {
      const auto n = o.list.size();
      switch (n == 0 ? 0 : rng() % 5) {
        case 0: {
          auto at = pick(n + 1);
          auto v = testing::random_scalar(rng);
          ASSERT_TRUE(d.insert(id, at, v).ok());
          o.list.insert(o.list.begin() + static_cast<std::ptrdiff_t>(at), Value(v));
          break;
        }
        case 1: {
          auto at = pick(n + 1);
          auto child = d.insert_object(id, at, type).value();
          o.list.insert(o.list.begin() + static_cast<std::ptrdiff_t>(at), add(child));
          break;
        }
        case 2: {
          auto at = pick(n);
          if (rng() % 2) {
            auto v = testing::random_scalar(rng);
            ASSERT_TRUE(d.set(id, at, v).ok());
            o.list[at] = Value(v);
          } else {
            o.list[at] = add(d.set_object(id, at, type).value());
          }
          break;
        }
        default: {
          auto at = pick(n);
          ASSERT_TRUE(d.delete_at(id, at).ok());
          o.list.erase(o.list.begin() + static_cast<std::ptrdiff_t>(at));
        }
      }
      break;
    }
    case ObjType::Text: {
      const auto n = o.text.size();
      if (rng() % 4 == 0) {
        std::u32string next = o.text;
        next.insert(pick(n + 1), Model::cps(testing::random_text(rng)));
        if (!next.empty() && rng() % 2) next.erase(pick(next.size()), 1 + pick(3));
        ASSERT_TRUE(splice_text_diffed(d, id, Model::utf8(next)).ok());
        o.text = next;
        break;
      }
      const auto pos = pick(n + 1);
      const auto del = pick(std::min<std::size_t>(n - pos, 5) + 1);
      const std::string ins = rng() % 3 ? testing::random_text(rng) : "";
      ASSERT_TRUE(d.splice_text(id, pos, del, ins).ok());
      o.text.replace(pos, del, Model::cps(ins));
      break;
    }
  }
}

TEST(CrdtModel, RandomOperationSequencesMatchTheReference) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    Document d(testing::actor_of(1));
    Model m;
    for (int i = 0; i < 300; ++i) {
      step(d, m, rng);
      if (::testing::Test::HasFatalFailure()) return;
      if (rng() % 5 == 0) d.commit(i);
      if (i % 50 == 49) {
        ASSERT_EQ(testing::dump(d), m.dump()) << "seed " << seed << " op " << i;
      }
    }
    ASSERT_EQ(testing::dump(d), m.dump()) << "seed " << seed;
    auto back = Document::load(d.save());
    ASSERT_TRUE(back.ok()) << back.error();
    ASSERT_EQ(testing::dump(*back), m.dump()) << "seed " << seed << " after load";
    ASSERT_EQ(back->heads(), d.heads());
    // Replaying the history op by op as a peer gives the same document too.
    Document peer(testing::actor_of(2));
    ASSERT_TRUE(peer.apply_changes(d.encode_changes_since({})).ok());
    ASSERT_EQ(testing::dump(peer), m.dump()) << "seed " << seed << " replayed";
  }
}

TEST(CrdtModel, LongTextEditingMatchesAString) {
  // Enough elements to split the sequence into many chunks.
  std::mt19937 rng(7);
  Document d(testing::actor_of(1));
  auto t = d.put_object(ObjId::root(), "t", ObjType::Text).value();
  std::u32string model;
  for (int i = 0; i < 20000; ++i) {
    const auto n = model.size();
    const std::size_t pos = n == 0 ? 0 : rng() % (n + 1);
    const std::size_t del =
        (rng() % 3 == 0 && pos < n) ? 1 + rng() % std::min<std::size_t>(n - pos, 8) : 0;
    const std::string ins = rng() % 4 ? std::string(1, static_cast<char>('a' + rng() % 26)) : "";
    ASSERT_TRUE(d.splice_text(t, pos, del, ins).ok());
    model.replace(pos, del, Model::cps(ins));
    if (rng() % 16 == 0) d.commit();
  }
  ASSERT_EQ(d.text(t), Model::utf8(model));
  auto back = Document::load(d.save()).value();
  EXPECT_EQ(back.text(back.get(ObjId::root(), "t")->object(ObjType::Text).value()),
            Model::utf8(model));
}

}  // namespace
}  // namespace crdt
