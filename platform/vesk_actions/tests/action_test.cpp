#include "vesk_actions/action.hpp"

#include <gtest/gtest.h>

#include "vesk_actions/resource.hpp"

namespace vesk_actions {
namespace {

TEST(HumanizeIdentifier, TurnsVariantAndDottedNamesIntoLabels) {
  const std::pair<const char*, const char*> cases[] = {
      {"SetCategoryCollapsed", "Set category collapsed"},
      {"SendMessage", "Send message"},
      {"mark-read", "Mark read"},
      {"audio_only", "Audio only"},
      {"chat.jump-to-latest", "Chat jump to latest"},
      {"HTTPServer", "Http server"},
      {"Version2Update", "Version2 update"},
      {"", ""},
      {"--", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(humanize_identifier(in), out) << in;
}

TEST(EnforceOperationType, AcceptsOnlyTheDeclaredType) {
  EncodedAction op{"app.operation", "{}", OperationType::Effect};
  EXPECT_TRUE(enforce_operation_type(op, OperationType::Effect).ok());
  auto wrong = enforce_operation_type(op, OperationType::View);
  ASSERT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.error(), "operation declared as View was encoded as Effect");
  EncodedAction plain{"app.action", "{}", std::nullopt};
  EXPECT_FALSE(enforce_operation_type(plain, OperationType::View).ok());
  for (auto t : {OperationType::View, OperationType::Effect, OperationType::Inspect}) {
    EXPECT_EQ(operation_type_from_name(operation_type_name(t)), t);
  }
  EXPECT_FALSE(operation_type_from_name("view").has_value());
}

TEST(ActionAddress, EncodesAndDecodesAtTheFirstColon) {
  EXPECT_EQ((ActionAddress{"chat.channel", "c_1"}).encode(), "chat.channel:c_1");
  EXPECT_EQ((ActionAddress{"chat.people", ""}).encode(), "chat.people");
  const auto reaction = ActionAddress::decode("chat.reaction:m_1:👍");
  EXPECT_EQ(reaction.kind, "chat.reaction");
  EXPECT_EQ(reaction.id, "m_1:👍");
  EXPECT_EQ(ActionAddress::decode("chat.people"), (ActionAddress{"chat.people", ""}));
}

TEST(ActionSpec, ParameterRiskAndDestructiveMark) {
  int calls = 0;
  ActionSpec spec("post", "Post message", [&](const ActionArgs& args) {
    ++calls;
    return EncodedAction{"k", args.text("value").value_or("<none>"), std::nullopt};
  });
  spec.with_parameter("Message", "type a message…");
  EXPECT_EQ(spec.encode(ActionArgs{}).payload, "<none>");
  EXPECT_EQ(spec.encode(ActionArgs::with_value("hi")).payload, "hi");
  EXPECT_EQ(calls, 2);
  ASSERT_TRUE(spec.parameter());
  EXPECT_EQ(spec.parameter()->label, "Message");
  EXPECT_FALSE(spec.parameter()->is_default);
  EXPECT_EQ(spec.risk({}), RiskLevel::Low);
  spec.destructive();
  EXPECT_TRUE(spec.is_destructive());
  EXPECT_EQ(spec.risk({}), RiskLevel::High);
  spec.with_risk(
      [](const ActionArgs& a) { return a.empty() ? RiskLevel::Medium : RiskLevel::Low; });
  EXPECT_EQ(spec.risk({}), RiskLevel::Medium);
}

TEST(Resource, KeepsActionsAndChildrenInCallOrder) {
  auto noop = [](const ActionArgs&) { return EncodedAction{}; };
  Resource root({"app.root", "1"}, "Root");
  root.with_action(ActionSpec("b", "B", noop))
      .with_action(ActionSpec("a", "A", noop))
      .with_child(Resource({"app.leaf", "2"}, "Two"))
      .with_child(Resource({"app.leaf", "1"}, "One"));
  ASSERT_EQ(root.actions().size(), 2u);
  EXPECT_EQ(root.actions()[0].name(), "b");
  EXPECT_EQ(root.actions()[1].name(), "a");
  ASSERT_EQ(root.children().size(), 2u);
  EXPECT_EQ(root.children()[0].label(), "Two");
  EXPECT_EQ(root.find_action("a")->label(), "A");
  EXPECT_EQ(root.find_action("c"), nullptr);
}

}  // namespace
}  // namespace vesk_actions
