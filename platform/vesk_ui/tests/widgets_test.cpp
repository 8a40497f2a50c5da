#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "vesk_ui/accessibility.hpp"
#include "vesk_ui/capture.hpp"
#include "vesk_ui/icons.hpp"
#include "vesk_ui/tooltip.hpp"

namespace {

using namespace std::chrono_literals;
using vesk_ui::Rect;
using vesk_ui::TooltipCandidate;
using vesk_ui::TooltipHost;

TEST(TooltipHost, ShowsAfterTheDelayAndHidesAtOnce) {
  const vesk_ui::Instant t0{};
  TooltipHost host(600ms);
  const TooltipCandidate send{"Send message", Rect::from_xywh(10, 10, 40, 30)};
  EXPECT_FALSE(host.on_pointer(send, t0));
  EXPECT_TRUE(host.is_pending());
  EXPECT_FALSE(host.tick(t0 + 599ms));
  EXPECT_FALSE(host.shown());
  EXPECT_FALSE(host.on_pointer(send, t0 + 500ms)) << "resting on the same candidate";
  EXPECT_TRUE(host.tick(t0 + 600ms));
  ASSERT_TRUE(host.shown());
  EXPECT_EQ(host.shown()->label, "Send message");
  EXPECT_FALSE(host.is_pending());
  EXPECT_TRUE(host.on_pointer(std::nullopt, t0 + 700ms)) << "hiding changes what is shown";
  EXPECT_FALSE(host.shown());
  // Moving to another candidate restarts the delay.
  host.on_pointer(send, t0 + 1s);
  host.on_pointer(TooltipCandidate{"Attach a workspace file", {}}, t0 + 1s + 500ms);
  EXPECT_FALSE(host.tick(t0 + 1s + 700ms));
  EXPECT_TRUE(host.tick(t0 + 2s + 100ms));
  EXPECT_EQ(host.shown()->label, "Attach a workspace file");
}

TEST(Tooltip, BubbleStaysInsideTheWindow) {
  const Rect window = Rect::from_xywh(0, 0, 400, 300);
  const Rect targets[] = {Rect::from_xywh(180, 100, 40, 30), Rect::from_xywh(0, 0, 10, 10),
                          Rect::from_xywh(390, 280, 10, 20)};
  for (const Rect& t : targets) {
    const Rect b = vesk_ui::tooltip::bubble_rect(nullptr, {"Show people or thread", t}, window);
    EXPECT_GE(b.x0, 0);
    EXPECT_LE(b.x1, 400);
    EXPECT_GE(b.y0, 0);
    EXPECT_LE(b.y1, 300);
    EXPECT_FALSE(b.intersects(t)) << "never covers what it explains";
  }
}

TEST(Accessibility, JsonTreeWithSyntheticNodes) {
  vesk_ui::accessibility::Node root{"window", "Chat", Rect::from_xywh(0, 0, 800, 600), "", {}};
  root.children.push_back({"message-list", "Messages", Rect::from_xywh(200, 50, 600, 500), "", {}});
  const auto synthetic = vesk_ui::accessibility::synthetic_nodes(
      {{Rect::from_xywh(700, 560, 44, 30), "chat.send", "Send message"},
       {Rect::from_xywh(0, 0, 10, 10), "chat.control:Dismiss", ""},
       {Rect::from_xywh(0, 0, 1, 1), "x", "bad \xff label"}});
  const auto j = nlohmann::json::parse(vesk_ui::accessibility::to_json(root, synthetic));
  EXPECT_EQ(j["tree"]["label"], "Chat");
  EXPECT_EQ(j["tree"]["children"][0]["role"], "message-list");
  EXPECT_EQ(j["tree"]["rect"], nlohmann::json({0, 0, 800, 600}));
  ASSERT_EQ(j["synthetic"].size(), 3u);
  EXPECT_EQ(j["synthetic"][0]["name"], "chat.send");
  EXPECT_EQ(j["synthetic"][0]["label"], "Send message");
  EXPECT_EQ(j["synthetic"][1]["label"], vesk_ui::accessibility::kDefaultLabel);
  EXPECT_EQ(j["synthetic"][2]["label"], "bad \xEF\xBF\xBD label");
  EXPECT_EQ(vesk_ui::accessibility::parse_action("activate"),
            vesk_ui::accessibility::Action::Activate);
  EXPECT_EQ(vesk_ui::accessibility::parse_action("Activate"), std::nullopt);
}

TEST(Icons, KnownCodesHaveGlyphs) {
  for (std::uint16_t code : {15, 16, 18, 36, 49, 55, 78}) {
    EXPECT_FALSE(vesk_ui::icons::glyph(code).empty()) << code;
  }
  EXPECT_TRUE(vesk_ui::icons::glyph(0).empty());
  EXPECT_TRUE(vesk_ui::icons::glyph(9999).empty());
}

// With no session bus at all, the request answers an error promptly.
TEST(Capture, AnswersAnErrorPromptlyWithoutAPortal) {
  const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vesk-test-bus", 1);
  const auto start = std::chrono::steady_clock::now();
  auto capture = vesk_ui::capture::request_screen_capture();
  auto answer = capture.wait(5000);
  if (saved != nullptr) {
    setenv("DBUS_SESSION_BUS_ADDRESS", keep.c_str(), 1);
  } else {
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  ASSERT_TRUE(answer.has_value());
  ASSERT_FALSE(answer->ok());
  EXPECT_NE(answer->error().find("bus"), std::string::npos) << answer->error();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_FALSE(capture.try_take()) << "the answer is handed over once";
}

}  // namespace
