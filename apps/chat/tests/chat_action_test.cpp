#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/chat_action_format.hpp"
#include "random_values.hpp"

namespace chat {
namespace {

using testing::RandomValues;

TEST(ChatActionFormat, EveryVariantRoundTripsWithRandomValues) {
  RandomValues random(20260611);
  for (std::size_t index = 0; index < ChatAction::kVariantCount; ++index) {
    for (int round = 0; round < 60; ++round) {
      ChatAction action = random.action(index);
      ASSERT_EQ(action.index(), index);
      SCOPED_TRACE(chat_action_name(index));
      testing::expect_round_trip(action, encode_chat_action, decode_chat_action);
    }
  }
}

TEST(ChatActionFormat, VariantNamesFollowTheFixedOrder) {
  const std::vector<std::string> expected = {
      "SendMessage",    "EditMessage",          "DeleteMessage",
      "AddReaction",    "RemoveReaction",       "PinMessage",
      "CreateChannel",  "CreateCategory",       "RenameCategory",
      "DeleteCategory", "SetCategoryCollapsed", "ReorderChannel",
      "RenameChannel",  "DeleteChannel",        "ArchiveChannel",
      "MarkRead",       "SetAgentWork",         "JoinCall",
      "LeaveCall",      "SetCallState",         "SetScreenShare",
      "SetCallTicket"};
  ASSERT_EQ(ChatAction::kVariantCount, expected.size());
  RandomValues random(7);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(chat_action_name(i), expected[i]);
    // The encoded form is tagged with the same name.
    std::string json = encode_chat_action(random.action(i));
    EXPECT_TRUE(json.starts_with("{\"" + expected[i] + "\":")) << json;
  }
  EXPECT_EQ(chat_action_name(expected.size()), "");
}

TEST(ChatActionFormat, EncodesCompactlyWithEveryMemberInOrder) {
  struct Case {
    ChatAction action;
    std::string json;
  };
  using A = ChatAction;
  const Case cases[] = {
      {A::SendMessage{"c_1", "m_1", "u_1", 5, "hi", std::nullopt, std::nullopt, {}, std::nullopt},
       R"({"SendMessage":{"channel":"c_1","id":"m_1","author":"u_1","ts":5,"text":"hi",)"
       R"("parent":null,"attachment":null,"mentions":[],"reference":null}})"},
      {A::SendMessage{"c",
                      "m",
                      "u",
                      -1,
                      "@Ana \u2764\ufe0f",
                      "m_0",
                      Attachment::File{"a.txt", "ab", 3},
                      {Mention{"u_a", 0, 4, true}},
                      ResourceRef{"chat.message", "m_0", "root", Span{1, 2, SpanUnit::Chars}}},
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":-1,"text":"@Ana ❤️",)"
       R"("parent":"m_0","attachment":{"File":{"name":"a.txt","blob":"ab","size":3}},)"
       R"("mentions":[{"user":"u_a","start":0,"len":4,"is_agent":true}],)"
       R"("reference":{"kind":"chat.message","id":"m_0","label":"root",)"
       R"("span":{"start":1,"end":2,"unit":"Chars"}}}})"},
      {A::CreateChannel{"ws", "cat", "c_2", "voice room", ChannelKind::Voice},
       R"({"CreateChannel":{"workspace":"ws","category":"cat","id":"c_2","name":"voice room",)"
       R"("kind":"Voice"}})"},
      {A::SetCallState{"c", "u", true, false, true, false},
       R"({"SetCallState":{"channel":"c","user":"u","talking":true,"muted":false,)"
       R"("deafened":true,"audio_only":false}})"},
      {A::SetAgentWork{"c", "m", AgentWork{AgentWorkState::Taken{}, 9, std::nullopt, {}},
                       std::nullopt},
       R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"state":{"state":"taken"},"since":9},)"
       R"("say":null}})"},
      {A::MarkRead{"c", "u", -3}, R"({"MarkRead":{"channel":"c","user":"u","count":-3}})"},
      {A::EditMessage{"c", "m", "line\n\"q\"\t\x01", 1},
       R"({"EditMessage":{"channel":"c","id":"m","text":"line\n\"q\"\t\u0001","ts":1}})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encode_chat_action(c.action), c.json);
  }
}

TEST(ChatActionFormat, IllFormedUtf8IsReplacedSoEncodingCannotFail) {
  // File names come from the file system and need not be UTF-8.
  ChatAction action = ChatAction::SendMessage{
      "c", "m",         "u", 0, "ok", std::nullopt, Attachment::File{"bad\xff\xfe.txt", "b", 1},
      {},  std::nullopt};
  std::string json = encode_chat_action(action);
  EXPECT_NE(json.find("bad\xef\xbf\xbd"), std::string::npos) << json;
  auto decoded = decode_chat_action(json);
  ASSERT_TRUE(decoded.ok()) << decoded.error();
  EXPECT_EQ(decoded->get_if<ChatAction::SendMessage>()->attachment->name().substr(0, 3), "bad");
}

TEST(ChatActionFormat, MissingOptionalAndDefaultMembersReadAsAbsent) {
  auto decoded = decode_chat_action(
      R"({"SendMessage":{"text":"t","ts":4,"author":"u","id":"m","channel":"c"}})");
  ASSERT_TRUE(decoded.ok()) << decoded.error();
  const auto* m = decoded->get_if<ChatAction::SendMessage>();
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(m->parent);
  EXPECT_FALSE(m->attachment);
  EXPECT_TRUE(m->mentions.empty());
  EXPECT_FALSE(m->reference);
  // Encoding again writes all nine members.
  EXPECT_EQ(encode_chat_action(*decoded),
            R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":4,"text":"t",)"
            R"("parent":null,"attachment":null,"mentions":[],"reference":null}})");
}

TEST(ChatActionFormat, ReadsTheArrayFormOfARecord) {
  struct Case {
    const char* json;
    ChatAction expected;
  };
  using A = ChatAction;
  const Case cases[] = {
      {R"({"DeleteMessage":["c","m"]})", A::DeleteMessage{"c", "m"}},
      {R"({"SetCallState":["c","u",false,true,false,true]})",
       A::SetCallState{"c", "u", false, true, false, true}},
      // Trailing defaulted members may be left out; optional ones given as null.
      {R"({"SendMessage":["c","m","u",1,"t",null,null]})",
       A::SendMessage{"c", "m", "u", 1, "t", std::nullopt, std::nullopt, {}, std::nullopt}},
      {R"({"SendMessage":["c","m","u",1,"t","p",{"Image":["n","b",2,3]},[["u2",0,3,false]]]})",
       A::SendMessage{"c",
                      "m",
                      "u",
                      1,
                      "t",
                      "p",
                      Attachment::Image{"n", "b", 2, 3},
                      {Mention{"u2", 0, 3, false}},
                      std::nullopt}},
      {R"({"SetAgentWork":["c","m",[["doing","did","about"],7],"hey"]})",
       A::SetAgentWork{"c", "m", AgentWork{AgentWorkState::Doing{"did", "about"}, 7, {}, {}},
                       "hey"}},
  };
  for (const Case& c : cases) {
    auto decoded = decode_chat_action(c.json);
    ASSERT_TRUE(decoded.ok()) << c.json << ": " << decoded.error();
    EXPECT_EQ(*decoded, c.expected) << c.json;
  }
}

TEST(ChatActionFormat, UnknownMembersAreIgnoredAndVanishOnReencoding) {
  auto decoded = decode_chat_action(
      R"({"DeleteMessage":{"channel":"c","future":{"deep":[1,2,{"x":null}]},"id":"m"}})");
  ASSERT_TRUE(decoded.ok()) << decoded.error();
  EXPECT_EQ(encode_chat_action(*decoded), R"({"DeleteMessage":{"channel":"c","id":"m"}})");
}

TEST(ChatActionFormat, KeepsNegativeTimesAndCountsAndIntegerEdges) {
  auto a =
      decode_chat_action(R"({"MarkRead":{"channel":"c","user":"u","count":-9223372036854775808}})");
  ASSERT_TRUE(a.ok()) << a.error();
  EXPECT_EQ(a->get_if<ChatAction::MarkRead>()->count, INT64_MIN);
  auto b = decode_chat_action(R"({"EditMessage":{"channel":"c","id":"m","text":"t","ts":-5}})");
  ASSERT_TRUE(b.ok()) << b.error();
  EXPECT_EQ(b->get_if<ChatAction::EditMessage>()->ts, -5);
  auto c =
      decode_chat_action(R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
                         R"("attachment":{"Video":{"name":"v","blob":"b","w":4294967295,"h":0,)"
                         R"("size":18446744073709551615}}}})");
  ASSERT_TRUE(c.ok()) << c.error();
  const auto* video = c->get_if<ChatAction::SendMessage>()->attachment->get_if<Attachment::Video>();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->w, UINT32_MAX);
  EXPECT_EQ(video->size, UINT64_MAX);
}

// Each bad input must fail, and the error must name what is at fault.
TEST(ChatActionFormat, StrictDecodingRefusesAndNamesTheCulprit) {
  struct Case {
    const char* why;
    const char* json;
    std::vector<std::string> error_mentions;
  };
  const Case cases[] = {
      {"missing required member",
       R"({"DeleteMessage":{"channel":"c"}})",
       {"DeleteMessage", "missing member \"id\""}},
      {"duplicate member",
       R"({"DeleteMessage":{"channel":"c","id":"m","id":"n"}})",
       {"duplicate member \"id\""}},
      {"duplicate nested member",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("mentions":[{"user":"a","start":0,"len":1,"is_agent":false,"len":2}]}})",
       {"duplicate member \"len\"", "mentions[0]"}},
      {"duplicate variant key",
       R"({"DeleteMessage":{"channel":"c","id":"m"},"DeleteMessage":{}})",
       {"duplicate member \"DeleteMessage\""}},
      {"unknown variant", R"({"Nope":{"id":"m"}})", {"unknown variant \"Nope\""}},
      {"variant name is case-sensitive",
       R"({"deleteMessage":{"channel":"c","id":"m"}})",
       {"unknown variant \"deleteMessage\""}},
      {"two variants at once",
       R"({"DeleteChannel":{"id":"c"},"DeleteCategory":{"id":"k"}})",
       {"exactly one member"}},
      {"empty object", R"({})", {"exactly one member"}},
      {"string for a variant with members", R"("DeleteMessage")", {"DeleteMessage"}},
      {"text given as number", R"({"DeleteChannel":{"id":5}})", {"id", "expected string"}},
      {"bool given as string",
       R"({"PinMessage":{"channel":"c","msg":"m","pinned":"true"}})",
       {"pinned", "expected bool"}},
      {"i64 given as float",
       R"({"EditMessage":{"channel":"c","id":"m","text":"t","ts":1.5}})",
       {"ts", "i64"}},
      {"i64 above range",
       R"({"MarkRead":{"channel":"c","user":"u","count":9223372036854775808}})",
       {"count", "out of range for i64"}},
      {"i64 below range",
       R"({"MarkRead":{"channel":"c","user":"u","count":-9223372036854775809}})",
       {"count", "out of range for i64"}},
      {"u32 above range",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("attachment":{"Image":{"name":"n","blob":"b","w":4294967296,"h":1}}}})",
       {"attachment.Image.w", "out of range for u32"}},
      {"u64 negative",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("attachment":{"File":{"name":"n","blob":"b","size":-1}}}})",
       {"size", "out of range for u64"}},
      {"u64 beyond 64 bits",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("mentions":[{"user":"a","start":18446744073709551616,"len":1,"is_agent":false}]}})",
       {"mentions[0].start", "out of range for u64"}},
      {"negative mention length",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("mentions":[{"user":"a","start":0,"len":-2,"is_agent":false}]}})",
       {"len", "u64"}},
      {"lower-case channel kind",
       R"({"CreateChannel":{"workspace":"w","category":"k","id":"c","name":"n","kind":"voice"}})",
       {"kind", "unknown variant \"voice\""}},
      {"mentions not a list",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t","mentions":{}}})",
       {"mentions", "expected array"}},
      {"null for a required member",
       R"({"DeleteChannel":{"id":null}})",
       {"id", "expected string, found null"}},
      {"array form too short", R"({"DeleteMessage":["c"]})", {"missing value for member \"id\""}},
      {"array form missing an optional that has no default",
       R"({"SendMessage":["c","m","u",1,"t"]})",
       {"parent"}},
      {"array form too long", R"({"DeleteMessage":["c","m","x"]})", {"at most 2 values"}},
      {"span unit unknown",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("reference":{"kind":"k","id":"i","label":"l","span":{"start":0,"end":1,"unit":"chars"}}}})",
       {"reference.span.unit", "unknown variant \"chars\""}},
      {"resource ref missing label",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("reference":{"kind":"k","id":"i"}}})",
       {"reference", "missing member \"label\""}},
      {"unknown attachment variant",
       R"({"SendMessage":{"channel":"c","id":"m","author":"u","ts":0,"text":"t",)"
       R"("attachment":{"Audio":{"name":"n","blob":"b","size":1}}}})",
       {"unknown variant \"Audio\""}},
      {"bad agent state inside SetAgentWork",
       R"({"SetAgentWork":{"channel":"c","msg":"m","work":{"state":{"state":"Doing"},"since":1}}})",
       {"work.state", "unknown variant \"Doing\""}},
      {"not JSON", R"({"DeleteMessage":)", {"parse error"}},
      {"trailing garbage", R"({"DeleteChannel":{"id":"c"}} x)", {"parse error"}},
      {"invalid UTF-8 in a string", "{\"DeleteChannel\":{\"id\":\"\xff\"}}", {"UTF-8"}},
      {"top-level array", R"([1,2])", {"ChatAction", "expected object or string"}},
  };
  for (const Case& c : cases) {
    auto decoded = decode_chat_action(c.json);
    ASSERT_FALSE(decoded.ok()) << c.why;
    for (const std::string& part : c.error_mentions) {
      EXPECT_NE(decoded.error().find(part), std::string::npos)
          << c.why << ": error \"" << decoded.error() << "\" lacks \"" << part << "\"";
    }
  }
}

TEST(ChatActionFormat, SetCallStateNeedsEachOfItsSixMembers) {
  const char* members[] = {"channel", "user", "talking", "muted", "deafened", "audio_only"};
  const char* values[] = {"\"c\"", "\"u\"", "true", "false", "true", "false"};
  for (std::size_t skip = 0; skip < 6; ++skip) {
    std::string json = "{\"SetCallState\":{";
    bool first = true;
    for (std::size_t i = 0; i < 6; ++i) {
      if (i == skip) continue;
      if (!first) json += ",";
      first = false;
      json += "\"" + std::string(members[i]) + "\":" + values[i];
    }
    json += "}}";
    auto decoded = decode_chat_action(json);
    ASSERT_FALSE(decoded.ok()) << json;
    EXPECT_NE(decoded.error().find("\"" + std::string(members[skip]) + "\""), std::string::npos)
        << decoded.error();
  }
}

}  // namespace
}  // namespace chat
