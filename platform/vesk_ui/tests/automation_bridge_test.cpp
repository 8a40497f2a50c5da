// The window's automation endpoint, without a window: a client on a real
// socket, the frame loop's side played by serve().

#include "automation_bridge.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "vesk_actions/automation.hpp"
#include "vesk_actions/automation_client.hpp"
#include "vesk_ui/widget.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using vesk_ui::Rect;
using vesk_ui::accessibility::Action;
using vesk_ui::accessibility::Node;
using vesk_ui::accessibility::SemanticAction;
using vesk_ui::accessibility::Tree;
using vesk_ui::detail::AutomationBridge;

struct Probe : vesk_ui::Widget {
  void draw(vesk_ui::DrawContext&) override {}
  Tree accessibility() const override {
    const Rect send = Rect::from_xywh(10, 20, 30, 40);
    return {{"window",
             "Probe",
             Rect::from_xywh(0, 0, 100, 80),
             "",
             {{"button", "Send message", send, "probe.send", {}}}},
            {{"control", "Send message", send, "probe.send", {}}}};
  }
  bool perform_semantic_action(std::string_view name, const SemanticAction& action) override {
    calls.emplace_back(std::string(name), action);
    return name == "probe.send" || name == "probe.field";
  }
  vesk_actions::AutomationHost* automation_host() override { return own; }

  std::vector<std::pair<std::string, SemanticAction>> calls;
  vesk_actions::AutomationHost* own = nullptr;
};

// An application host that offers one resource root.
struct OwnHost : vesk_actions::AutomationHost {
  std::vector<vesk_actions::Resource> resource_roots() override {
    return {vesk_actions::Resource(vesk_actions::ActionAddress::decode("probe:"), "Probe")};
  }
  std::optional<vesk_actions::Resource> resolve_resource(std::string_view) override {
    return std::nullopt;
  }
  base::Status perform(const vesk_actions::EncodedAction&) override { return {}; }
  vesk_actions::ControlOutcome run_control(const vesk_actions::ControlInvocation&) override {
    ADD_FAILURE() << "controls go to the widget, not to its host";
    return vesk_actions::ControlOutcome::NotHandled;
  }
  base::Result<vesk_actions::SearchPage> search(std::string_view, std::string_view,
                                                std::size_t) override {
    return vesk_actions::SearchPage{};
  }
  json accessibility_tree() override {
    ADD_FAILURE() << "the tree comes from the frame, not from the host";
    return json();
  }
};

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vesk-bridge-" + std::to_string(getpid()));
    fs::create_directories(dir);
    path = (dir / "automation.sock").string();
    setenv("VESK_AUTOMATION_SOCKET", path.c_str(), 1);
    bridge = AutomationBridge::open("probe", [this] { ++wakes; });
    ASSERT_NE(bridge, nullptr);
    auto fd = vesk_actions::connect_endpoint(path);
    ASSERT_TRUE(fd.ok()) << fd.error();
    client = fd.value();
  }
  void TearDown() override {
    if (client >= 0) close(client);
    bridge.reset();
    unsetenv("VESK_AUTOMATION_SOCKET");
    fs::remove_all(dir);
  }

  // One request, answered by the frame loop's side on this thread.
  json call(const json& request) {
    auto reply =
        std::async(std::launch::async, [&] { return vesk_actions::exchange(client, request, 5s); });
    while (reply.wait_for(1ms) != std::future_status::ready) bridge->serve(probe, probe_tree());
    auto r = reply.get();
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error());
    return r.ok() ? r.value() : json();
  }
  Tree probe_tree() const { return probe.accessibility(); }

  fs::path dir;
  std::string path;
  std::atomic<int> wakes{0};
  std::unique_ptr<AutomationBridge> bridge;
  int client = -1;
  Probe probe;
};

TEST_F(BridgeTest, TreeAndControlsComeFromTheWidget) {
  const json tree = call({{"id", 1}, {"method", "accessibility.tree"}});
  ASSERT_EQ(tree["ok"], true);
  EXPECT_EQ(tree["result"], json::parse(vesk_ui::accessibility::to_json(probe.accessibility())));
  EXPECT_EQ(tree["result"]["synthetic"][0]["name"], "probe.send");

  struct Case {
    json params;
    bool handled;
    Action action;
    std::string text;
  };
  const Case cases[] = {
      {{{"name", "probe.send"}}, true, Action::Activate, ""},
      {{{"name", "probe.field"}, {"text", "hello"}}, true, Action::SetText, "hello"},
      {{{"name", "probe.field"}, {"action", "focus"}}, true, Action::Focus, ""},
      {{{"name", "probe.gone"}}, false, Action::Activate, ""},
  };
  for (const Case& c : cases) {
    probe.calls.clear();
    const json r = call({{"id", 2}, {"method", "controls.run"}, {"params", c.params}});
    EXPECT_EQ(r["ok"], c.handled) << c.params;
    if (!c.handled) {
      EXPECT_EQ(r["error"]["code"], "not-handled");
    }
    ASSERT_EQ(probe.calls.size(), 1u) << c.params;
    EXPECT_EQ(probe.calls[0].first, c.params["name"]);
    EXPECT_EQ(probe.calls[0].second.action, c.action);
    EXPECT_EQ(probe.calls[0].second.text, c.text);
  }
  EXPECT_GT(wakes.load(), 0) << "the sleeping loop was never woken";
}

TEST_F(BridgeTest, ResourcesAndActionsNeedTheWidgetsOwnHost) {
  const json none = call({{"id", 1}, {"method", "resources.list"}});
  EXPECT_EQ(none["result"], json::array());
  const json refused = call(
      {{"id", 2}, {"method", "actions.invoke"}, {"params", {{"address", "x:"}, {"action", "a"}}}});
  EXPECT_EQ(refused["ok"], false);

  OwnHost own;
  probe.own = &own;
  const json listed = call({{"id", 3}, {"method", "resources.list"}});
  ASSERT_EQ(listed["result"].size(), 1u);
  EXPECT_EQ(listed["result"][0]["label"], "Probe");
  // Controls and the tree still come from the widget.
  EXPECT_EQ(
      call({{"id", 4}, {"method", "controls.run"}, {"params", {{"name", "probe.send"}}}})["ok"],
      true);
  EXPECT_EQ(call({{"id", 5}, {"method", "accessibility.tree"}})["result"]["tree"]["label"],
            "Probe");
}

TEST_F(BridgeTest, AControlLetsAFrameInBeforeTheNextRequest) {
  // Pipelined: a control, then the tree. The tree must not be answered
  // from the frame drawn before the control ran.
  const std::string lines = R"({"id":1,"method":"controls.run","params":{"name":"probe.send"}})"
                            "\n"
                            R"({"id":2,"method":"accessibility.tree"})"
                            "\n";
  ASSERT_EQ(send(client, lines.data(), lines.size(), 0), static_cast<ssize_t>(lines.size()));
  for (int i = 0; i < 500 && !bridge->pending(); ++i) std::this_thread::sleep_for(1ms);
  for (int i = 0; i < 500 && wakes.load() < 2; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(bridge->serve(probe, probe_tree())) << "a control ran: draw again";
  EXPECT_TRUE(bridge->pending()) << "the tree waits for that frame";
  EXPECT_FALSE(bridge->serve(probe, probe_tree()));
  EXPECT_FALSE(bridge->pending());
}

TEST(AutomationBridge, StaysOffWithoutASafePlaceOrWhenTaken) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = runtime ? runtime : "";
  unsetenv("VESK_AUTOMATION_SOCKET");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(AutomationBridge::open("probe", [] {}), nullptr) << "no runtime directory";

  const fs::path dir =
      fs::temp_directory_path() / ("vesk-bridge-taken-" + std::to_string(getpid()));
  fs::create_directories(dir);
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  auto first = AutomationBridge::open("probe", [] {});
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->path(), (dir / "probe" / "automation.sock").string());
  EXPECT_EQ(AutomationBridge::open("probe", [] {}), nullptr) << "a live endpoint is not taken over";
  first.reset();
  if (runtime) {
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
  fs::remove_all(dir);
}

}  // namespace
