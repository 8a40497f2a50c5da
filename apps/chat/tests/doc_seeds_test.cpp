// The home and demo seeds, the guard that writes each document's seed once,
// and the upsert of the local person at every live start.

#include <gtest/gtest.h>

#include <algorithm>

#include "doc/seeds.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

using testing::Model;
using testing::project;

TEST(HomeSeed, WritesTheStartingPoint) {
  crdt::Document d(testing::actor(1));
  seed_home(d, "u_local", "Ada", "AL");
  Model m = project(d);
  EXPECT_TRUE(m.seeded);
  EXPECT_EQ(m.persons,
            (std::vector<Person>{{"u_local", "Ada", "AL", 0, PersonStatus::Online, false}}));
  EXPECT_EQ(m.workspaces, (std::vector<Workspace>{{"ws_home", "My Workspace", "MW", 0, 0}}));
  EXPECT_EQ(m.categories,
            (std::vector<Category>{{"cat_home_text", "ws_home", "Channels", 0, false},
                                   {"cat_home_voice", "ws_home", "Voice", 1, false}}));
  EXPECT_EQ(
      m.channels,
      (std::vector<Channel>{
          {"c_general", "ws_home", "cat_home_text", "general", "", ChannelKind::Text, 0, 0, false},
          {"c_lounge", "ws_home", "cat_home_voice", "Lounge", "", ChannelKind::Voice, 0, 0, false},
      }));
  EXPECT_EQ(m.voice, (std::map<std::string, std::vector<VoiceParticipant>>{{"c_lounge", {}}}));
  EXPECT_TRUE(m.messages.empty());
}

TEST(HomeSeed, SecondStartOnlyUpsertsThePerson) {
  crdt::Document d(testing::actor(1));
  seed_home(d, "u_local", "Ada", "AL");
  EXPECT_TRUE(upsert_local_person(d, "u_local", "Ada", "AL", 3, PersonStatus::Online));
  d.commit();
  Model first = project(d);
  EXPECT_EQ(first.persons[0].color_idx, 3);

  // Second start with the same identity: no change at all.
  seed_home(d, "u_local", "Ada", "AL");
  EXPECT_FALSE(upsert_local_person(d, "u_local", "Ada", "AL", 3, PersonStatus::Online));
  EXPECT_EQ(d.pending_ops(), 0u);

  // A renamed user: only the name is written.
  EXPECT_TRUE(upsert_local_person(d, "u_local", "Ada L.", "AL", 3, PersonStatus::Online));
  EXPECT_EQ(d.pending_ops(), 1u);
  EXPECT_EQ(project(d).persons[0].name, "Ada L.");
}

TEST(HomeSeed, UpsertCountsMissingValues) {
  crdt::Document d(testing::actor(1));
  // A missing colour counts as 0, so nothing is written for it; missing
  // strings count as different.
  EXPECT_TRUE(upsert_local_person(d, "u_x", "", "", 0, PersonStatus::Online));
  d.commit();
  ObjId person = *get_map(d, *get_map(d, ObjId::root(), key::kUsers), "u_x");
  EXPECT_FALSE(d.get(person, key::kColorIdx).has_value());
  EXPECT_EQ(get_str(d, person, key::kName), "");
  EXPECT_EQ(get_str(d, person, key::kStatus), "online");
  EXPECT_FALSE(upsert_local_person(d, "u_x", "", "", 0, PersonStatus::Online));
}

TEST(Seeds, MistypedSeededFlagCountsAsNotSeeded) {
  for (crdt::Scalar flag : {crdt::Scalar(std::string("yes")), crdt::Scalar(std::int64_t{1})}) {
    crdt::Document d(testing::actor(1));
    ASSERT_TRUE(d.put(ObjId::root(), key::kSeeded, flag).ok());
    seed_home(d, "u_me", "Me", "ME");
    EXPECT_EQ(get_bool(d, ObjId::root(), key::kSeeded), true);
    EXPECT_EQ(list_workspaces(d).size(), 1u);
  }
}

TEST(Seeds, OneDatasetPerDocumentForever) {
  crdt::Document d(testing::actor(1));
  WorkspaceDoc w(d);
  seed_home(d, "u_me", "Me", "ME");
  seed_demo(w);
  EXPECT_EQ(list_workspaces(d).size(), 1u);

  // Emptying the document does not bring a seed back.
  for (std::string_view section : {key::kWorkspaces, key::kChannels, key::kCategories}) {
    ASSERT_TRUE(d.delete_key(ObjId::root(), section).ok());
  }
  seed_home(d, "u_me", "Me", "ME");
  seed_demo(w);
  EXPECT_TRUE(list_workspaces(d).empty());
  EXPECT_TRUE(list_channels(d).empty());
}

class DemoSeed : public ::testing::Test {
 protected:
  void SetUp() override {
    seed_demo(w);
    m = project(d);
  }
  crdt::Document d{testing::actor(1)};
  WorkspaceDoc w{d};
  Model m;
};

TEST_F(DemoSeed, PlacesAndPeople) {
  EXPECT_EQ(m.persons.size(), 6u);
  EXPECT_TRUE(
      std::none_of(m.persons.begin(), m.persons.end(), [](const Person& p) { return p.agent; }));
  EXPECT_EQ(m.persons[0], (Person{"u_ben", "Ben Walsh", "BW", 5, PersonStatus::Dnd, false}));
  EXPECT_EQ(m.workspaces.size(), 3u);
  EXPECT_EQ(m.workspaces[2], (Workspace{"ws_jam", "Weekend Jam", "WJ", 3, 2}));
  EXPECT_EQ(m.categories.size(), 5u);
  EXPECT_EQ(m.channels.size(), 13u);

  std::vector<std::string> acme;
  for (const Category& cat : m.categories) {
    if (cat.workspace != "ws_acme") continue;
    for (const Channel& c : m.channels) {
      if (c.category == cat.id) acme.push_back(c.name);
    }
  }
  EXPECT_EQ(acme, (std::vector<std::string>{"general", "design-crit", "frontend", "random",
                                            "Daily Standup", "Design Huddle"}));
  std::vector<std::string> huddle;
  for (const VoiceParticipant& v : m.voice.at("c_huddle")) huddle.push_back(v.user);
  EXPECT_EQ(huddle, (std::vector<std::string>{"u_tessa", "u_jonah", "u_kit"}));
  EXPECT_EQ(m.voice.at("c_huddle")[0],
            (VoiceParticipant{"u_tessa", std::nullopt, true, false, false, false, false}));
  EXPECT_EQ(m.voice.at("c_huddle")[2],
            (VoiceParticipant{"u_kit", std::nullopt, false, false, false, true, false}));
  EXPECT_TRUE(m.voice.at("c_warroom").empty());
}

TEST_F(DemoSeed, ConversationOfDesignCrit) {
  const std::vector<Message>& crit = m.messages.at("c_crit");
  ASSERT_EQ(crit.size(), 11u);
  std::vector<std::string> fixed;
  for (std::size_t i = 0; i < 8; ++i) fixed.push_back(crit[i].id);
  EXPECT_EQ(fixed, (std::vector<std::string>{"m_open", "m_concept", "m_me1", "m_jonah", "m_ben",
                                             "m_clip", "m_kit", "m_me2"}));
  std::size_t replies = 0;
  for (const Message& msg : crit) {
    if (msg.parent == "m_concept") {
      ++replies;
      EXPECT_EQ(msg.id.size(), 34u);
      EXPECT_TRUE(msg.id.starts_with("m_"));
    }
  }
  EXPECT_EQ(replies, 3u);

  const Message* concept_msg = m.message("c_crit", "m_concept");
  ASSERT_NE(concept_msg, nullptr);
  EXPECT_EQ(
      concept_msg->reactions,
      (std::vector<ReactionGroup>{{"❤️", {"u_me", "u_kit", "u_jonah"}}, {"🔥", {"u_ben"}}}));
  EXPECT_EQ(
      concept_msg->attachment,
      Attachment(Attachment::Image{"call-overlay-v3.png", "vesk-demo://call-grid", 640, 360}));
  EXPECT_EQ(m.message("c_crit", "m_ben")->attachment,
            Attachment(Attachment::File{"moq-over-relaynet.md", "demo:moq-over-relaynet", 18944}));
  EXPECT_EQ(m.message("c_crit", "m_clip")->attachment,
            Attachment(Attachment::Video{"tile-promotion.webm", "demo:tile-promotion", 1280, 720,
                                         6815744}));

  const Message* kit = m.message("c_crit", "m_kit");
  EXPECT_TRUE(kit->edited);
  ASSERT_EQ(kit->history.size(), 1u);
  EXPECT_LT(kit->history[0].ts, kit->ts);
  EXPECT_EQ(kit->reactions[0].users.size(), 4u);
  EXPECT_FALSE(kit->pinned);
  EXPECT_EQ(crit[9].reactions, (std::vector<ReactionGroup>{{"👍", {"u_me"}}}));

  ASSERT_EQ(m.messages.at("c_general").size(), 1u);
  const Message& welcome = m.messages.at("c_general")[0];
  EXPECT_EQ(welcome.author, "u_gwen");
  EXPECT_EQ(welcome.ts, 1782464400);
  EXPECT_TRUE(welcome.text.starts_with("Welcome to Acme Design on Vesk 👋"));
  EXPECT_EQ(read_unread_count(d, "c_crit", "u_me"), 8u);
}

TEST_F(DemoSeed, FindsItsMessagesThroughTheIndex) {
  testing::expect_index_matches(w);
  EXPECT_TRUE(message_exists(w, "m_kit"));
  EXPECT_FALSE(message_exists(w, "m_missing"));
}

}  // namespace
}  // namespace chat::doc
