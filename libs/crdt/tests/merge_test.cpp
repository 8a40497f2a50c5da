// Merge rules between replicas: conflicts, sequence order, deletes, writes
// into detached objects; the result never depends on arrival order.
#include <gtest/gtest.h>

#include "crdt/document.hpp"
#include "test_util.hpp"

namespace crdt {
namespace {

using testing::actor_of;
using testing::dump;
const ObjId kRoot = ObjId::root();

// Both merge orders give the same document; answers it.
std::string merged(Document& a, Document& b) {
  Document ab = Document::load(a.save(), actor_of(90)).value();
  Document ba = Document::load(b.save(), actor_of(91)).value();
  EXPECT_TRUE(ab.merge(b).ok());
  EXPECT_TRUE(ba.merge(a).ok());
  EXPECT_EQ(dump(ab), dump(ba));
  EXPECT_EQ(ab.heads(), ba.heads());
  return dump(ab);
}

ObjId text_at(const Document& d, const char* key) {
  return d.get(kRoot, key)->object(ObjType::Text).value();
}

TEST(CrdtMerge, ConcurrentPutsKeepOneWinnerAndAllConflicts) {
  Document a(actor_of(1)), b(actor_of(2));
  ASSERT_TRUE(a.put(kRoot, "k", std::string("a")).ok());
  a.commit();
  ASSERT_TRUE(b.put(kRoot, "k", std::string("b")).ok());
  b.commit();
  ASSERT_TRUE(a.merge(b).ok());
  ASSERT_TRUE(b.merge(a).ok());
  // Equal counters: the greater actor wins everywhere.
  EXPECT_EQ(*a.get(kRoot, "k")->str(), "b");
  EXPECT_EQ(*b.get(kRoot, "k")->str(), "b");
  EXPECT_EQ(a.conflicts(kRoot, "k").size(), 2u);
  EXPECT_EQ(dump(a), dump(b));
  // A later write that saw both resolves the conflict.
  ASSERT_TRUE(a.put(kRoot, "k", std::string("c")).ok());
  a.commit();
  ASSERT_TRUE(b.merge(a).ok());
  EXPECT_EQ(b.conflicts(kRoot, "k").size(), 1u);
  EXPECT_EQ(*b.get(kRoot, "k")->str(), "c");
}

TEST(CrdtMerge, HigherCounterWinsOverActorOrder) {
  Document a(actor_of(1)), b(actor_of(2));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(a.put(kRoot, "x", std::int64_t{i}).ok());
  a.commit();
  ASSERT_TRUE(b.put(kRoot, "k", std::string("b")).ok());
  ASSERT_TRUE(a.put(kRoot, "k", std::string("a")).ok());  // counter 4 beats b's 1
  a.commit(), b.commit();
  EXPECT_NE(merged(a, b).find("k:'a'|'b'"), std::string::npos);
}

TEST(CrdtMerge, ConcurrentTypingNeverInterleaves) {
  struct Case {
    const char* name;
    bool backwards;  // typing each character before the previous one
    bool commit_each;
  };
  for (auto c : {Case{"forward", false, false}, Case{"forward, commit each", false, true},
                 Case{"backward", true, false}, Case{"backward, commit each", true, true}}) {
    Document a(actor_of(1));
    auto t = a.put_object(kRoot, "t", ObjType::Text).value();
    ASSERT_TRUE(a.splice_text(t, 0, 0, "[]").ok());
    a.commit();
    Document b = Document::load(a.save(), actor_of(2)).value();
    auto type = [&](Document& d, const std::string& s) {
      for (std::size_t i = 0; i < s.size(); ++i) {
        const std::size_t pos = c.backwards ? 1 : 1 + i;
        const std::string ch(1, c.backwards ? s[s.size() - 1 - i] : s[i]);
        ASSERT_TRUE(d.splice_text(text_at(d, "t"), pos, 0, ch).ok());
        if (c.commit_each) d.commit();
      }
      d.commit();
    };
    type(a, "hello");
    type(b, "WORLD");
    const auto m = merged(a, b);
    EXPECT_TRUE(m.find("[helloWORLD]") != std::string::npos ||
                m.find("[WORLDhello]") != std::string::npos)
        << c.name << ": " << m;
  }
}

TEST(CrdtMerge, ConcurrentInsertsAtOnePlaceOrderTheSameEverywhere) {
  Document base(actor_of(1));
  auto l = base.put_object(kRoot, "l", ObjType::List).value();
  ASSERT_TRUE(base.insert(l, 0, std::int64_t{0}).ok());
  base.commit();
  std::vector<Document> reps;
  for (std::uint8_t i = 0; i < 4; ++i) {
    reps.push_back(
        Document::load(base.save(), actor_of(static_cast<std::uint8_t>(10 + i))).value());
    auto rl = reps.back().get(kRoot, "l")->object(ObjType::List).value();
    ASSERT_TRUE(reps.back().insert(rl, 1, std::int64_t{10 + i}).ok());
    ASSERT_TRUE(reps.back().insert(rl, 0, std::int64_t{20 + i}).ok());
    reps.back().commit();
  }
  // Merge in two opposite orders.
  Document x = Document::load(base.save(), actor_of(50)).value();
  Document y = Document::load(base.save(), actor_of(51)).value();
  for (std::size_t i = 0; i < reps.size(); ++i) {
    ASSERT_TRUE(x.merge(reps[i]).ok());
    ASSERT_TRUE(y.merge(reps[reps.size() - 1 - i]).ok());
  }
  EXPECT_EQ(dump(x), dump(y));
  EXPECT_EQ(x.length(x.get(kRoot, "l")->object(ObjType::List).value()), 9u);
}

TEST(CrdtMerge, DeletesAreIdempotentAndSetLosesToDelete) {
  Document a(actor_of(1));
  auto l = a.put_object(kRoot, "l", ObjType::List).value();
  auto t = a.put_object(kRoot, "t", ObjType::Text).value();
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(a.insert(l, 0, std::int64_t{i}).ok());
  ASSERT_TRUE(a.splice_text(t, 0, 0, "abcdef").ok());
  a.commit();
  Document b = Document::load(a.save(), actor_of(2)).value();
  auto bl = b.get(kRoot, "l")->object(ObjType::List).value();
  auto bt = text_at(b, "t");
  // List [3,2,1,0]: both delete 1, a deletes 2 while b sets it.
  ASSERT_TRUE(a.delete_at(l, 1).ok());
  ASSERT_TRUE(a.delete_at(l, 1).ok());
  ASSERT_TRUE(a.splice_text(t, 1, 3, "").ok());
  ASSERT_TRUE(b.set(bl, 1, std::string("s")).ok());
  ASSERT_TRUE(b.delete_at(bl, 2).ok());
  ASSERT_TRUE(b.splice_text(bt, 2, 3, "X").ok());
  a.commit(), b.commit();
  const auto m = merged(a, b);
  EXPECT_NE(m.find("l:[i3,i0,]"), std::string::npos) << m;
  EXPECT_NE(m.find("t:\"aXf\""), std::string::npos) << m;
}

TEST(CrdtMerge, WritesIntoADetachedObjectStayInvisibleEverywhere) {
  Document a(actor_of(1));
  auto m = a.put_object(kRoot, "m", ObjType::Map).value();
  ASSERT_TRUE(a.put(m, "x", std::int64_t{1}).ok());
  a.commit();
  Document b = Document::load(a.save(), actor_of(2)).value();
  ASSERT_TRUE(a.delete_key(kRoot, "m").ok());
  a.commit();
  auto bm = b.get(kRoot, "m")->object(ObjType::Map).value();
  ASSERT_TRUE(b.put(bm, "y", std::int64_t{2}).ok());
  auto bl = b.put_object(bm, "l", ObjType::List).value();
  ASSERT_TRUE(b.insert(bl, 0, true).ok());
  b.commit();
  EXPECT_EQ(merged(a, b), "{}");
}

TEST(CrdtMerge, ChangesArrivingOutOfOrderWaitForTheirDependencies) {
  Document a(actor_of(1));
  auto t = a.put_object(kRoot, "t", ObjType::Text).value();
  std::vector<std::vector<std::uint8_t>> steps;
  std::vector<ChangeHash> seen;
  for (const char* s : {"a", "b", "c", "d"}) {
    ASSERT_TRUE(a.splice_text(t, a.length(t), 0, s).ok());
    a.commit();
    steps.push_back(a.encode_changes_since(seen));
    seen = a.heads();
  }
  Document b(actor_of(2));
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) ASSERT_TRUE(b.apply_changes(*it).ok());
  EXPECT_EQ(dump(b), dump(a));
  EXPECT_EQ(b.heads(), a.heads());
  // Applying them again changes nothing.
  for (auto& s : steps) ASSERT_TRUE(b.apply_changes(s).ok());
  EXPECT_EQ(b.changes_count(), a.changes_count());
}

TEST(CrdtMerge, ABadChangeLeavesTheDocumentUnchanged) {
  Document a(actor_of(1));
  ASSERT_TRUE(a.put(kRoot, "k", true).ok());
  a.commit();
  auto all = a.encode_changes_since({});
  Document b(actor_of(2));
  ASSERT_TRUE(b.put(kRoot, "own", true).ok());
  b.commit();
  const auto before = dump(b);
  // Flip every byte position in turn: each variant is refused or, if it still
  // decodes to a valid change, merely adds that change.
  for (std::size_t i = 0; i < all.size(); ++i) {
    auto bad = all;
    bad[i] ^= 0x01;
    Document c = Document::load(b.save(), actor_of(3)).value();
    auto st = c.apply_changes(bad);
    if (!st.ok()) {
      EXPECT_EQ(dump(c), before) << "byte " << i;
      EXPECT_EQ(c.changes_count(), 1u);
    }
  }
}

}  // namespace
}  // namespace crdt
