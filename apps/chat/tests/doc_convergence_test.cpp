// Two replicas apply different actions at the same time, then sync: both must
// project the same model, and each one's message index must still agree with
// its document.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "doc/apply.hpp"
#include "doc/seeds.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

using testing::expect_index_matches;
using testing::expect_same_model;
using testing::Model;
using testing::project;
using testing::Replicas;
using testing::send;

struct Scenario {
  std::string name;
  std::vector<ChatAction> on_a;
  std::vector<ChatAction> on_b;
  std::function<void(const Model&)> check;
};

std::vector<Scenario> scenarios() {
  using A = ChatAction;
  std::vector<Scenario> out;
  out.push_back({"send into a channel the other deletes",
                 {send("c_crit", "m_late", "anyone here?")},
                 {A::DeleteChannel{"c_crit"}},
                 [](const Model& m) {
                   for (const Channel& c : m.channels) EXPECT_NE(c.id, "c_crit");
                   EXPECT_EQ(m.message("c_crit", "m_late"), nullptr);
                 }});
  out.push_back({"first message of a channel the other deletes",
                 {send("c_random", "m_first", "hello?")},
                 {A::DeleteChannel{"c_random"}},
                 [](const Model& m) {
                   for (const Channel& c : m.channels) EXPECT_NE(c.id, "c_random");
                 }});
  out.push_back({"two renames of one channel",
                 {A::RenameChannel{"c_music", "tunes"}},
                 {A::RenameChannel{"c_music", "beats"}},
                 [](const Model& m) {
                   for (const Channel& c : m.channels) {
                     if (c.id == "c_music") {
                       EXPECT_TRUE(c.name == "tunes" || c.name == "beats");
                     }
                   }
                 }});
  out.push_back({"two reactions on one message",
                 {A::AddReaction{"c_crit", "m_me1", "👍", "u_me"}},
                 {A::AddReaction{"c_crit", "m_me1", "👍", "u_kit"},
                  A::AddReaction{"c_crit", "m_me1", "🎉", "u_kit"}},
                 [](const Model& m) {
                   // Concurrent appends may land in either order; the groups may not.
                   const auto& groups = m.message("c_crit", "m_me1")->reactions;
                   ASSERT_EQ(groups.size(), 2u);
                   EXPECT_EQ(groups[0].emoji, "👍");
                   EXPECT_THAT(groups[0].users, ::testing::UnorderedElementsAre("u_kit", "u_me"));
                   EXPECT_EQ(groups[1], (ReactionGroup{"🎉", {"u_kit"}}));
                 }});
  out.push_back({"the same reaction twice",
                 {A::AddReaction{"c_crit", "m_me2", "🔥", "u_me"}},
                 {A::AddReaction{"c_crit", "m_me2", "🔥", "u_me"}},
                 [](const Model& m) {
                   EXPECT_EQ(m.message("c_crit", "m_me2")->reactions,
                             (std::vector<ReactionGroup>{{"🔥", {"u_me"}}}));
                 }});
  out.push_back({"a join and a leave",
                 {A::JoinCall{"c_huddle", "u_me"},
                  A::SetCallState{"c_huddle", "u_me", true, false, false, false}},
                 {A::LeaveCall{"c_huddle", "u_tessa"}},
                 [](const Model& m) {
                   std::vector<std::string> users;
                   for (const VoiceParticipant& v : m.voice.at("c_huddle")) users.push_back(v.user);
                   EXPECT_EQ(users, (std::vector<std::string>{"u_me", "u_jonah", "u_kit"}));
                 }});
  out.push_back({"edits of one message on both sides",
                 {A::EditMessage{"c_crit", "m_me2", "From A", 1782480000}},
                 {A::EditMessage{"c_crit", "m_me2", "From B", 1782480001}},
                 [](const Model& m) {
                   const Message* msg = m.message("c_crit", "m_me2");
                   EXPECT_TRUE(msg->edited);
                   EXPECT_EQ(msg->history.size(), 2u);
                 }});
  out.push_back({"same message id sent in two channels",
                 {send("c_general", "m_twin", "from a")},
                 {send("c_random", "m_twin", "from b")},
                 [](const Model& m) {
                   EXPECT_NE(m.message("c_general", "m_twin"), nullptr);
                   EXPECT_NE(m.message("c_random", "m_twin"), nullptr);
                 }});
  out.push_back({"delete a category while the other adds a channel to it",
                 {A::DeleteCategory{"cat_jam_main"}},
                 {A::CreateChannel{"ws_jam", "cat_jam_main", "c_new", "new", ChannelKind::Text}},
                 [](const Model& m) {
                   for (const Category& c : m.categories) EXPECT_NE(c.id, "cat_jam_main");
                 }});
  return out;
}

class Convergence : public ::testing::TestWithParam<Scenario> {};

TEST_P(Convergence, BothReplicasProjectTheSameModel) {
  const Scenario& s = GetParam();
  Replicas r;
  WorkspaceDoc wa(r.a), wb(r.b);
  for (const ChatAction& action : s.on_a) {
    apply(wa, action);
    r.a.commit();
  }
  for (const ChatAction& action : s.on_b) {
    apply(wb, action);
    r.b.commit();
  }
  r.sync();
  Model ma = project(r.a);
  expect_same_model(project(r.b), ma);
  s.check(ma);
  expect_index_matches(wa);
  expect_index_matches(wb);
}

INSTANTIATE_TEST_SUITE_P(Concurrent, Convergence, ::testing::ValuesIn(scenarios()),
                         testing::NamedByCase());

// Random actions on both sides, synced every few steps: the replicas never
// disagree after a sync, and neither index drifts from its document.
TEST(ConvergenceProperty, RandomConcurrentActions) {
  using A = ChatAction;
  const std::vector<std::string> channels{"c_general", "c_crit", "c_random", "c_huddle", "c_x"};
  for (std::uint32_t seed = 1; seed <= 4; ++seed) {
    std::mt19937 rng(seed);
    auto pick = [&](std::size_t n) { return rng() % n; };
    Replicas r;
    WorkspaceDoc wa(r.a), wb(r.b);
    std::vector<std::string> ids{"m_open", "m_concept", "m_me1"};
    int serial = 0;
    auto random_action = [&]() -> ChatAction {
      std::string channel = channels[pick(channels.size())];
      std::string id = ids[pick(ids.size())];
      switch (pick(10)) {
        case 0:
        case 1: {
          std::string fresh = "m_r" + std::to_string(seed) + "_" + std::to_string(serial++);
          ids.push_back(fresh);
          std::optional<std::string> parent;
          if (pick(3) == 0) parent = id;
          return send(channel, fresh, "text " + fresh, parent);
        }
        case 2:
          return A::DeleteMessage{channel, id};
        case 3:
          return A::EditMessage{channel, id, "edit " + std::to_string(pick(3)), 5};
        case 4:
          return A::AddReaction{channel, id, pick(2) ? "👍" : "🎉", "u_me"};
        case 5:
          return A::RemoveReaction{channel, id, "👍", "u_me"};
        case 6:
          return A::JoinCall{channel, pick(2) ? "u_me" : "u_kit"};
        case 7:
          return A::LeaveCall{channel, "u_kit"};
        case 8:
          return pick(4) == 0 ? ChatAction(A::DeleteChannel{channel})
                              : ChatAction(A::CreateChannel{"ws_acme", "cat_acme_main", channel,
                                                            "again", ChannelKind::Text});
        default:
          return A::MarkRead{channel, "u_me", static_cast<std::int64_t>(pick(5))};
      }
    };
    for (int step = 0; step < 120; ++step) {
      WorkspaceDoc& w = pick(2) ? wa : wb;
      apply(w, random_action());
      w.doc().commit();
      if (step % 15 == 14) {
        r.sync();
        expect_same_model(project(r.b), project(r.a));
        expect_index_matches(wa);
        expect_index_matches(wb);
        if (::testing::Test::HasFailure()) FAIL() << "seed " << seed << " step " << step;
      }
    }
  }
}

}  // namespace
}  // namespace chat::doc
