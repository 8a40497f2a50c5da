#include "actions/dispatch.hpp"

#include <gtest/gtest.h>

#include "actions/chat_action_format.hpp"
#include "actions/resources.hpp"
#include "base/log.hpp"

namespace chat {
namespace {

namespace ca = chat_action;
using vesk_actions::ActionContext;
using vesk_actions::ActionTarget;
using vesk_actions::DocumentTarget;

// Stands for the workspace document: applied actions gather until a commit
// makes them one change; the heads name the number of changes.
struct AppliedLog {
  std::vector<ChatAction> pending;
  std::vector<std::vector<ChatAction>> changes;
};

class LogTarget final : public DocumentTarget<AppliedLog> {
 public:
  AppliedLog log;
  AppliedLog& document() override { return log; }
  std::vector<std::string> heads() const override {
    return {"h" + std::to_string(log.changes.size())};
  }
  std::string actor() const override { return "actor-a"; }
  void commit(std::string_view) override {
    if (!log.pending.empty()) log.changes.push_back(std::exchange(log.pending, {}));
  }
  void rollback() override { log.pending.clear(); }
};

base::Status apply_to_log(ActionTarget& target, const ChatAction& action) {
  auto* t = dynamic_cast<DocumentTarget<AppliedLog>*>(&target);
  if (!t) return base::make_error("not the chat document");
  t->document().pending.push_back(action);
  return {};
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(register_chat_actions(registry, apply_to_log).ok()); }
  void TearDown() override { base::log::set_level(base::log::Level::Off); }

  std::string dispatch_capturing_log(ChatDispatcher& d, const ChatAction& a) {
    base::log::set_level(base::log::Level::Warn);
    ::testing::internal::CaptureStderr();
    d.dispatch(a);
    auto out = ::testing::internal::GetCapturedStderr();
    base::log::set_level(base::log::Level::Off);
    return out;
  }

  vesk_actions::ActionRegistry registry;
  LogTarget target;
  vesk_actions::TypedActionJournal journal{16};
};

TEST_F(DispatchTest, EachActionIsOneChangeAndOneJournalEntry) {
  ChatDispatcher d{registry, target, journal, "dev.vesk.cht", std::nullopt, {}};
  const ChatAction rename = ca::RenameChannel{"c_1", "news"};
  const ChatAction pin = ca::PinMessage{"c_1", "m_1", true};
  EXPECT_EQ(dispatch_capturing_log(d, rename), "");
  d.context = ActionContext{};
  d.context->origin = "automation";
  EXPECT_EQ(dispatch_capturing_log(d, pin), "");
  ASSERT_EQ(target.log.changes.size(), 2u);
  EXPECT_EQ(target.log.changes[0], std::vector<ChatAction>{rename});
  EXPECT_EQ(target.log.changes[1], std::vector<ChatAction>{pin});
  ASSERT_EQ(journal.entries().size(), 2u);
  const auto& e = journal.entries()[1];
  EXPECT_EQ(e.heads_before, std::vector<std::string>{"h1"});
  EXPECT_EQ(e.heads_after, std::vector<std::string>{"h2"});
  EXPECT_EQ(e.actor, "actor-a");
  EXPECT_EQ(e.kind, "chat.action");
  EXPECT_EQ(e.record.label, "Pin message");
  EXPECT_EQ(e.record.resource.encode(), "chat.message:m_1");
  EXPECT_EQ(e.record.resource_label, "Message");
  EXPECT_EQ(e.record.value, encode_chat_action(pin));
  EXPECT_EQ(e.record.app_name, "Chat");
}

TEST_F(DispatchTest, FailuresAreLoggedAndLeaveNoTrace) {
  vesk_actions::ActionRegistry empty;
  ChatDispatcher unregistered{empty, target, journal, "dev.vesk.cht", std::nullopt, {}};
  const auto log = dispatch_capturing_log(unregistered, ca::DeleteChannel{"c_1"});
  EXPECT_NE(log.find("action dispatch failed: unknown action kind: chat.action"), std::string::npos)
      << log;

  vesk_actions::ActionRegistry refusing;
  ASSERT_TRUE(register_chat_actions(refusing, [](ActionTarget&, const ChatAction&) {
                return base::Status(base::make_error("document is read-only"));
              }).ok());
  ChatDispatcher d{refusing, target, journal, "dev.vesk.cht", std::nullopt, {}};
  const auto log2 = dispatch_capturing_log(d, ca::DeleteChannel{"c_1"});
  EXPECT_NE(log2.find("action dispatch failed: action could not be applied: document is read-only"),
            std::string::npos)
      << log2;
  EXPECT_TRUE(target.log.changes.empty());
  EXPECT_TRUE(journal.entries().empty());
}

TEST_F(DispatchTest, TheRegisteredDecoderBoxesActionsAndReportsReaderErrors) {
  EXPECT_FALSE(register_chat_actions(registry, apply_to_log).ok());  // once only
  const ChatAction send = ca::SendMessage{"c_1", "m_1", "u_me", 5, "hi", {}, {}, {}, {}};
  auto boxed = registry.decode(encode_action(send));
  ASSERT_TRUE(boxed.ok());
  auto* chat_box = dynamic_cast<BoxedChatAction*>(boxed.value().get());
  ASSERT_TRUE(chat_box);
  EXPECT_EQ(chat_box->action(), send);
  EXPECT_EQ(chat_box->debug_text(), "SendMessage " + encode_chat_action(send));

  const std::string bad = R"({"DeleteMessage":{"channel":"c_1"}})";
  auto refused = registry.decode({"chat.action", bad, std::nullopt});
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error(), decode_chat_action(bad).error());
  EXPECT_NE(refused.error().find("id"), std::string::npos);
}

}  // namespace
}  // namespace chat
