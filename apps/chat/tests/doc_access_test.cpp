// The access operations: tolerant reads, "ensure" replacing what has the wrong
// kind, upserts that write nothing when the value already reads the same, and
// drafts kept as text objects.

#include <gtest/gtest.h>

#include <limits>

#include "doc/drafts.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();

TEST(AccessReads, IntegerFromEveryNumberKind) {
  struct Row {
    crdt::Scalar stored;
    std::optional<std::int64_t> read;
  };
  const Row rows[] = {
      {std::int64_t{-7}, -7},
      {std::uint64_t{7}, 7},
      {std::numeric_limits<std::uint64_t>::max(), -1},
      {-3.99, -3},
      {3.99, 3},
      {1e30, std::numeric_limits<std::int64_t>::max()},
      {-1e30, std::numeric_limits<std::int64_t>::min()},
      {std::numeric_limits<double>::infinity(), std::numeric_limits<std::int64_t>::max()},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
      {std::string("12"), std::nullopt},
      {true, std::nullopt},
      {crdt::Null{}, std::nullopt},
  };
  crdt::Document d(testing::actor(1));
  for (const Row& row : rows) {
    ASSERT_TRUE(d.put(kRoot, "n", row.stored).ok());
    EXPECT_EQ(get_int(d, kRoot, "n"), row.read) << row.stored.index();
  }
  EXPECT_EQ(get_int(d, kRoot, "missing"), std::nullopt);
  ASSERT_TRUE(d.put_object(kRoot, "n", crdt::ObjType::Map).ok());
  EXPECT_EQ(get_int(d, kRoot, "n"), std::nullopt);
}

TEST(AccessReads, EachReaderAnswersOnlyItsKind) {
  crdt::Document d(testing::actor(1));
  ASSERT_TRUE(d.put(kRoot, "s", std::string("str")).ok());
  ASSERT_TRUE(d.put(kRoot, "b", false).ok());
  ObjId text = *d.put_object(kRoot, "t", crdt::ObjType::Text);
  ASSERT_TRUE(d.splice_text(text, 0, 0, "héllo").ok());
  ASSERT_TRUE(d.put_object(kRoot, "l", crdt::ObjType::List).ok());

  EXPECT_EQ(get_str(d, kRoot, "s"), "str");
  EXPECT_EQ(get_str(d, kRoot, "t"), std::nullopt);
  EXPECT_EQ(get_bool(d, kRoot, "b"), false);
  EXPECT_EQ(get_bool(d, kRoot, "s"), std::nullopt);
  EXPECT_EQ(get_text(d, kRoot, "t"), "héllo");
  EXPECT_EQ(get_text(d, kRoot, "s"), std::nullopt);
  EXPECT_TRUE(get_list(d, kRoot, "l").has_value());
  EXPECT_FALSE(get_map(d, kRoot, "l").has_value());
  EXPECT_FALSE(get_list(d, ObjId(999, 0), "l").has_value()) << "unknown object";
}

TEST(AccessWrites, EnsureKeepsTheRightKindAndReplacesAnyOther) {
  crdt::Document d(testing::actor(1));
  ObjId map = *ensure_map(d, kRoot, "k");
  EXPECT_EQ(ensure_map(d, kRoot, "k"), map);
  d.commit();
  EXPECT_EQ(ensure_map(d, kRoot, "k"), map);
  EXPECT_EQ(d.pending_ops(), 0u);

  ObjId list = *ensure_list(d, kRoot, "k");
  EXPECT_NE(list, map);
  EXPECT_FALSE(get_map(d, kRoot, "k").has_value());
  ASSERT_TRUE(d.put(kRoot, "s", std::string("x")).ok());
  EXPECT_TRUE(ensure_text(d, kRoot, "s").has_value());
  EXPECT_EQ(get_text(d, kRoot, "s"), "");
}

TEST(AccessWrites, UpsertsWriteOnlyWhatReadsDifferently) {
  crdt::Document d(testing::actor(1));
  EXPECT_FALSE(put_int_if_changed(d, kRoot, "n", 0)) << "missing reads as 0";
  EXPECT_FALSE(put_bool_if_changed(d, kRoot, "f", false)) << "missing reads as false";
  EXPECT_TRUE(put_str_if_changed(d, kRoot, "s", "")) << "a missing string differs";
  EXPECT_TRUE(put_int_if_changed(d, kRoot, "n", 2));
  EXPECT_TRUE(put_bool_if_changed(d, kRoot, "f", true));
  d.commit();
  EXPECT_FALSE(put_str_if_changed(d, kRoot, "s", ""));
  EXPECT_FALSE(put_int_if_changed(d, kRoot, "n", 2));
  EXPECT_FALSE(put_bool_if_changed(d, kRoot, "f", true));
  EXPECT_EQ(d.pending_ops(), 0u);
  ASSERT_TRUE(d.put(kRoot, "n", 2.5).ok());
  d.commit();
  EXPECT_FALSE(put_int_if_changed(d, kRoot, "n", 2)) << "2.5 reads as 2";
}

TEST(Drafts, SetKeepsTheTextObjectAndSplicesOnlyTheChange) {
  crdt::Document d(testing::actor(1));
  set_draft(d, "c_general", "hello world");
  ObjId text = *get_text_obj(d, *get_map(d, kRoot, key::kDrafts), "c_general");
  d.commit();
  set_draft(d, "c_general", "hello brave world");
  EXPECT_GT(d.pending_ops(), 0u);
  EXPECT_LE(d.pending_ops(), 6u) << "only the new word is inserted";
  EXPECT_EQ(read_draft(d, "c_general"), "hello brave world");
  set_draft(d, "c_general::t::m_root", "in a thread");
  clear_draft(d, "c_general");
  EXPECT_EQ(read_draft(d, "c_general"), "");
  EXPECT_EQ(read_draft(d, "c_general::t::m_root"), "in a thread");
  EXPECT_EQ(get_text_obj(d, *get_map(d, kRoot, key::kDrafts), "c_general"), text)
      << "a cleared draft keeps its text object";
  d.commit();
  clear_draft(d, "c_general");
  EXPECT_EQ(d.pending_ops(), 0u);
}

}  // namespace
}  // namespace chat::doc
