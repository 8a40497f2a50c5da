// Every chat action applied to a demo-seeded document: each case states the
// whole model it must leave behind (everything not named stays as it was),
// and what applying it a second time does.

#include <gtest/gtest.h>

#include <functional>

#include "doc/apply.hpp"
#include "doc/drafts.hpp"
#include "doc/seeds.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

using testing::expect_index_matches;
using testing::expect_same_model;
using testing::Model;
using testing::project;
using testing::send;

enum class Replay {
  kNoWrites,   // the second application writes nothing at all
  kSameState,  // it may write, but the model stays as after the first
  kUndoes,     // it is a toggle by design (moving a channel)
};

struct Case {
  std::string name;
  ChatAction action;
  std::function<void(Model&)> expect;
  Replay replay = Replay::kNoWrites;
  std::function<void(WorkspaceDoc&)> setup = nullptr;
};

Message sent(const ChatAction::SendMessage& s) {
  Message m;
  m.id = s.id;
  m.channel = s.channel;
  m.author = s.author;
  m.ts = s.ts;
  m.text = s.text;
  m.parent = s.parent;
  m.attachment = s.attachment;
  m.mentions = s.mentions;
  m.reference = s.reference;
  return m;
}

AgentWork sample_work() {
  AgentWork w;
  w.state = AgentWorkState::Doing{"read the thread", "drafting a reply"};
  w.since = 1782476000;
  w.reasoning = AgentReasoning{AgentRoute::Floor, "asked in the channel"};
  w.trace = {
      AgentStep{"s2", 2, "chat.message:m_me1", "Replied", AgentStepOutcome::Applied{}},
      AgentStep{"s1", 1, "chat.channel:c_crit", "Opened", AgentStepOutcome::Refused{"busy"}},
  };
  return w;
}

void no_change(Model&) {}

std::vector<Case> cases() {
  std::vector<Case> out;
  using A = ChatAction;

  // ---- messages ----
  {
    auto s = send("c_general", "m_new", "hello there");
    out.push_back(
        {"send top-level", s, [s](Model& m) { m.messages["c_general"].push_back(sent(s)); }});
  }
  {
    auto s = send("c_crit", "m_reply", "a reply", "m_concept");
    out.push_back({"send reply", s, [s](Model& m) { m.messages["c_crit"].push_back(sent(s)); }});
  }
  {
    auto s = send("c_frontend", "m_first", "first words of a channel without a list");
    out.push_back({"send into channel without list", s,
                   [s](Model& m) { m.messages["c_frontend"].push_back(sent(s)); }});
  }
  {
    auto s = send("c_crit", "m_full", "@Kit see this");
    s.mentions = {Mention{"u_kit", 0, 4, false}};
    s.reference = ResourceRef{"chat.message", "m_open", "the mock", Span{0, 3, SpanUnit::Chars}};
    s.attachment = Attachment::Image{"shot.png", testing::hex_blob('F'), 16384, 1};
    out.push_back({"send with mention, reference and attachment", s,
                   [s](Model& m) { m.messages["c_crit"].push_back(sent(s)); }});
  }
  {
    auto s = send("c_crit", "m_open", "an id that exists already");
    out.push_back({"send with existing id", s, no_change});
  }
  out.push_back(
      {"edit", A::EditMessage{"c_crit", "m_me1", "Edited words", 1782479999}, [](Model& m) {
         Message& msg = m.message_mut("c_crit", "m_me1");
         msg.history.push_back(HistoryEntry{msg.text, 1782479999});
         msg.text = "Edited words";
         msg.edited = true;
       }});
  out.push_back({"edit appends to history", A::EditMessage{"c_crit", "m_kit", "v3", 1782480001},
                 [](Model& m) {
                   Message& msg = m.message_mut("c_crit", "m_kit");
                   msg.history.push_back(HistoryEntry{msg.text, 1782480001});
                   msg.text = "v3";
                 }});
  out.push_back({"edit with same text",
                 A::EditMessage{"c_crit", "m_me2",
                                "That's the one. Starting a huddle to walk through the grid — "
                                "jump in.",
                                1782479999},
                 no_change});
  out.push_back({"edit in wrong channel", A::EditMessage{"c_general", "m_me1", "x", 1}, no_change});
  out.push_back({"delete", A::DeleteMessage{"c_crit", "m_me1"}, [](Model& m) {
                   std::erase_if(m.messages["c_crit"],
                                 [](const Message& msg) { return msg.id == "m_me1"; });
                 }});
  out.push_back(
      {"delete root keeps replies", A::DeleteMessage{"c_crit", "m_concept"}, [](Model& m) {
         std::erase_if(m.messages["c_crit"],
                       [](const Message& msg) { return msg.id == "m_concept"; });
       }});
  out.push_back({"delete missing", A::DeleteMessage{"c_crit", "m_gone"}, no_change});
  out.push_back({"add reaction", A::AddReaction{"c_crit", "m_me1", "🎯", "u_ben"}, [](Model& m) {
                   m.message_mut("c_crit", "m_me1").reactions = {ReactionGroup{"🎯", {"u_ben"}}};
                 }});
  out.push_back(
      {"add reaction joins group", A::AddReaction{"c_crit", "m_open", "🎉", "u_kit"},
       [](Model& m) { m.message_mut("c_crit", "m_open").reactions[0].users.push_back("u_kit"); }});
  out.push_back(
      {"add existing reaction", A::AddReaction{"c_crit", "m_open", "🎉", "u_me"}, no_change});
  out.push_back(
      {"remove reaction", A::RemoveReaction{"c_crit", "m_open", "🎉", "u_me"}, [](Model& m) {
         m.message_mut("c_crit", "m_open").reactions = {ReactionGroup{"🎉", {"u_jonah"}}};
       }});
  out.push_back(
      {"remove absent reaction", A::RemoveReaction{"c_crit", "m_open", "🔥", "u_me"}, no_change});
  out.push_back({"pin", A::PinMessage{"c_crit", "m_ben", true},
                 [](Model& m) { m.message_mut("c_crit", "m_ben").pinned = true; }});
  out.push_back({"unpin never pinned", A::PinMessage{"c_crit", "m_ben", false}, no_change});

  // ---- channels and categories ----
  out.push_back({"create channel",
                 A::CreateChannel{"ws_acme", "cat_acme_main", "c_new", "new", ChannelKind::Text},
                 [](Model& m) {
                   m.channels.push_back(Channel{"c_new", "ws_acme", "cat_acme_main", "new", "",
                                                ChannelKind::Text, 4, 0, false});
                   sort_channels(m.channels);
                 },
                 Replay::kSameState});
  out.push_back({"create voice channel in empty category",
                 A::CreateChannel{"ws_jam", "cat_new", "c_talk", "talk", ChannelKind::Voice},
                 [](Model& m) {
                   m.channels.push_back(Channel{"c_talk", "ws_jam", "cat_new", "talk", "",
                                                ChannelKind::Voice, 0, 0, false});
                   sort_channels(m.channels);
                   m.voice["c_talk"] = {};
                 },
                 Replay::kSameState});
  out.push_back(
      {"create over existing channel",
       A::CreateChannel{"ws_acme", "cat_acme_main", "c_random", "chatter", ChannelKind::Text},
       [](Model& m) {
         Channel& c = m.channel_mut("c_random");
         c.name = "chatter";
         c.topic = "";
         c.archived = true;
       },
       Replay::kSameState,
       [](WorkspaceDoc& w) {
         apply(w, ChatAction::ArchiveChannel{"c_random", true});
       }});
  out.push_back({"create category", A::CreateCategory{"ws_acme", "cat_new", "More"},
                 [](Model& m) {
                   m.categories.push_back(Category{"cat_new", "ws_acme", "More", 2, false});
                   sort_categories(m.categories);
                 },
                 Replay::kSameState});
  out.push_back({"rename category", A::RenameCategory{"cat_jam_main", "Lobby"},
                 [](Model& m) {
                   for (Category& c : m.categories) {
                     if (c.id == "cat_jam_main") c.name = "Lobby";
                   }
                 },
                 Replay::kSameState});
  out.push_back({"rename missing category", A::RenameCategory{"cat_none", "x"}, no_change});
  out.push_back(
      {"delete category moves channels", A::DeleteCategory{"cat_acme_voice"},
       [](Model& m) {
         std::erase_if(m.categories, [](const Category& c) { return c.id == "cat_acme_voice"; });
         m.channel_mut("c_standup").category = "";
         m.channel_mut("c_huddle").category = "";
         // Behind the channel already without a category (order 0).
         m.channel_mut("c_standup").order = 1;
         m.channel_mut("c_huddle").order = 2;
         sort_channels(m.channels);
       },
       Replay::kNoWrites,
       [](WorkspaceDoc& w) {
         apply(w, ChatAction::CreateChannel{"ws_acme", "", "c_loose", "loose", ChannelKind::Text});
       }});
  out.push_back({"delete empty category", A::DeleteCategory{"cat_empty"},
                 [](Model& m) {
                   std::erase_if(m.categories,
                                 [](const Category& c) { return c.id == "cat_empty"; });
                 },
                 Replay::kNoWrites,
                 [](WorkspaceDoc& w) {
                   apply(w, ChatAction::CreateCategory{"ws_jam", "cat_empty", "Empty"});
                 }});
  out.push_back({"collapse category", A::SetCategoryCollapsed{"cat_vesk_eng", true},
                 [](Model& m) {
                   for (Category& c : m.categories) {
                     if (c.id == "cat_vesk_eng") c.collapsed = true;
                   }
                 },
                 Replay::kSameState});
  out.push_back({"reorder up swaps", A::ReorderChannel{"c_crit", true},
                 [](Model& m) {
                   m.channel_mut("c_crit").order = 0;
                   m.channel_mut("c_general").order = 1;
                   sort_channels(m.channels);
                 },
                 Replay::kUndoes});
  out.push_back({"reorder down swaps", A::ReorderChannel{"c_standup", false},
                 [](Model& m) {
                   m.channel_mut("c_standup").order = 1;
                   m.channel_mut("c_huddle").order = 0;
                   sort_channels(m.channels);
                 },
                 Replay::kUndoes});
  out.push_back({"reorder first up", A::ReorderChannel{"c_general", true}, no_change});
  out.push_back({"reorder last down", A::ReorderChannel{"c_random", false}, no_change});
  out.push_back({"rename channel", A::RenameChannel{"c_music", "tunes"},
                 [](Model& m) { m.channel_mut("c_music").name = "tunes"; }, Replay::kSameState});
  out.push_back({"rename missing channel", A::RenameChannel{"c_none", "x"}, no_change});
  out.push_back({"delete channel", A::DeleteChannel{"c_crit"},
                 [](Model& m) {
                   std::erase_if(m.channels, [](const Channel& c) { return c.id == "c_crit"; });
                   m.messages.erase("c_crit");
                   m.drafts.erase("c_crit");
                 },
                 Replay::kNoWrites,
                 [](WorkspaceDoc& w) {
                   set_draft(w.doc(), "c_crit", "half a thought");
                   set_draft(w.doc(), "c_crit::t::m_concept", "thread words");
                 }});
  out.push_back({"delete voice channel", A::DeleteChannel{"c_huddle"}, [](Model& m) {
                   std::erase_if(m.channels, [](const Channel& c) { return c.id == "c_huddle"; });
                   m.voice.erase("c_huddle");
                 }});
  out.push_back({"archive", A::ArchiveChannel{"c_ideas", true},
                 [](Model& m) { m.channel_mut("c_ideas").archived = true; }});
  out.push_back({"unarchive never archived", A::ArchiveChannel{"c_ideas", false}, no_change});
  out.push_back({"archive missing", A::ArchiveChannel{"c_none", true}, no_change});

  // ---- read counts and agent work ----
  out.push_back({"mark read", A::MarkRead{"c_crit", "u_me", 5}, [](Model& m) {
                   m.reads[{"u_me", "c_crit"}] = 5;
                 }});
  out.push_back({"mark read lower", A::MarkRead{"c_crit", "u_me", 2},
                 [](Model& m) {
                   m.reads[{"u_me", "c_crit"}] = 2;
                 },
                 Replay::kNoWrites,
                 [](WorkspaceDoc& w) {
                   apply(w, ChatAction::MarkRead{"c_crit", "u_me", 7});
                 }});
  out.push_back({"mark read stored count", A::MarkRead{"c_crit", "u_me", 7}, no_change,
                 Replay::kNoWrites, [](WorkspaceDoc& w) {
                   apply(w, ChatAction::MarkRead{"c_crit", "u_me", 7});
                 }});
  out.push_back({"set agent work", A::SetAgentWork{"c_crit", "m_me1", sample_work(), "ignored"},
                 [](Model& m) {
                   AgentWork w = sample_work();
                   sort_trace(w.trace);
                   m.message_mut("c_crit", "m_me1").work = w;
                 }});
  out.push_back({"set agent work says into empty text",
                 A::SetAgentWork{"c_crit", "m_blank", sample_work(), "On it."},
                 [](Model& m) {
                   AgentWork w = sample_work();
                   sort_trace(w.trace);
                   Message& msg = m.message_mut("c_crit", "m_blank");
                   msg.work = w;
                   msg.text = "On it.";
                 },
                 Replay::kNoWrites,
                 [](WorkspaceDoc& w) { apply(w, send("c_crit", "m_blank", "")); }});
  out.push_back({"set agent work on missing message",
                 A::SetAgentWork{"c_crit", "m_gone", sample_work(), std::nullopt}, no_change});

  // ---- calls ----
  out.push_back({"join call", A::JoinCall{"c_huddle", "u_me"}, [](Model& m) {
                   VoiceParticipant me;
                   me.user = "u_me";
                   m.voice["c_huddle"].push_back(me);
                   sort_voice_participants(m.voice["c_huddle"]);
                 }});
  out.push_back({"join again keeps flags", A::JoinCall{"c_huddle", "u_tessa"}, no_change});
  out.push_back({"leave call", A::LeaveCall{"c_huddle", "u_tessa"}, [](Model& m) {
                   std::erase_if(m.voice["c_huddle"],
                                 [](const VoiceParticipant& v) { return v.user == "u_tessa"; });
                 }});
  out.push_back({"leave absent", A::LeaveCall{"c_standup", "u_me"}, no_change});
  out.push_back({"call state", A::SetCallState{"c_huddle", "u_jonah", true, false, true, true},
                 [](Model& m) {
                   for (VoiceParticipant& v : m.voice["c_huddle"]) {
                     if (v.user == "u_jonah")
                       v = VoiceParticipant{"u_jonah", {}, true, false, true, true, false};
                   }
                   sort_voice_participants(m.voice["c_huddle"]);
                 },
                 Replay::kSameState});
  out.push_back({"screen share", A::SetScreenShare{"c_huddle", "u_kit", true}, [](Model& m) {
                   for (VoiceParticipant& v : m.voice["c_huddle"]) {
                     if (v.user == "u_kit") v.sharing = true;
                   }
                 }});
  out.push_back(
      {"call ticket", A::SetCallTicket{"c_huddle", "u_kit", "{\"addr\":1}"}, [](Model& m) {
         for (VoiceParticipant& v : m.voice["c_huddle"]) {
           if (v.user == "u_kit") v.ticket = "{\"addr\":1}";
         }
       }});
  out.push_back(
      {"empty call ticket reads as none", A::SetCallTicket{"c_huddle", "u_kit", ""}, no_change});

  // ---- aimed at nothing ----
  for (ChatAction a : std::initializer_list<ChatAction>{
           A::AddReaction{"c_crit", "m_gone", "👍", "u_me"},
           A::RemoveReaction{"c_gone", "m_open", "🎉", "u_me"},
           A::PinMessage{"c_crit", "m_gone", true}, A::SetCategoryCollapsed{"cat_none", true},
           A::ReorderChannel{"c_none", true}, A::DeleteChannel{"c_none"},
           A::MarkRead{"c_none", "u_me", 3}, A::JoinCall{"c_none", "u_me"},
           A::SetCallState{"c_none", "u_me", true, true, true, true},
           A::SetScreenShare{"c_none", "u_me", true}, A::SetCallTicket{"c_none", "u_me", "t"},
           A::DeleteCategory{"cat_none"}}) {
    out.push_back({"missing target " + std::to_string(a.index()), a, no_change});
  }
  return out;
}

class ApplyTest : public ::testing::TestWithParam<Case> {};

TEST_P(ApplyTest, LeavesExactlyTheStatedModel) {
  const Case& c = GetParam();
  crdt::Document d(testing::actor(1));
  WorkspaceDoc w(d);
  seed_demo(w);
  if (c.setup) c.setup(w);
  d.commit();

  Model expected = project(d);
  c.expect(expected);
  apply(w, c.action);
  d.commit();
  expect_same_model(project(d), expected);
  expect_index_matches(w);

  apply(w, c.action);
  switch (c.replay) {
    case Replay::kNoWrites:
      EXPECT_EQ(d.pending_ops(), 0u) << "a replay recorded changes";
      [[fallthrough]];
    case Replay::kSameState:
      expect_same_model(project(d), expected);
      break;
    case Replay::kUndoes:
      break;
  }
  expect_index_matches(w);
}

INSTANTIATE_TEST_SUITE_P(AllActions, ApplyTest, ::testing::ValuesIn(cases()),
                         testing::NamedByCase());

TEST(ApplyCoverage, EveryVariantHasACase) {
  std::vector<bool> seen(ChatAction::kVariantCount, false);
  for (const Case& c : cases()) seen[c.action.index()] = true;
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_TRUE(seen[i]) << "variant " << i;
}

TEST(ApplyReorder, TwoMovesReturnTheOrder) {
  crdt::Document d(testing::actor(1));
  WorkspaceDoc w(d);
  seed_demo(w);
  Model before = project(d);
  apply(w, ChatAction::ReorderChannel{"c_frontend", true});
  apply(w, ChatAction::ReorderChannel{"c_frontend", true});
  std::vector<std::string> ids;
  for (const Channel& c : list_channels(d)) {
    if (c.category == "cat_acme_main") ids.push_back(c.id);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"c_frontend", "c_general", "c_crit", "c_random"}));
  apply(w, ChatAction::ReorderChannel{"c_frontend", false});
  apply(w, ChatAction::ReorderChannel{"c_frontend", false});
  expect_same_model(project(d), before);
}

}  // namespace
}  // namespace chat::doc
