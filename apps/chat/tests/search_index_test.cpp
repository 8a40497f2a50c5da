#include "actions/search_index.hpp"

#include <gtest/gtest.h>

#include <random>

#include "doc/apply.hpp"
#include "doc_test_support.hpp"
#include "resources_fixture.hpp"

namespace chat {
namespace {

using vesk_actions::SearchEntry;

// Every entry the chat should have in its catalog, computed from scratch.
std::vector<SearchEntry> expected_entries(const ChatReader& chat) {
  auto out = structure_entries(chat);
  const auto workspaces = chat.workspaces();
  const auto people = chat.people();
  for (const auto& ch : chat.channels()) {
    std::string ws;
    for (const auto& w : workspaces) {
      if (w.id == ch.workspace) ws = w.name;
    }
    for (const auto& m : chat.messages(ch.id)) {
      std::string author = m.author;
      for (const auto& p : people) {
        if (p.id == m.author) author = p.name;
      }
      out.push_back(message_entry(m, ch, ws, author));
    }
  }
  return out;
}

void expect_catalog_matches(const ChatSearchIndex& index, const ChatReader& chat) {
  const auto expected = expected_entries(chat);
  EXPECT_EQ(index.catalog()->size(), expected.size());
  for (const auto& e : expected) {
    const auto got = index.catalog()->entry(e.action_address);
    ASSERT_TRUE(got) << e.action_address;
    EXPECT_EQ(*got, e) << e.action_address;
  }
}

std::vector<std::string> found(const ChatSearchIndex& index, std::string_view query) {
  std::vector<std::string> out;
  auto page = index.query_page(query, "", 10);
  EXPECT_TRUE(page.ok()) << query;
  if (page.ok()) {
    for (const auto& r : page->results) out.push_back(r.action_address);
  }
  return out;
}

TEST(ChatSearchIndex, OneEntryPerObjectWithItsSectionTitleAndSubtitle) {
  const auto chat = testing::fixture_chat();
  ChatSearchIndex index;
  index.rebuild(chat);
  struct Row {
    std::string address, section, title, subtitle;
  };
  const Row rows[] = {
      {"chat.workspace:ws_1", "Workspaces", "  Acme  ", "Workspace"},
      {"chat.channel:c_gen", "Conversations", "#general", "  Acme   · daily talk"},
      {"chat.channel:c_voice", "Conversations", "🔊lounge", "  Acme  "},
      {"chat.category:cat_soc", "Categories", "Social", "  Acme   collapsed"},
      {"chat.category:cat_eng", "Categories", "Engineering", "  Acme   expanded"},
      {"chat.message:m_1", "Messages", "  hello world  ", "Ann · #general ·   Acme  "},
      {"chat.message:m_2", "Messages", "photo.png", "Me · #general ·   Acme  "},
      {"chat.message:m_3", "Messages", "Attachment", "u_ghost · #general ·   Acme  "},
      {"chat.person:u_bot", "People", "Helper", "Agent"},
      {"chat.person:u_ann", "People", "Ann", "Person"},
  };
  for (const auto& row : rows) {
    const auto e = index.catalog()->entry(row.address);
    ASSERT_TRUE(e) << row.address;
    EXPECT_EQ(e->section, row.section);
    EXPECT_EQ(e->title, row.title) << row.address;
    EXPECT_EQ(e->subtitle, row.subtitle) << row.address;
  }
  expect_catalog_matches(index, chat);
  auto page = index.query_page("helo", "", 10);  // a typo still finds the message
  ASSERT_TRUE(page.ok());
  ASSERT_FALSE(page->results.empty());
  EXPECT_EQ(page->results[0].action_address, "chat.message:m_1");
}

TEST(ChatSearchIndex, RenamesRefreshTheMessagesThatShowTheName) {
  auto chat = testing::fixture_chat();
  ChatSearchIndex index;
  index.rebuild(chat);
  chat.person_list[0].name = "Annabel";
  chat.channel_list[3].name = "chatter";
  index.update(chat, SearchChanges{true, {}, {}});
  EXPECT_EQ(index.catalog()->entry("chat.message:m_1")->subtitle, "Annabel · #general ·   Acme  ");
  expect_catalog_matches(index, chat);

  chat.workspace_list[0].name = "Acme Corp";
  index.update(chat, SearchChanges{true, {}, {}});
  EXPECT_EQ(index.catalog()->entry("chat.message:m_4")->subtitle, "Helper · #general · Acme Corp");
  expect_catalog_matches(index, chat);

  // Deleting a channel drops it and its messages; a pick of them resolves to none.
  chat.channel_list.erase(chat.channel_list.begin());
  chat.messages_by_channel.erase("c_gen");
  index.update(chat, SearchChanges{true, {}, {}});
  EXPECT_FALSE(index.catalog()->entry("chat.message:m_1"));
  EXPECT_FALSE(resolve_search_result(chat, "chat.message:m_1"));
  EXPECT_FALSE(resolve_search_result(chat, "chat.channel:c_gen"));
  expect_catalog_matches(index, chat);
}

TEST(ChatSearchIndex, LocalActionsNameWhatTheyChange) {
  namespace ca = chat_action;
  struct Row {
    ChatAction action;
    bool structure;
    std::set<std::string> channels, messages;
  };
  const Row rows[] = {
      {ca::SendMessage{"c", "m_1", "u", 0, "t", {}, {}, {}, {}}, false, {}, {"m_1"}},
      {ca::EditMessage{"c", "m_2", "t", 0}, false, {}, {"m_2"}},
      {ca::DeleteMessage{"c", "m_3"}, false, {}, {"m_3"}},
      {ca::AddReaction{"c", "m_1", "x", "u"}, false, {}, {}},
      {ca::PinMessage{"c", "m_1", true}, false, {}, {}},
      {ca::RenameChannel{"c", "n"}, true, {}, {}},
      {ca::DeleteCategory{"cat"}, true, {}, {}},
      {ca::MarkRead{"c", "u", 1}, false, {}, {}},
      {ca::SetAgentWork{"c", "m_1", AgentWork{}, std::string("done")}, false, {"c"}, {}},
      {ca::SetAgentWork{"c", "m_1", AgentWork{}, std::nullopt}, false, {}, {}},
      {ca::JoinCall{"c", "u"}, false, {}, {}},
  };
  for (const auto& row : rows) {
    const auto c = search_changes_for(row.action);
    EXPECT_EQ(c.structure, row.structure) << row.action.index();
    EXPECT_EQ(c.channels, row.channels) << row.action.index();
    EXPECT_EQ(c.messages, row.messages) << row.action.index();
  }
}

TEST(ChatSearchIndex, PickedResultsResolveToTheirOpenActionOnly) {
  const auto chat = testing::fixture_chat();
  const std::pair<std::string, std::string> rows[] = {{"chat.workspace:ws_1", "Open workspace"},
                                                      {"chat.channel:c_gen", "Open conversation"},
                                                      {"chat.category:cat_eng", "Open category"},
                                                      {"chat.person:u_ann", "Open person"},
                                                      {"chat.message:m_1", "Reveal message"}};
  for (const auto& [address, label] : rows) {
    auto r = resolve_search_result(chat, address);
    ASSERT_TRUE(r) << address;
    ASSERT_EQ(r->actions().size(), 1u);
    EXPECT_EQ(r->actions()[0].name(), "open");
    EXPECT_EQ(r->actions()[0].label(), label);
    EXPECT_EQ(r->actions()[0].encode({}).operation_type, vesk_actions::OperationType::View);
  }
  EXPECT_FALSE(resolve_search_result(chat, "chat.call:c_voice"));
  EXPECT_FALSE(resolve_search_result(chat, "chat.person:u_gone"));
}

// Random edits, each followed by an update naming only what changed, keep the
// catalog equal to one built from scratch.
TEST(ChatSearchIndex, IncrementalUpdatesMatchARebuild) {
  auto chat = testing::fixture_chat();
  ChatSearchIndex index;
  index.rebuild(chat);
  std::mt19937 rng(11);
  const std::vector<std::string> channels = {"c_gen", "c_voice", "c_other"};
  int next = 100;
  for (int step = 0; step < 300; ++step) {
    SearchChanges changes;
    const std::string ch = channels[rng() % channels.size()];
    auto& list = chat.messages_by_channel[ch];
    switch (rng() % 5) {
      case 0: {  // a new message
        Message m;
        m.id = "m_" + std::to_string(next++);
        m.channel = ch;
        m.author = chat.person_list[rng() % chat.person_list.size()].id;
        m.text = "note " + std::to_string(rng() % 50);
        list.push_back(m);
        changes.messages.insert(m.id);
        break;
      }
      case 1:  // an edit
        if (!list.empty()) {
          auto& m = list[rng() % list.size()];
          m.text = "edited " + std::to_string(step);
          changes.messages.insert(m.id);
        }
        break;
      case 2:  // a deletion
        if (!list.empty()) {
          const auto i = rng() % list.size();
          changes.messages.insert(list[i].id);
          list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        }
        break;
      case 3: {  // the list changed and only the list is named (a merge)
        if (!list.empty()) list.erase(list.begin());
        Message m;
        m.id = "m_" + std::to_string(next++);
        m.channel = ch;
        m.author = "u_ann";
        m.text = "merged " + std::to_string(step);
        list.push_back(m);
        changes.channels.insert(ch);
        break;
      }
      default:  // a rename of a person or channel
        if (rng() % 2) {
          chat.person_list[rng() % chat.person_list.size()].name = "P" + std::to_string(step);
        } else {
          chat.channel_list[rng() % chat.channel_list.size()].name = "C" + std::to_string(step);
        }
        changes.structure = true;
    }
    index.update(chat, changes);
  }
  expect_catalog_matches(index, chat);
}

// Two replicas of the demonstration chat; the catalog follows b, and what a
// writes arrives by merge or sync.
class ChatSearchFollow : public ::testing::Test {
 protected:
  doc::testing::Replicas r;
  doc::WorkspaceDoc wa{r.a}, wb{r.b};
  const DocumentChatReader reader{wb};
  ChatSearchIndex index;
};

TEST_F(ChatSearchFollow, WhatArrivesFromAPeerIsFound) {
  namespace ca = chat_action;
  index.follow(wb);
  expect_catalog_matches(index, reader);

  auto from_a = [&](const ChatAction& action) {
    doc::apply(wa, action);
    r.a.commit();
    ASSERT_TRUE(r.b.merge(r.a).ok());
  };
  from_a(doc::testing::send("c_random", "m_zebra", "zebra crossing at noon"));
  EXPECT_TRUE(found(index, "zebra").empty()) << "nothing read before the catalog follows";
  index.follow(wb);
  EXPECT_EQ(found(index, "zebra"), std::vector<std::string>{"chat.message:m_zebra"});

  from_a(ca::EditMessage{"c_random", "m_zebra", "giraffe crossing", 1782480100});
  index.follow(wb);
  EXPECT_TRUE(found(index, "zebra").empty());
  EXPECT_EQ(found(index, "giraffe"), std::vector<std::string>{"chat.message:m_zebra"});

  from_a(ca::RenameChannel{"c_random", "watercooler"});
  index.follow(wb);
  EXPECT_EQ(index.catalog()->entry("chat.message:m_zebra")->subtitle,
            "You · #watercooler · Acme Design");

  from_a(ca::DeleteMessage{"c_random", "m_zebra"});
  index.follow(wb);
  EXPECT_TRUE(found(index, "giraffe").empty());
  expect_catalog_matches(index, reader);
}

// Both replicas write at random and sync now and then; the catalog always
// equals one built from b from scratch.
TEST_F(ChatSearchFollow, MatchesARebuildAfterEverySync) {
  namespace ca = chat_action;
  std::mt19937 rng(5);
  const std::vector<std::string> channels{"c_general", "c_crit", "c_random", "c_ideas"};
  std::vector<std::string> ids{"m_open", "m_concept", "m_me1", "m_ben"};
  for (int step = 0; step < 120; ++step) {
    doc::WorkspaceDoc& w = rng() % 2 ? wa : wb;
    const std::string channel = channels[rng() % channels.size()];
    const std::string word = "w" + std::to_string(rng() % 40);
    const std::string id = ids[rng() % ids.size()];
    switch (rng() % 6) {
      case 0:
      case 1:
        ids.push_back("m_" + std::to_string(step));
        doc::apply(w, doc::testing::send(channel, ids.back(), "note " + word));
        break;
      case 2:
        for (const auto& ch : channels) doc::apply(w, ca::EditMessage{ch, id, word, 1782480100});
        break;
      case 3:
        for (const auto& ch : channels) doc::apply(w, ca::DeleteMessage{ch, id});
        break;
      case 4:
        doc::apply(w, ca::RenameChannel{channel, word});
        break;
      default:
        doc::apply(w, ca::CreateChannel{"ws_acme", "", "c_" + word, word, ChannelKind::Text});
    }
    r.a.commit();
    r.b.commit();
    if (step % 10 == 9) {
      r.sync();
      index.follow(wb);
      expect_catalog_matches(index, reader);
    }
  }
}

}  // namespace
}  // namespace chat
