// The message index follows every way a document can change: actions applied
// here, raw writes of other code or older writers, and changes merged from
// another replica. After any of them it answers what a full walk answers.

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "doc/apply.hpp"
#include "doc/writers.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

using testing::expect_index_matches;
using testing::send;

const ObjId kRoot = ObjId::root();

class MessageIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* c : {"c_a", "c_b", "c_c"}) put_channel(d, c, "ws", "cat", c, "", false, 0);
    for (int i = 0; i < 6; ++i) {
      apply(w, send(i % 2 ? "c_a" : "c_b", "m_" + std::to_string(i), "text"));
    }
    d.commit();
  }
  ObjId list(std::string_view channel) {
    return *get_list(d, *get_map(d, kRoot, key::kMessages), channel);
  }
  ObjId element(std::string_view channel, std::size_t i) {
    return *d.get(list(channel), i)->object(crdt::ObjType::Map);
  }

  crdt::Document d{testing::actor(1)};
  WorkspaceDoc w{d};
};

TEST_F(MessageIndexTest, FollowsWritesThatBypassApply) {
  // An older writer renames a message in place.
  ASSERT_TRUE(d.put(element("c_a", 0), key::kId, std::string("m_renamed")).ok());
  EXPECT_FALSE(message_exists(w, "m_1"));
  EXPECT_TRUE(message_exists(w, "m_renamed"));
  // ...inserts a message at the front of a list...
  ObjId front = *d.insert_object(list("c_b"), 0, crdt::ObjType::Map);
  ASSERT_TRUE(d.put(front, key::kId, std::string("m_front")).ok());
  EXPECT_TRUE(w.messages().find("c_b", "m_front").has_value());
  // ...removes one from the middle...
  ASSERT_TRUE(d.delete_at(list("c_b"), 2).ok());
  // ...puts a scalar into a list and gives a message a non-string id.
  ASSERT_TRUE(d.insert(list("c_a"), 1, crdt::Scalar(std::int64_t{5})).ok());
  ASSERT_TRUE(d.put(element("c_a", 2), key::kId, std::int64_t{3}).ok());
  d.commit();
  expect_index_matches(w);

  // A replaced channel list and a replaced "messages" map.
  ASSERT_TRUE(d.put_object(*get_map(d, kRoot, key::kMessages), "c_a", crdt::ObjType::List).ok());
  EXPECT_FALSE(message_exists(w, "m_renamed"));
  expect_index_matches(w);
  ObjId messages = *d.put_object(kRoot, key::kMessages, crdt::ObjType::Map);
  EXPECT_FALSE(message_exists(w, "m_0"));
  ObjId fresh = *d.put_object(messages, "c_c", crdt::ObjType::List);
  ObjId m = *d.insert_object(fresh, 0, crdt::ObjType::Map);
  ASSERT_TRUE(d.put(m, key::kId, std::string("m_0")).ok());
  EXPECT_TRUE(message_exists(w, "m_0"));
  expect_index_matches(w);
}

TEST_F(MessageIndexTest, DuplicateIdsAcrossChannelsAndWithinOne) {
  ObjId twin = *d.insert_object(list("c_b"), 0, crdt::ObjType::Map);
  ASSERT_TRUE(d.put(twin, key::kId, std::string("m_1")).ok());  // m_1 lives in c_a too
  ObjId later = *d.insert_object(list("c_a"), d.length(list("c_a")), crdt::ObjType::Map);
  ASSERT_TRUE(d.put(later, key::kId, std::string("m_1")).ok());
  expect_index_matches(w);

  // Deleting removes the first of the channel; the later duplicate remains.
  apply(w, ChatAction::DeleteMessage{"c_a", "m_1"});
  EXPECT_EQ(w.messages().find("c_a", "m_1")->message, later);
  apply(w, ChatAction::DeleteMessage{"c_a", "m_1"});
  EXPECT_FALSE(w.messages().find("c_a", "m_1").has_value());
  EXPECT_TRUE(message_exists(w, "m_1")) << "still in c_b";
  apply(w, ChatAction::DeleteMessage{"c_b", "m_1"});
  EXPECT_FALSE(message_exists(w, "m_1"));
  expect_index_matches(w);
}

TEST_F(MessageIndexTest, SendsWithoutCommitsBetweenThem) {
  apply(w, send("c_c", "m_x", "one"));
  apply(w, send("c_c", "m_x", "duplicate in the same transaction"));
  apply(w, send("c_a", "m_x", "duplicate in another channel"));
  EXPECT_EQ(list_messages(d, "c_c").size(), 1u);
  EXPECT_EQ(list_messages(d, "c_a").size(), 3u);
  apply(w, ChatAction::DeleteChannel{"c_c"});
  EXPECT_FALSE(message_exists(w, "m_x"));
  apply(w, send("c_a", "m_x", "free again once its channel is gone"));
  EXPECT_EQ(list_messages(d, "c_a").size(), 4u);
  d.commit();
  expect_index_matches(w);
}

TEST_F(MessageIndexTest, FollowsChangesMergedFromAnotherReplica) {
  crdt::Document other = crdt::Document::load(d.save(), testing::actor(2)).value();
  WorkspaceDoc wo(other);
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    for (WorkspaceDoc* side : {&w, &wo}) {
      int n = static_cast<int>(rng() % 4);
      for (int k = 0; k < n; ++k) {
        std::string channel = std::string("c_") + static_cast<char>('a' + rng() % 3);
        std::string id = "m_" + std::to_string(rng() % 30);
        if (rng() % 3 == 0) {
          apply(*side, ChatAction::DeleteMessage{channel, id});
        } else {
          apply(*side, send(channel, id, "t"));
        }
      }
      side->doc().commit();
    }
    ASSERT_TRUE(d.merge(other).ok());
    if (round % 3 == 0) {
      ASSERT_TRUE(other.merge(d).ok());
    }
    expect_index_matches(w);
    expect_index_matches(wo);
    if (HasFailure()) FAIL() << "round " << round;
  }
}

}  // namespace
}  // namespace chat::doc

namespace chat::doc {
namespace {

// Every part of a message that a record is read from, changed behind the
// cache's back: the next projection shows the change.
TEST_F(MessageIndexTest, CachedRecordsFollowEveryNestedChange) {
  auto cached = [&] { return w.list_messages("c_a"); };
  auto fresh = [&] { return list_messages(d, "c_a"); };
  ASSERT_EQ(cached(), fresh());
  ObjId m = element("c_a", 0);
  std::vector<std::function<void()>> changes{
      [&] {
        apply(w, ChatAction::EditMessage{"c_a", "m_1", "new words", 9});
      },
      [&] {
        apply(w, ChatAction::AddReaction{"c_a", "m_1", "👍", "u_b"});
      },
      [&] {
        ObjId entry = *d.get(*get_list(d, m, key::kReactions), 0)->object(crdt::ObjType::Map);
        ASSERT_TRUE(d.put(entry, key::kEmoji, std::string("🎉")).ok());
      },
      [&] {
        ObjId entry = *d.get(*get_list(d, m, key::kHistory), 0)->object(crdt::ObjType::Map);
        ASSERT_TRUE(d.put(entry, key::kText, std::string("rewritten history")).ok());
      },
      [&] {
        ObjId a = *d.put_object(m, key::kAttachment, crdt::ObjType::Map);
        ASSERT_TRUE(d.put(a, key::kKind, std::string("file")).ok());
      },
      [&] {
        ASSERT_TRUE(d.put(*get_map(d, m, key::kAttachment), key::kSize, std::int64_t{3}).ok());
      },
      [&] {
        AgentWork work{AgentWorkState::Taken{},
                       1,
                       std::nullopt,
                       {AgentStep{"s", 1, "r", "l", AgentStepOutcome::Asked{}}}};
        apply(w, ChatAction::SetAgentWork{"c_a", "m_1", work, std::nullopt});
      },
      [&] {
        ObjId trace = *get_map(d, *get_map(d, m, key::kWork), key::kTrace);
        ASSERT_TRUE(d.put(*get_map(d, trace, "s"), key::kLabel, std::string("relabelled")).ok());
      },
      [&] {
        apply(w, ChatAction::PinMessage{"c_a", "m_1", true});
      },
      [&] { ASSERT_TRUE(d.put(m, key::kParent, std::string("m_3")).ok()); },
      [&] { ASSERT_TRUE(d.splice_text(*get_text_obj(d, m, key::kText), 0, 3, "").ok()); },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    std::vector<Message> before = cached();
    changes[i]();
    std::vector<Message> after = cached();
    EXPECT_EQ(after, fresh()) << "change " << i;
    EXPECT_NE(after, before) << "change " << i << " changed nothing visible";
    EXPECT_EQ(w.unread_count("c_a", "u_me"), read_unread_count(d, "c_a", "u_me"));
  }
}

}  // namespace
}  // namespace chat::doc
