#include "actions/operations.hpp"

#include <gtest/gtest.h>

#include "resources_fixture.hpp"

namespace chat {
namespace {

namespace co = chat_operation;
using vesk_actions::EncodedAction;
using vesk_actions::OperationType;

NavigationState start() {
  NavigationState nav;
  nav.context_workspace = "ws_1";
  nav.conversation_workspace = "ws_1";
  nav.open_channel = "c_gen";
  nav.open_thread = "m_1";
  nav.thread_focus = true;
  nav.edit_target = "m_4";
  nav.scroll_target = "m_2";
  return nav;
}

struct Row {
  std::string what;
  ChatOperation op;
  OperationType type;
  OperationResult result;
  std::function<void(NavigationState&)> change;  // applied to start() for the expected state
};

TEST(ChatOperations, ChecksInOrderWithExactFailureTextsAndNavigationEffects) {
  const auto chat = testing::fixture_chat();
  auto clear = [](NavigationState& n) {
    n.open_thread.reset();
    n.thread_focus = false;
    n.edit_target.reset();
    n.scroll_target.reset();
  };
  const auto fail = OperationResult::failed;
  const Row rows[] = {
      {"import as view",
       co::ImportAttachment{"c_gone", ""},
       OperationType::View,
       fail("attachment import requires an Effect operation"),
       {}},
      {"import as inspect",
       co::ImportAttachment{"c_gen", "/a"},
       OperationType::Inspect,
       fail("attachment import requires an Effect operation"),
       {}},
      {"import empty path",
       co::ImportAttachment{"c_gone", ""},
       OperationType::Effect,
       fail("attachment path is empty"),
       {}},
      {"import missing channel",
       co::ImportAttachment{"c_gone", "/a"},
       OperationType::Effect,
       fail("conversation no longer exists"),
       {}},
      {"import refused",
       co::ImportAttachment{"c_gen", "/refuse"},
       OperationType::Effect,
       fail("attachment import was not accepted"),
       {}},
      {"import accepted",
       co::ImportAttachment{"c_gen", "/ok"},
       OperationType::Effect,
       OperationResult::handled(),
       {}},
      {"navigation as effect",
       co::OpenWorkspace{"ws_9"},
       OperationType::Effect,
       fail("Chat navigation requires a View operation"),
       {}},
      {"navigation as inspect",
       co::OpenWorkspace{"ws_2"},
       OperationType::Inspect,
       OperationResult::not_handled(),
       {}},
      {"workspace gone",
       co::OpenWorkspace{"ws_9"},
       OperationType::View,
       fail("workspace no longer exists"),
       {}},
      {"open workspace", co::OpenWorkspace{"ws_2"}, OperationType::View, OperationResult::handled(),
       [&](NavigationState& n) {
         n.conversation_workspace = "ws_2";
         n.open_channel.clear();
         clear(n);
       }},
      {"channel of another workspace",
       co::OpenChannel{"ws_2", "c_gen"},
       OperationType::View,
       fail("conversation no longer exists"),
       {}},
      {"open channel", co::OpenChannel{"ws_2", "c_other"}, OperationType::View,
       OperationResult::handled(),
       [&](NavigationState& n) {
         n.conversation_workspace = "ws_2";
         n.open_channel = "c_other";
         clear(n);
       }},
      {"category gone",
       co::OpenCategory{"ws_2", "cat_eng"},
       OperationType::View,
       fail("category no longer exists"),
       {}},
      {"open category", co::OpenCategory{"ws_1", "cat_soc"}, OperationType::View,
       OperationResult::handled(),
       [&](NavigationState& n) {
         n.open_channel = "c_voice";
         clear(n);
       }},
      {"reveal in missing channel",
       co::RevealMessage{"ws_1", "c_other", "m_1", std::nullopt},
       OperationType::View,
       fail("conversation no longer exists"),
       {}},
      {"reveal deleted message",
       co::RevealMessage{"ws_1", "c_gen", "m_9", std::nullopt},
       OperationType::View,
       fail("message no longer exists"),
       {}},
      {"reveal reply", co::RevealMessage{"ws_1", "c_gen", "m_4", "m_1"}, OperationType::View,
       OperationResult::handled(),
       [](NavigationState& n) {
         n.open_thread = "m_1";
         n.side_panel_shown = true;
         n.scroll_target = "m_4";
       }},
      {"person gone",
       co::OpenPerson{"u_9"},
       OperationType::View,
       fail("person no longer exists"),
       {}},
      {"open person", co::OpenPerson{"u_bot"}, OperationType::View, OperationResult::handled(),
       [](NavigationState& n) {
         n.open_thread.reset();
         n.thread_focus = false;
         n.side_panel_shown = true;
       }},
  };
  for (const auto& row : rows) {
    auto nav = start();
    std::vector<std::string> imports;
    const auto encoded = encode_operation(row.op, row.type);
    const auto result = handle_chat_operation(encoded, row.type, chat, nav,
                                              [&](const std::string& c, const std::string& p) {
                                                imports.push_back(c + ":" + p);
                                                return p != "/refuse";
                                              });
    EXPECT_EQ(result, row.result) << row.what << ": " << result.error;
    auto expected = start();
    if (row.change) row.change(expected);
    EXPECT_EQ(nav, expected) << row.what;  // failures change nothing
    const bool reached_import = row.what == "import refused" || row.what == "import accepted";
    EXPECT_EQ(imports.size(), reached_import ? 1u : 0u) << row.what;
  }
}

TEST(ChatOperations, OtherKindsAndBadPayloads) {
  const auto chat = testing::fixture_chat();
  auto nav = start();
  const EncodedAction action{"chat.action", R"({"DeleteChannel":{"id":"c_gen"}})", std::nullopt};
  EXPECT_EQ(handle_chat_operation(action, OperationType::View, chat, nav, {}),
            OperationResult::not_handled());
  const EncodedAction broken{"chat.operation", R"({"OpenChannel":{"workspace":"ws_1"}})",
                             OperationType::View};
  const auto r = handle_chat_operation(broken, OperationType::View, chat, nav, {});
  EXPECT_EQ(r.outcome, OperationOutcome::Failed);
  EXPECT_NE(r.error.find("channel"), std::string::npos) << r.error;
  EXPECT_EQ(nav, start());
}

TEST(ChatOperations, RevealElsewhereWithoutThreadClosesTheOldThread) {
  auto chat = testing::fixture_chat();
  Message m;
  m.id = "m_other";
  m.channel = "c_other";
  chat.messages_by_channel["c_other"] = {m};
  auto nav = start();
  const auto op = encode_operation(co::RevealMessage{"ws_2", "c_other", "m_other", std::nullopt},
                                   OperationType::View);
  EXPECT_EQ(handle_chat_operation(op, OperationType::View, chat, nav, {}),
            OperationResult::handled());
  EXPECT_EQ(nav.conversation_workspace, "ws_2");
  EXPECT_EQ(nav.open_channel, "c_other");
  EXPECT_EQ(nav.scroll_target, "m_other");
  EXPECT_FALSE(nav.open_thread);
}

}  // namespace
}  // namespace chat
