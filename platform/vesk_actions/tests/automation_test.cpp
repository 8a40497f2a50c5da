#include "vesk_actions/automation.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <set>
#include <thread>

#include "vesk_actions/automation_client.hpp"
#include "vesk_actions/automation_endpoint.hpp"

namespace vesk_actions {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// A host with one channel resource; it records what reaches it and on which
// thread, so that the tests can see the frame cycle is the only caller.
class FakeHost final : public AutomationHost {
 public:
  std::vector<EncodedAction> performed;
  std::vector<ControlInvocation> controls;
  std::set<std::thread::id> threads;
  SearchCatalog catalog;

  Resource channel() const {
    Resource r({"app.channel", "c_1"}, "# general");
    r.with_action(ActionSpec("post", "Post message", [](const ActionArgs& a) {
                    return EncodedAction{"app.action", a.text("value").value_or(""), std::nullopt};
                  }).with_parameter("Message", "type a message…"));
    r.with_action(ActionSpec("delete", "Delete channel", [](const ActionArgs&) {
                    return EncodedAction{"app.action", "delete", std::nullopt};
                  }).destructive());
    r.with_action(ActionSpec("react", "React", [](const ActionArgs& a) {
                    return EncodedAction{
                        "app.action", "react " + a.text("value").value_or("<none>"), std::nullopt};
                  }).with_default_parameter("Emoji", "👍"));
    r.with_action(ActionSpec("open", "Open", [](const ActionArgs&) {
      return EncodedAction{"app.operation", "open", OperationType::View};
    }));
    r.with_child(Resource({"app.call", "c_1"}, "Call"));
    return r;
  }
  std::vector<Resource> resource_roots() override {
    threads.insert(std::this_thread::get_id());
    return {channel()};
  }
  std::optional<Resource> resolve_resource(std::string_view address) override {
    threads.insert(std::this_thread::get_id());
    if (address == "app.channel:c_1") return channel();
    return std::nullopt;
  }
  base::Status perform(const EncodedAction& action) override {
    threads.insert(std::this_thread::get_id());
    if (action.payload == "open") return base::make_error("conversation no longer exists");
    performed.push_back(action);
    return {};
  }
  ControlOutcome run_control(const ControlInvocation& invocation) override {
    controls.push_back(invocation);
    return invocation.name == "app.send" ? ControlOutcome::Handled : ControlOutcome::NotHandled;
  }
  base::Result<SearchPage> search(std::string_view q, std::string_view cursor,
                                  std::size_t limit) override {
    return catalog.query_page(q, cursor, limit);
  }
  json accessibility_tree() override {
    return json{{"label", "Chat"}, {"children", json::array()}};
  }
};

// One endpoint with a connected client over a socket pair. Requests are
// answered only while `pump` runs the frame-cycle side.
class EndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    auto ep = AutomationEndpoint::detached(options());
    ASSERT_TRUE(ep.ok());
    endpoint = std::move(ep).value();
    ASSERT_TRUE(endpoint->adopt(fds[0]).ok());
    client = fds[1];
  }
  void TearDown() override { close(client); }
  virtual EndpointOptions options() const { return EndpointOptions{}; }

  json call(const json& request) {
    auto reply = std::async(std::launch::async, [&] { return exchange(client, request, 5s); });
    while (reply.wait_for(1ms) != std::future_status::ready) endpoint->serve(host);
    auto r = reply.get();
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error());
    return r.ok() ? r.value() : json();
  }
  json call_words(const std::vector<std::string>& words) {
    auto cmd = parse_command_line(words);
    EXPECT_TRUE(cmd.ok()) << (cmd.ok() ? "" : cmd.error());
    return call(cmd->request);
  }

  FakeHost host;
  std::unique_ptr<AutomationEndpoint> endpoint;
  int client = -1;
};

TEST_F(EndpointTest, ListsResolvesAndInvokesThroughTheClient) {
  auto pong = call_words({"ping"});
  EXPECT_EQ(pong["ok"], true);
  EXPECT_EQ(pong["result"]["pong"], true);

  auto list = call_words({"list"});
  ASSERT_EQ(list["result"].size(), 1u);
  EXPECT_EQ(list["result"][0]["address"], "app.channel:c_1");
  EXPECT_EQ(list["result"][0]["actions"][0]["parameter"]["placeholder"], "type a message…");
  EXPECT_EQ(list["result"][0]["actions"][1]["destructive"], true);
  EXPECT_EQ(list["result"][0]["children"][0]["label"], "Call");
  EXPECT_TRUE(call_words({"list", "0"})["result"][0]["children"].empty());

  EXPECT_EQ(call_words({"resolve", "app.channel:c_1"})["result"]["label"], "# general");
  auto missing = call_words({"resolve", "app.channel:gone"});
  EXPECT_EQ(missing["ok"], false);
  EXPECT_EQ(missing["error"]["code"], "not-found");

  auto posted = call_words({"invoke", "app.channel:c_1", "post", "hello 👋"});
  EXPECT_EQ(posted["ok"], true) << posted.dump();
  ASSERT_EQ(host.performed.size(), 1u);
  EXPECT_EQ(host.performed[0].payload, "hello 👋");

  // Without a value, a parameter with a default text gets it; one without
  // a default reaches the encoder absent.
  call_words({"invoke", "app.channel:c_1", "react"});
  call_words({"invoke", "app.channel:c_1", "post"});
  ASSERT_EQ(host.performed.size(), 3u);
  EXPECT_EQ(host.performed[1].payload, "react 👍");
  EXPECT_EQ(host.performed[2].payload, "");

  // The host's error text reaches the client unchanged.
  auto failed = call_words({"invoke", "app.channel:c_1", "open"});
  EXPECT_EQ(failed["error"]["message"], "conversation no longer exists");
  EXPECT_EQ(host.threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST_F(EndpointTest, DestructiveActionsNeedConfirmation) {
  auto refused = call_words({"invoke", "app.channel:c_1", "delete"});
  EXPECT_EQ(refused["error"]["code"], "confirm-required");
  EXPECT_TRUE(host.performed.empty());
  auto done = call_words({"invoke", "app.channel:c_1", "delete", "--confirm"});
  EXPECT_EQ(done["ok"], true);
  ASSERT_EQ(host.performed.size(), 1u);
  EXPECT_EQ(host.performed[0].payload, "delete");
  EXPECT_EQ(
      call_words({"invoke", "app.channel:c_1", "delete", "text", "--confirm"})["error"]["code"],
      "bad-request");
}

TEST_F(EndpointTest, ControlsSearchAndAccessibility) {
  EXPECT_EQ(call_words({"control", "app.send"})["result"]["handled"], true);
  EXPECT_EQ(call_words({"control", "app.offscreen"})["error"]["code"], "not-handled");
  call_words({"control", "app.rename", "--text", "new name"});
  ASSERT_EQ(host.controls.size(), 3u);
  EXPECT_EQ(host.controls[2].action, SemanticAction::SetText);
  EXPECT_EQ(host.controls[2].text, "new name");

  for (int i = 0; i < 5; ++i) {
    host.catalog.insert(
        {"Messages", "release " + std::to_string(i), "", "", "m:" + std::to_string(i)});
  }
  auto page = call_words({"search", "release", "--limit", "2"});
  EXPECT_EQ(page["result"]["total"], 5);
  ASSERT_EQ(page["result"]["results"].size(), 2u);
  auto next = call_words({"search", "release", "--limit", "2", "--cursor",
                          page["result"]["next_cursor"].get<std::string>()});
  EXPECT_EQ(next["result"]["results"][0]["address"], "m:2");
  EXPECT_EQ(call_words({"search", "release", "--limit", "900"})["error"]["code"], "bad-request");
  EXPECT_EQ(call_words({"tree"})["result"]["label"], "Chat");
}

TEST_F(EndpointTest, MalformedRequestsGetErrorRepliesWithoutReachingTheHost) {
  const std::pair<std::string, std::string> cases[] = {
      {"not json", "malformed"},
      {"[1,2]", "malformed"},
      {R"({"id":1})", "malformed"},
      {R"({"id":1,"method":"search","params":[1]})", "malformed"},
      {R"({"id":1,"method":"nope"})", "unknown-method"},
      {R"({"id":1,"method":"search","params":{"query":7}})", "bad-request"},
      {R"({"id":1,"method":"actions.invoke","params":{"address":"app.channel:c_1"}})",
       "bad-request"},
      {R"({"id":1,"method":"controls.run","params":{"name":"x","action":"poke"}})", "bad-request"},
  };
  for (const auto& [line, code] : cases) {
    const std::string framed = line + "\n";
    ASSERT_EQ(send(client, framed.data(), framed.size(), 0), static_cast<ssize_t>(framed.size()));
    auto reply = std::async(std::launch::async, [&] {
      std::string in;
      char c;
      while (recv(client, &c, 1, 0) == 1 && c != '\n') in.push_back(c);
      return json::parse(in);
    });
    while (reply.wait_for(1ms) != std::future_status::ready) endpoint->serve(host);
    const auto r = reply.get();
    EXPECT_EQ(r["ok"], false) << line;
    EXPECT_EQ(r["error"]["code"], code) << line;
  }
  EXPECT_TRUE(host.performed.empty());
}

// A host that sleeps between frames must be woken for each queued request,
// and never for lines the endpoint answers itself.
class WakingEndpointTest : public EndpointTest {
 protected:
  EndpointOptions options() const override {
    EndpointOptions o;
    o.on_request = [w = wakes] { w->fetch_add(1); };
    return o;
  }
  std::shared_ptr<std::atomic<int>> wakes = std::make_shared<std::atomic<int>>(0);
};

TEST_F(WakingEndpointTest, QueuedRequestsWakeTheHost) {
  const std::string lines =
      "not json\n"
      R"({"id":1,"method":"ping"})"
      "\n"
      R"({"id":2,"method":"ping"})"
      "\n";
  ASSERT_GT(send(client, lines.data(), lines.size(), 0), 0);
  for (int i = 0; i < 500 && endpoint->queued() < 2; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(endpoint->queued(), 2u);
  EXPECT_EQ(wakes->load(), 2);
}

TEST_F(EndpointTest, RequestsWaitForTheFrameCycle) {
  const std::string line = R"({"id":"a","method":"resources.list"})"
                           "\n";
  ASSERT_GT(send(client, line.data(), line.size(), 0), 0);
  for (int i = 0; i < 200 && endpoint->queued() == 0; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(endpoint->queued(), 1u);
  EXPECT_TRUE(host.threads.empty());  // nothing ran off the UI thread
  EXPECT_EQ(endpoint->serve(host), 1u);
  EXPECT_EQ(endpoint->serve(host), 0u);
  std::string in;
  char c;
  while (recv(client, &c, 1, 0) == 1 && c != '\n') in.push_back(c);
  EXPECT_EQ(json::parse(in)["id"], "a");
}

class SmallEndpointTest : public EndpointTest {
  EndpointOptions options() const override {
    EndpointOptions o;
    o.max_request_bytes = 256;
    o.max_queued_requests = 2;
    return o;
  }
};

TEST_F(SmallEndpointTest, OversizedLinesAreRefusedAndFloodsAreBounded) {
  // Three requests while the frame cycle is away: the third is refused at once.
  std::string burst;
  for (int i = 0; i < 3; ++i)
    burst += R"({"id":)" + std::to_string(i) +
             R"(,"method":"ping"})"
             "\n";
  ASSERT_GT(send(client, burst.data(), burst.size(), 0), 0);
  std::string in;
  char c;
  while (recv(client, &c, 1, 0) == 1 && c != '\n') in.push_back(c);
  auto busy = json::parse(in);
  EXPECT_EQ(busy["id"], 2);
  EXPECT_EQ(busy["error"]["code"], "busy");
  EXPECT_EQ(endpoint->queued(), 2u);
  endpoint->serve(host);

  // A line that never ends past the limit: one error, then the connection closes.
  const std::string huge(1000, 'x');
  ASSERT_GT(send(client, huge.data(), huge.size(), MSG_NOSIGNAL), 0);
  std::string rest;
  for (;;) {
    const ssize_t n = recv(client, &c, 1, 0);
    if (n <= 0) break;
    rest.push_back(c);
  }
  EXPECT_NE(rest.find(R"("code":"too-large")"), std::string::npos) << rest;
}

TEST(AutomationEndpointSocket, PrivateSocketThatRefusesToStealALiveOne) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("vesk-actions-test-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);  // stands for the runtime directory
  const std::string path = (dir / "app" / "automation.sock").string();
  {
    auto ep = AutomationEndpoint::listen(path);
    ASSERT_TRUE(ep.ok()) << ep.error();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((dir / "app").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(AutomationEndpoint::listen(path).ok());

    auto fd = connect_endpoint(path);
    ASSERT_TRUE(fd.ok());
    FakeHost host;
    auto reply = std::async(std::launch::async, [&] {
      return exchange(*fd, json{{"id", 9}, {"method", "ping"}}, 5s);
    });
    while (reply.wait_for(1ms) != std::future_status::ready) (*ep)->serve(host);
    auto r = reply.get();
    ASSERT_TRUE(r.ok());
    EXPECT_EQ((*r)["id"], 9);
    close(*fd);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  // A socket file left by a crash is replaced.
  {
    int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(stale);
    EXPECT_TRUE(AutomationEndpoint::listen(path).ok());
  }
  std::filesystem::remove_all(dir);
}

TEST(AutomationEndpointSocket, DefaultPathNeedsTheRuntimeDirectory) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = old ? old : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(default_socket_path("vesk-chat").value(), "/run/user/1000/vesk-chat/automation.sock");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_FALSE(default_socket_path("vesk-chat").ok());
  setenv("XDG_RUNTIME_DIR", "relative", 1);
  EXPECT_FALSE(default_socket_path("vesk-chat").ok());
  if (old)
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  else
    unsetenv("XDG_RUNTIME_DIR");
}

TEST(AutomationCommandLine, BuildsRequestsAndRefusesBadWords) {
  struct Case {
    std::vector<std::string> words;
    std::string method;
    json params;
  };
  const Case good[] = {
      {{"ping"}, "ping", json::object()},
      {{"list", "2"}, "resources.list", {{"depth", 2}}},
      {{"resolve", "a:b"}, "resources.resolve", {{"address", "a:b"}}},
      {{"invoke", "a:b", "post", "hi there"},
       "actions.invoke",
       {{"address", "a:b"}, {"action", "post"}, {"value", "hi there"}}},
      {{"invoke", "--confirm", "a:b", "delete"},
       "actions.invoke",
       {{"address", "a:b"}, {"action", "delete"}, {"confirm", true}}},
      {{"control", "chat.send"}, "controls.run", {{"name", "chat.send"}}},
      {{"control", "chat.rename", "--text", "x"},
       "controls.run",
       {{"name", "chat.rename"}, {"action", "set-text"}, {"text", "x"}}},
      {{"search", "two", "words", "--limit", "5"},
       "search",
       {{"query", "two words"}, {"limit", 5}}},
      {{"tree"}, "accessibility.tree", json::object()},
  };
  for (const auto& c : good) {
    auto cmd = parse_command_line(c.words);
    ASSERT_TRUE(cmd.ok()) << c.words[0] << ": " << cmd.error();
    EXPECT_EQ(cmd->request["method"], c.method);
    EXPECT_EQ(cmd->request["params"], c.params) << c.words[0];
  }
  auto with_socket = parse_command_line({"--socket", "/tmp/x.sock", "ping"});
  EXPECT_EQ(with_socket->socket_path, "/tmp/x.sock");
  EXPECT_EQ(parse_command_line({"raw", R"({"method":"ping"})"})->request["id"], 1);
  const std::vector<std::vector<std::string>> bad = {{},
                                                     {"fly"},
                                                     {"list", "deep"},
                                                     {"resolve"},
                                                     {"invoke", "a:b"},
                                                     {"control"},
                                                     {"control", "x", "--wat"},
                                                     {"search"},
                                                     {"search", "x", "--limit", "many"},
                                                     {"raw", "[1]"},
                                                     {"ping", "extra"}};
  for (const auto& words : bad) EXPECT_FALSE(parse_command_line(words).ok()) << words.size();
}

}  // namespace
}  // namespace vesk_actions
