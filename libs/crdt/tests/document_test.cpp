// One replica: values, objects, lists, text, transactions and change events.
#include "crdt/document.hpp"

#include <gtest/gtest.h>

#include "test_util.hpp"

namespace crdt {
namespace {

using testing::actor_of;
const ObjId kRoot = ObjId::root();

TEST(CrdtDocument, ScalarsReadBackExactlyAndOnlyAsTheirOwnKind) {
  Document d;
  const std::vector<std::pair<std::string, Scalar>> cases = {
      {"null", Null{}},
      {"str", std::string("héllo\0x", 7)},
      {"i64", std::int64_t{-9'000'000'000'000}},
      {"u64", std::uint64_t{18'000'000'000'000'000'000u}},
      {"f64", 2.9},
      {"t", true},
      {"f", false},
  };
  for (auto& [k, v] : cases) ASSERT_TRUE(d.put(kRoot, k, v).ok());
  for (auto& [k, v] : cases) {
    auto got = d.get(kRoot, k);
    ASSERT_TRUE(got) << k;
    EXPECT_EQ(got->scalar(), v) << k;
    EXPECT_FALSE(got->is_object());
    EXPECT_EQ(got->is_null(), k == "null");
    EXPECT_EQ(got->str() != nullptr, k == "str");
    EXPECT_EQ(got->i64().has_value(), k == "i64");
    EXPECT_EQ(got->u64().has_value(), k == "u64");
    EXPECT_EQ(got->f64().has_value(), k == "f64");
    EXPECT_EQ(got->boolean().has_value(), k == "t" || k == "f");
  }
  EXPECT_FALSE(d.get(kRoot, "missing"));
}

TEST(CrdtDocument, KeysComeInByteOrderAndObjectsNest) {
  Document d;
  for (const char* k : {"b", "a", "B", "\xc3\xa9", "aa", ""})
    ASSERT_TRUE(d.put(kRoot, k, true).ok());
  EXPECT_EQ(d.keys(kRoot), (std::vector<std::string>{"", "B", "a", "aa", "b", "\xc3\xa9"}));
  auto m = d.put_object(kRoot, "m", ObjType::Map).value();
  auto l = d.put_object(m, "l", ObjType::List).value();
  auto t = d.insert_object(l, 0, ObjType::Text).value();
  ASSERT_TRUE(d.splice_text(t, 0, 0, "hi").ok());
  EXPECT_EQ(d.object_type(m), ObjType::Map);
  EXPECT_EQ(d.object_type(l), ObjType::List);
  EXPECT_EQ(d.object_type(t), ObjType::Text);
  EXPECT_EQ(d.get(kRoot, "m")->object(ObjType::Map), m);
  EXPECT_FALSE(d.get(kRoot, "m")->object(ObjType::List));
  EXPECT_EQ(d.get(l, 0)->object(ObjType::Text), t);
  EXPECT_EQ(d.text(t), "hi");
  EXPECT_EQ(d.length(kRoot), 7u);
  EXPECT_EQ(d.length(t), 2u);
  // Replacing an object with a scalar detaches it.
  ASSERT_TRUE(d.put(kRoot, "m", std::int64_t{1}).ok());
  EXPECT_EQ(d.get(kRoot, "m")->i64(), 1);
  ASSERT_TRUE(d.delete_key(kRoot, "m").ok());
  EXPECT_FALSE(d.get(kRoot, "m"));
  EXPECT_TRUE(d.delete_key(kRoot, "m").ok()) << "deleting a missing key is a no-op";
}

TEST(CrdtDocument, ListInsertSetDelete) {
  Document d;
  auto l = d.put_object(kRoot, "l", ObjType::List).value();
  ASSERT_TRUE(d.insert(l, 0, std::string("b")).ok());
  ASSERT_TRUE(d.insert(l, 0, std::string("a")).ok());
  ASSERT_TRUE(d.insert(l, 2, std::string("d")).ok());
  ASSERT_TRUE(d.insert(l, 2, std::string("c")).ok());
  auto strs = [&] {
    std::string s;
    for (auto& v : d.items(l)) s += v.str() ? *v.str() : "?";
    return s;
  };
  EXPECT_EQ(strs(), "abcd");
  ASSERT_TRUE(d.set(l, 1, std::string("B")).ok());
  ASSERT_TRUE(d.set(l, 1, std::string("X")).ok());
  EXPECT_EQ(strs(), "aXcd");
  ASSERT_TRUE(d.delete_at(l, 0).ok());
  EXPECT_EQ(strs(), "Xcd");
  auto obj = d.set_object(l, 2, ObjType::Map).value();
  EXPECT_EQ(d.get(l, 2)->object(ObjType::Map), obj);
  EXPECT_EQ(d.length(l), 3u);
  EXPECT_FALSE(d.get(l, 3));
  // Out of range and wrong kinds are refused and add no op.
  const auto ops = d.pending_ops();
  EXPECT_FALSE(d.insert(l, 4, Null{}).ok());
  EXPECT_FALSE(d.set(l, 3, Null{}).ok());
  EXPECT_FALSE(d.delete_at(l, 3).ok());
  EXPECT_FALSE(d.put(l, "k", Null{}).ok());
  EXPECT_FALSE(d.insert(kRoot, 0, Null{}).ok());
  EXPECT_FALSE(d.splice_text(l, 0, 0, "x").ok());
  EXPECT_FALSE(d.put(ObjId(999, 0), "k", Null{}).ok());
  EXPECT_EQ(d.pending_ops(), ops);
}

TEST(CrdtDocument, TextCountsCodePointsAndRepairsBadUtf8) {
  Document d;
  auto t = d.put_object(kRoot, "t", ObjType::Text).value();
  ASSERT_TRUE(d.splice_text(t, 0, 0, "h\xc3\xa9llo \xf0\x9f\x99\x82!").ok());
  EXPECT_EQ(d.length(t), 8u);
  ASSERT_TRUE(d.splice_text(t, 1, 1, "e").ok());
  ASSERT_TRUE(d.splice_text(t, 6, 1, ":)").ok());
  EXPECT_EQ(d.text(t), "hello :)!");
  ASSERT_TRUE(d.splice_text(t, 0, 0, "\xff").ok());
  EXPECT_EQ(d.text(t), "\xef\xbf\xbdhello :)!");
  EXPECT_FALSE(d.splice_text(t, 20, 0, "x").ok());
  EXPECT_FALSE(d.splice_text(t, 5, 10, "").ok());
  EXPECT_EQ(d.length(t), 10u);
}

TEST(CrdtDocument, SpliceTextDiffedTouchesOnlyTheDifference) {
  struct Case {
    std::string from, to;
  };
  const std::vector<Case> cases = {
      {"", "abc"},
      {"abc", ""},
      {"abc", "abc"},
      {"hello world", "hello brave world"},
      {"aaaa", "aa"},
      {"abcabc", "abc"},
      {"x\xc3\xa9y", "x\xc3\xa8y"},
      {"abc", "xyz"},
  };
  for (auto& c : cases) {
    Document d;
    auto t = d.put_object(kRoot, "t", ObjType::Text).value();
    ASSERT_TRUE(splice_text_diffed(d, t, c.from).ok());
    d.commit();
    ASSERT_TRUE(splice_text_diffed(d, t, c.to).ok());
    EXPECT_EQ(d.text(t), c.to);
    if (c.from == c.to) {
      EXPECT_EQ(d.pending_ops(), 0u);
    }
  }
  // Unchanged characters keep their identity: concurrent diffs both survive.
  Document a(actor_of(1));
  auto t = a.put_object(kRoot, "t", ObjType::Text).value();
  ASSERT_TRUE(splice_text_diffed(a, t, "hello world").ok());
  a.commit();
  Document b(actor_of(2));
  ASSERT_TRUE(b.merge(a).ok());
  ASSERT_TRUE(splice_text_diffed(a, t, "hello brave world").ok());
  ASSERT_TRUE(
      splice_text_diffed(b, b.get(kRoot, "t")->object(ObjType::Text).value(), "hello world!").ok());
  ASSERT_TRUE(a.merge(b).ok());
  EXPECT_EQ(a.text(t), "hello brave world!");
}

TEST(CrdtDocument, CommitMakesOneChangeWithHashAndHeads) {
  Document d(actor_of(7));
  EXPECT_EQ(d.actor(), actor_of(7));
  EXPECT_FALSE(d.commit()) << "no ops, no change";
  ASSERT_TRUE(d.put(kRoot, "a", std::int64_t{1}).ok());
  ASSERT_TRUE(d.put(kRoot, "b", std::int64_t{2}).ok());
  EXPECT_EQ(d.pending_ops(), 2u);
  auto h1 = d.commit(1000);
  ASSERT_TRUE(h1);
  EXPECT_EQ(d.pending_ops(), 0u);
  EXPECT_EQ(d.heads(), std::vector<ChangeHash>{*h1});
  ASSERT_TRUE(d.put(kRoot, "a", std::int64_t{3}).ok());
  auto h2 = d.commit(1001);
  ASSERT_TRUE(h2);
  EXPECT_NE(*h1, *h2);
  EXPECT_EQ(d.heads(), std::vector<ChangeHash>{*h2});
  EXPECT_EQ(d.changes_count(), 2u);
  // The same writes by the same actor at the same time hash the same.
  Document e(actor_of(7));
  ASSERT_TRUE(e.put(kRoot, "a", std::int64_t{1}).ok());
  ASSERT_TRUE(e.put(kRoot, "b", std::int64_t{2}).ok());
  EXPECT_EQ(e.commit(1000), h1);
}

TEST(CrdtDocument, ChangedObjectsNameWhatChanged) {
  Document a(actor_of(1));
  auto m = a.put_object(kRoot, "m", ObjType::Map).value();
  auto t = a.put_object(kRoot, "t", ObjType::Text).value();
  a.commit();
  (void)a.take_changed_objects();
  EXPECT_TRUE(a.take_changed_objects().empty());
  const auto rev = a.revision();
  ASSERT_TRUE(a.splice_text(t, 0, 0, "x").ok());
  a.commit();
  EXPECT_EQ(a.take_changed_objects(), std::vector<ObjId>{t});
  EXPECT_GT(a.revision(), rev);

  Document b(actor_of(2));
  ASSERT_TRUE(b.merge(a).ok());
  (void)b.take_changed_objects();
  ASSERT_TRUE(a.put(m, "k", true).ok());
  a.commit();
  ASSERT_TRUE(b.merge(a).ok());
  auto changed = b.take_changed_objects();
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(b.get(changed[0], "k")->boolean(), true) << "the event names b's id of that map";
}

TEST(CrdtDocument, SaveLoadKeepsContentHistoryAndHeads) {
  Document d(actor_of(3));
  auto l = d.put_object(kRoot, "l", ObjType::List).value();
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(d.insert(l, static_cast<std::size_t>(i / 2), std::int64_t{i}).ok());
    if (i % 7 == 0) {
      ASSERT_TRUE(d.delete_at(l, 0).ok());
    }
    d.commit(i);
  }
  auto t = d.put_object(kRoot, "t", ObjType::Text).value();
  ASSERT_TRUE(d.splice_text(t, 0, 0, "snapshot \xe2\x9c\x93").ok());
  auto bytes = d.save();
  auto back = Document::load(bytes);
  ASSERT_TRUE(back.ok()) << back.error();
  EXPECT_EQ(testing::dump(*back), testing::dump(d));
  EXPECT_EQ(back->heads(), d.heads());
  EXPECT_EQ(back->changes_count(), d.changes_count());
  EXPECT_NE(back->actor(), d.actor());

  std::vector<std::uint8_t> bad = bytes;
  bad[bad.size() / 2] ^= 0x40;
  EXPECT_FALSE(Document::load(bad).ok());
  EXPECT_FALSE(Document::load(std::span(bytes).first(10)).ok());
}

}  // namespace
}  // namespace crdt
