// What a replica learns from take_changes() when the other replica's writes
// arrive: the chat's view of the engine's change events, which the search
// catalog follows.

#include <gtest/gtest.h>

#include <functional>

#include "doc/access.hpp"
#include "doc/apply.hpp"
#include "doc_test_support.hpp"

namespace chat::doc {
namespace {

using testing::Replicas;
using testing::send;

ChatChanges changes(bool structure, std::set<std::string> channels,
                    std::set<std::string> messages) {
  ChatChanges c;
  c.structure = structure;
  c.channels = std::move(channels);
  c.messages = std::move(messages);
  return c;
}

struct Case {
  std::string name;
  std::function<void(WorkspaceDoc&)> write;  // on replica a
  ChatChanges expected;                      // as replica b tells it
};

std::function<void(WorkspaceDoc&)> act(ChatAction action) {
  return [action](WorkspaceDoc& w) { apply(w, action); };
}

std::vector<Case> cases() {
  namespace ca = chat_action;
  ChatAction::SendMessage with_file = send("c_crit", "m_file", "");
  with_file.attachment = Attachment::File{"notes.md", testing::hex_blob(), 12};
  ca::SetAgentWork say{"c_crit", "m_file", AgentWork{AgentWorkState::Taken{}, 1, {}, {}}, "on it"};
  return {
      {"first message of a channel", act(send("c_random", "m_new", "hello")),
       changes(false, {"c_random"}, {"m_new"})},
      {"message in a busy channel", act(send("c_crit", "m_new", "hello")),
       changes(false, {"c_crit"}, {"m_new"})},
      {"reply", act(send("c_crit", "m_new", "hello", "m_concept")),
       changes(false, {"c_crit"}, {"m_new"})},
      {"edit", act(ca::EditMessage{"c_crit", "m_open", "better words", 1782480100}),
       changes(false, {}, {"m_open"})},
      {"delete", act(ca::DeleteMessage{"c_crit", "m_me1"}), changes(false, {"c_crit"}, {})},
      {"pin", act(ca::PinMessage{"c_crit", "m_open", true}), changes(false, {}, {"m_open"})},
      // Only the message's text object changes: the index knows whose it is.
      {"text alone",
       [](WorkspaceDoc& w) {
         auto found = w.messages().find("c_crit", "m_me1");
         ASSERT_TRUE(found);
         auto text = get_text_obj(w.doc(), found->message, key::kText);
         ASSERT_TRUE(text);
         ASSERT_TRUE(w.doc().splice_text(*text, 0, 4, "Like").ok());
       },
       changes(false, {}, {"m_me1"})},
      {"agent says into an empty message",
       [with_file, say](WorkspaceDoc& w) {
         apply(w, with_file);
         apply(w, say);
       },
       changes(false, {"c_crit"}, {"m_file"})},
      {"rename channel", act(ca::RenameChannel{"c_crit", "crit"}), changes(true, {}, {})},
      {"new channel", act(ca::CreateChannel{"ws_acme", "", "c_new", "new", ChannelKind::Text}),
       changes(true, {}, {})},
      {"collapse category", act(ca::SetCategoryCollapsed{"cat_acme_main", true}),
       changes(true, {}, {})},
      {"delete channel", act(ca::DeleteChannel{"c_crit"}), changes(true, {"c_crit"}, {})},
      // What no catalog entry shows is not reported.
      {"reaction", act(ca::AddReaction{"c_crit", "m_me1", "🎉", "u_me"}), changes(false, {}, {})},
      {"read marker", act(ca::MarkRead{"c_crit", "u_me", 3}), changes(false, {}, {})},
      {"call", act(ca::JoinCall{"c_standup", "u_me"}), changes(false, {}, {})},
  };
}

class Changes : public ::testing::TestWithParam<Case> {};

TEST_P(Changes, ArriveByMergeInTheChatsTerms) {
  const Case& c = GetParam();
  Replicas r;
  WorkspaceDoc wa(r.a), wb(r.b);
  EXPECT_TRUE(wb.take_changes().everything) << "the first call knows nothing of the past";
  EXPECT_TRUE(wb.take_changes().empty());

  c.write(wa);
  r.a.commit();
  ASSERT_TRUE(r.b.merge(r.a).ok());
  EXPECT_EQ(wb.take_changes(), c.expected);
  EXPECT_TRUE(wb.take_changes().empty()) << "each change is told once";
}

INSTANTIATE_TEST_SUITE_P(Writes, Changes, ::testing::ValuesIn(cases()), testing::NamedByCase());

// Changes gather between calls, whoever drains the engine's events meanwhile,
// and local writes count like merged ones.
TEST(ChangesGather, AcrossReadsAndLocalWrites) {
  Replicas r;
  WorkspaceDoc wa(r.a), wb(r.b);
  (void)wb.take_changes();
  apply(wa, send("c_general", "m_a", "from a"));
  r.a.commit();
  ASSERT_TRUE(r.b.merge(r.a).ok());
  (void)wb.list_messages("c_general");  // drains the events
  apply(wb, ChatAction::EditMessage{"c_crit", "m_open", "local edit", 1782480100});
  apply(wb, ChatAction::RenameCategory{"cat_acme_main", "Main"});
  EXPECT_EQ(wb.take_changes(), changes(true, {"c_general"}, {"m_a", "m_open"}));
}

}  // namespace
}  // namespace chat::doc
