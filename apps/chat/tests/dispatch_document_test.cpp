#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "actions/chat_action_format.hpp"
#include "actions/dispatch.hpp"
#include "actions/operations.hpp"
#include "actions/resources.hpp"
#include "actions/search_index.hpp"
#include "crdt/document.hpp"
#include "doc/seeds.hpp"
#include "vesk_actions/automation_client.hpp"
#include "vesk_actions/automation_endpoint.hpp"

namespace chat {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// The demonstration workspace in a real document, with everything the action
// layer hangs on it: the executor's target, the journal, the reader, the
// search catalog and the navigation state.
class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doc::seed_demo(workspace);
    document.commit();
    ASSERT_TRUE(register_chat_actions(registry).ok());
    dispatcher.after_apply = [this](const ChatAction& a) {
      search.update(reader, search_changes_for(a));
    };
    search.rebuild(reader);
    navigation.conversation_workspace = "ws_acme";
    navigation.open_channel = "c_general";
  }

  vesk_actions::EncodedAction encode_via(std::string_view address, std::string_view name,
                                         std::optional<std::string> value = {}) {
    const ResourceContext ctx{reader, "u_me", "ws_acme", {}, {}};
    auto resource = resolve_address(ctx, address);
    EXPECT_TRUE(resource) << address;
    const auto* spec = resource ? resource->find_action(name) : nullptr;
    EXPECT_TRUE(spec) << name;
    vesk_actions::ActionArgs args;
    if (value) args.set("value", *value);
    return spec ? spec->encode(args) : vesk_actions::EncodedAction{};
  }

  crdt::Document document;
  doc::WorkspaceDoc workspace{document};
  WorkspaceTarget target{workspace};
  DocumentChatReader reader{workspace};
  vesk_actions::ActionRegistry registry;
  vesk_actions::TypedActionJournal journal;
  ChatDispatcher dispatcher{registry, target, journal, "dev.vesk.cht", std::nullopt, {}};
  ChatSearchIndex search;
  NavigationState navigation;
};

TEST_F(DocumentTest, ReaderAnswersFromTheDocument) {
  const auto general = reader.messages("c_general");
  ASSERT_FALSE(general.empty());
  std::vector<std::string> ids;
  for (const auto& m : general) ids.push_back(m.id);
  EXPECT_EQ(reader.message_ids("c_general"), ids);
  const auto found = reader.find_message(general.back().id);
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, general.back());
  EXPECT_FALSE(reader.find_message("m_nowhere"));
  EXPECT_TRUE(
      resolve_address({reader, "u_me", "ws_acme", {}, {}}, "chat.message:" + general.back().id));
}

TEST_F(DocumentTest, AnInvokedSpecBecomesOneChangeWithItsJournalEntry) {
  const auto changes_before = document.changes_count();
  const auto heads_before = target.heads();
  auto decoded = decode_chat_action(
      encode_via("chat.workspace:ws_acme", "new-channel", "  launch plans ").payload);
  ASSERT_TRUE(decoded.ok());
  dispatcher.dispatch(decoded.value());
  EXPECT_EQ(document.changes_count(), changes_before + 1);
  ASSERT_EQ(journal.entries().size(), 1u);
  EXPECT_EQ(journal.entries()[0].heads_before, heads_before);
  EXPECT_EQ(journal.entries()[0].heads_after, target.heads());
  EXPECT_NE(journal.entries()[0].heads_after, heads_before);
  EXPECT_EQ(journal.entries()[0].actor, target.actor());
  EXPECT_EQ(journal.entries()[0].record.label, "Create channel");

  const auto* created = decoded->get_if<ChatAction::CreateChannel>();
  ASSERT_TRUE(created);
  const auto channels = reader.channels();
  const auto it = std::find_if(channels.begin(), channels.end(),
                               [&](const Channel& c) { return c.id == created->id; });
  ASSERT_NE(it, channels.end());
  EXPECT_EQ(it->name, "launch plans");
  EXPECT_EQ(it->category, "");
  // The catalog followed the change without a rebuild.
  auto page = search.query_page("launch plans", "", 5);
  ASSERT_TRUE(page.ok());
  ASSERT_FALSE(page->results.empty());
  EXPECT_EQ(page->results[0].action_address, "chat.channel:" + created->id);
}

TEST_F(DocumentTest, AutomationActsThroughTheSameResources) {
  ChatAutomationHost host(reader, dispatcher, navigation, search, "u_me");
  host.import = [](const std::string&, const std::string&) { return false; };
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  auto endpoint = vesk_actions::AutomationEndpoint::detached();
  ASSERT_TRUE(endpoint.ok());
  ASSERT_TRUE((*endpoint)->adopt(fds[0]).ok());
  auto call = [&](const std::vector<std::string>& words) {
    auto cmd = vesk_actions::parse_command_line(words);
    EXPECT_TRUE(cmd.ok());
    auto reply = std::async(std::launch::async,
                            [&] { return vesk_actions::exchange(fds[1], cmd->request, 5s); });
    while (reply.wait_for(1ms) != std::future_status::ready) (*endpoint)->serve(host);
    auto r = reply.get();
    EXPECT_TRUE(r.ok());
    return r.ok() ? r.value() : json();
  };

  auto roots = call({"list", "1"});
  ASSERT_TRUE(roots["ok"].get<bool>()) << roots.dump();
  EXPECT_EQ(roots["result"][0]["address"], "chat.workspace:ws_acme");

  auto posted = call({"invoke", "chat.channel:c_random", "post", "ship the agent demo"});
  EXPECT_TRUE(posted["ok"].get<bool>()) << posted.dump();
  const auto random = reader.messages("c_random");
  ASSERT_FALSE(random.empty());
  EXPECT_EQ(random.back().text, "ship the agent demo");
  EXPECT_EQ(random.back().author, "u_me");
  auto found = call({"search", "agent", "demo"});
  ASSERT_TRUE(found["ok"].get<bool>());
  EXPECT_EQ(found["result"]["results"][0]["address"], "chat.message:" + random.back().id);
  // The host records mentions as the composer does, with nothing wired in.
  auto mentioned = call({"invoke", "chat.channel:c_random", "post", "thanks @tessa moore!"});
  EXPECT_TRUE(mentioned["ok"].get<bool>()) << mentioned.dump();
  EXPECT_EQ(reader.messages("c_random").back().mentions,
            (std::vector<Mention>{{"u_tessa", 7, 12, false}}));

  auto refused = call({"invoke", "chat.channel:c_random", "delete"});
  EXPECT_EQ(refused["error"]["code"], "confirm-required");
  auto opened = call({"invoke", "chat.channel:c_random", "open"});
  EXPECT_TRUE(opened["ok"].get<bool>());
  EXPECT_EQ(navigation.open_channel, "c_random");
  auto import = call({"invoke", "chat.channel:c_random", "attach"});
  EXPECT_EQ(import["error"]["message"], "attachment import was not accepted");
  EXPECT_EQ(call({"control", "chat.send"})["error"]["code"], "not-handled");
  close(fds[1]);
}

}  // namespace
}  // namespace chat
