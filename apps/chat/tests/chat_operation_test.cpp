#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/chat_action_format.hpp"
#include "random_values.hpp"

namespace chat {
namespace {

TEST(ChatOperationFormat, EveryVariantRoundTripsWithRandomValues) {
  testing::RandomValues random(424242);
  for (std::size_t index = 0; index < ChatOperation::kVariantCount; ++index) {
    for (int round = 0; round < 80; ++round) {
      ChatOperation op = random.operation(index);
      ASSERT_EQ(op.index(), index);
      testing::expect_round_trip(op, encode_chat_operation, decode_chat_operation);
    }
  }
}

TEST(ChatOperationFormat, NamesOrderAndEffectKind) {
  const std::vector<std::string> expected = {"OpenWorkspace", "OpenChannel", "OpenCategory",
                                             "RevealMessage", "OpenPerson",  "ImportAttachment"};
  ASSERT_EQ(ChatOperation::kVariantCount, expected.size());
  testing::RandomValues random(3);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(chat_operation_name(i), expected[i]);
    ChatOperation op = random.operation(i);
    EXPECT_EQ(op.is_effect(), expected[i] == "ImportAttachment");
  }
}

TEST(ChatOperationFormat, EncodesEveryMemberInOrder) {
  EXPECT_EQ(encode_chat_operation(ChatOperation::RevealMessage{"w", "c", "m", std::nullopt}),
            R"({"RevealMessage":{"workspace":"w","channel":"c","message":"m","parent":null}})");
  EXPECT_EQ(encode_chat_operation(ChatOperation::ImportAttachment{"c", "/tmp/ä b.png"}),
            R"({"ImportAttachment":{"channel":"c","path":"/tmp/ä b.png"}})");
}

TEST(ChatOperationFormat, DecodesLooseButValidForms) {
  struct Case {
    const char* json;
    ChatOperation expected;
  };
  const Case cases[] = {
      {R"({"RevealMessage":{"message":"m","channel":"c","workspace":"w"}})",
       ChatOperation::RevealMessage{"w", "c", "m", std::nullopt}},
      {R"({"RevealMessage":["w","c","m","root"]})",
       ChatOperation::RevealMessage{"w", "c", "m", "root"}},
      {R"({"OpenPerson":{"user":"u_1","extra":true}})", ChatOperation::OpenPerson{"u_1"}},
  };
  for (const Case& c : cases) {
    auto decoded = decode_chat_operation(c.json);
    ASSERT_TRUE(decoded.ok()) << c.json << ": " << decoded.error();
    EXPECT_EQ(*decoded, c.expected);
  }
}

TEST(ChatOperationFormat, StrictDecodingRefusesAndNamesTheCulprit) {
  struct Case {
    const char* json;
    std::vector<std::string> error_mentions;
  };
  const Case cases[] = {
      {R"({"OpenChannel":{"workspace":"w"}})", {"OpenChannel", "missing member \"channel\""}},
      {R"({"OpenChannel":{"workspace":"w","channel":"c","workspace":"x"}})",
       {"duplicate member \"workspace\""}},
      {R"({"OpenThread":{"workspace":"w"}})", {"unknown variant \"OpenThread\""}},
      {R"({"ImportAttachment":{"channel":"c","path":[]}})", {"path", "expected string"}},
      {R"({"RevealMessage":["w","c"]})", {"missing value for member \"message\""}},
      {R"({"RevealMessage":["w","c","m"]})", {"missing value for member \"parent\""}},
  };
  for (const Case& c : cases) {
    auto decoded = decode_chat_operation(c.json);
    ASSERT_FALSE(decoded.ok()) << c.json;
    for (const std::string& part : c.error_mentions) {
      EXPECT_NE(decoded.error().find(part), std::string::npos)
          << c.json << ": \"" << decoded.error() << "\" lacks \"" << part << "\"";
    }
  }
}

}  // namespace
}  // namespace chat
