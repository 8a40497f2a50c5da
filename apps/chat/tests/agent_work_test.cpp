#include "model/agent_work.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/json_forms.hpp"
#include "random_values.hpp"

namespace chat {
namespace {

template <typename T>
void expect_round_trip(const T& value) {
  testing::expect_round_trip(
      value, [](const T& v) { return encode_json(v); },
      [](std::string_view json) { return decode_json<T>(json); });
}

TEST(AgentWorkFormat, RecordsRoundTripWithRandomValues) {
  testing::RandomValues random(99);
  for (int round = 0; round < 200; ++round) {
    expect_round_trip(random.work());
    expect_round_trip(random.transition());
    expect_round_trip(random.step());
    expect_round_trip(random.reasoning());
    expect_round_trip(random.work_state());
    expect_round_trip(random.step_outcome());
    expect_round_trip(random.mention());
    expect_round_trip(random.resource_ref());
    expect_round_trip(random.span());
    expect_round_trip(random.attachment());
    expect_round_trip(random.channel_kind());
  }
}

TEST(AgentWorkFormat, EncodesTaggedInsideTheObjectAndOmitsEmptyParts) {
  struct Case {
    AgentWork work;
    std::string json;
  };
  const Case cases[] = {
      {AgentWork{AgentWorkState::Taken{}, 100, std::nullopt, {}},
       R"({"state":{"state":"taken"},"since":100})"},
      {AgentWork{
           AgentWorkState::Doing{"read", "writing"}, -1, AgentReasoning{AgentRoute::Floor, ""}, {}},
       R"({"state":{"state":"doing","did":"read","about":"writing"},"since":-1,)"
       R"("reasoning":{"route":"floor","why":""}})"},
      {AgentWork{
           AgentWorkState::Refused{},
           0,
           std::nullopt,
           {AgentStep{"s1", 2, "chat.channel:c", "Post", AgentStepOutcome::NoChange{}},
            AgentStep{"s2", 3, "chat.message:m", "Pin", AgentStepOutcome::Refused{"not allowed"}}}},
       R"({"state":{"state":"refused"},"since":0,"trace":[)"
       R"({"id":"s1","sequence":2,"resource":"chat.channel:c","label":"Post",)"
       R"("outcome":{"outcome":"no_change"}},)"
       R"({"id":"s2","sequence":3,"resource":"chat.message:m","label":"Pin",)"
       R"("outcome":{"outcome":"refused","why":"not allowed"}}]})"},
  };
  for (const Case& c : cases) EXPECT_EQ(encode_json(c.work), c.json);
  EXPECT_EQ(encode_json(StoredAgentTransition{AgentWorkState::Waiting{"Mail"}, 12}),
            R"({"state":{"state":"waiting","app":"Mail"},"since":12})");
}

TEST(AgentWorkFormat, DefaultsAndIgnoredMembers) {
  auto step =
      decode_json<AgentStep>(R"({"resource":"r","label":"l","outcome":{"outcome":"applied"}})");
  ASSERT_TRUE(step.ok()) << step.error();
  EXPECT_EQ(*step, (AgentStep{"", 0, "r", "l", AgentStepOutcome::Applied{}}));

  auto done = decode_json<AgentWorkState>(R"({"state":"done","did":"x","about":"dropped"})");
  ASSERT_TRUE(done.ok()) << done.error();
  EXPECT_EQ(*done, AgentWorkState(AgentWorkState::Done{"x"}));
  EXPECT_EQ(encode_json(*done), R"({"state":"done","did":"x"})");

  auto reasoning = decode_json<AgentReasoning>(R"({"route":"model"})");
  ASSERT_TRUE(reasoning.ok()) << reasoning.error();
  EXPECT_EQ(*reasoning, (AgentReasoning{AgentRoute::Model, ""}));

  auto work = decode_json<AgentWork>(R"({"since":3,"state":{"state":"taken"},"reasoning":null})");
  ASSERT_TRUE(work.ok()) << work.error();
  EXPECT_EQ(*work, (AgentWork{AgentWorkState::Taken{}, 3, std::nullopt, {}}));

  auto no_change = decode_json<AgentStepOutcome>(R"({"outcome":"no_change"})");
  ASSERT_TRUE(no_change.ok()) << no_change.error();
  EXPECT_EQ(*no_change, AgentStepOutcome(AgentStepOutcome::NoChange{}));

  // The array form of an internally tagged value leads with its tag.
  auto waiting = decode_json<AgentWorkState>(R"(["waiting","Files"])");
  ASSERT_TRUE(waiting.ok()) << waiting.error();
  EXPECT_EQ(*waiting, AgentWorkState(AgentWorkState::Waiting{"Files"}));
}

// The decoding error for `json`, or empty text when it decodes.
template <typename T>
std::string error_of(const char* json) {
  auto r = decode_json<T>(json);
  return r.ok() ? std::string() : r.error();
}

TEST(AgentWorkFormat, StrictDecodingRefusesAndNamesTheCulprit) {
  struct Case {
    std::string (*decode)(const char*);
    const char* json;
    std::vector<std::string> error_mentions;
  };
  auto* state = &error_of<AgentWorkState>;
  auto* outcome = &error_of<AgentStepOutcome>;
  auto* reasoning = &error_of<AgentReasoning>;
  auto* work = &error_of<AgentWork>;
  auto* step = &error_of<AgentStep>;
  const Case cases[] = {
      {state, R"({"state":"doing","did":"x"})", {"missing member \"about\""}},
      {state, R"({"did":"x"})", {"missing member \"state\""}},
      {state, R"({"state":"Taken"})", {"unknown variant \"Taken\""}},
      {state, R"({"state":7})", {"state", "expected string"}},
      {state, R"({"state":"waiting","app":"a","app":"b"})", {"duplicate member \"app\""}},
      {outcome, R"({"outcome":"refused"})", {"missing member \"why\""}},
      {outcome, R"({"outcome":"nochange"})", {"unknown variant \"nochange\""}},
      {outcome, R"({"outcome":"No_Change"})", {"unknown variant \"No_Change\""}},
      {outcome, R"({"outcome":"NoChange"})", {"unknown variant \"NoChange\""}},
      {reasoning, R"({"route":"guess"})", {"route", "unknown variant \"guess\""}},
      {reasoning, R"({"why":"w"})", {"missing member \"route\""}},
      {work, R"({"state":{"state":"taken"}})", {"missing member \"since\""}},
      {work, R"({"state":{"state":"taken"},"since":1,"trace":{}})", {"trace", "expected array"}},
      {work,
       R"({"state":{"state":"taken"},"since":1,"trace":[{"label":"l","outcome":{"outcome":"asked"}}]})",
       {"trace[0]", "missing member \"resource\""}},
      {step,
       R"({"resource":"r","label":"l","outcome":{"outcome":"asked"},"sequence":-1})",
       {"sequence", "out of range for u64"}},
  };
  for (const Case& c : cases) {
    std::string error = c.decode(c.json);
    ASSERT_FALSE(error.empty()) << c.json << " decoded";
    for (const std::string& part : c.error_mentions) {
      EXPECT_NE(error.find(part), std::string::npos)
          << c.json << ": \"" << error << "\" lacks \"" << part << "\"";
    }
  }
}

AgentStep step(std::string id, std::uint64_t sequence, std::string label = "l") {
  return AgentStep{std::move(id), sequence, "r", std::move(label), AgentStepOutcome::Applied{}};
}

std::vector<std::string> ids(const std::vector<AgentStep>& steps) {
  std::vector<std::string> out;
  for (const AgentStep& s : steps) out.push_back(s.id);
  return out;
}

TEST(AgentWorkRules, TraceOrderIsSequenceThenIdByteWise) {
  std::vector<AgentStep> trace = {step("b", 2), step("a", 2), step("z", 1), step("B", 2),
                                  step("é", 2)};
  sort_trace(trace);
  EXPECT_EQ(ids(trace), (std::vector<std::string>{"z", "B", "a", "b", "é"}));
}

TEST(AgentWorkRules, TraceUpdateWritesOnlyWhatDiffersAndRemovesTheMissing) {
  std::vector<AgentStep> old_trace = {step("s1", 1), step("s2", 2), step("s3", 3)};
  std::vector<AgentStep> new_trace = {step("s4", 0), step("s3", 3, "changed"), step("s1", 1)};
  TraceUpdate update = trace_update(old_trace, new_trace);
  EXPECT_EQ(ids(update.upserts), (std::vector<std::string>{"s4", "s3"}));
  EXPECT_EQ(update.upserts[1].label, "changed");
  EXPECT_EQ(update.removed_ids, (std::vector<std::string>{"s2"}));

  TraceUpdate same = trace_update(old_trace, old_trace);
  EXPECT_TRUE(same.upserts.empty());
  EXPECT_TRUE(same.removed_ids.empty());

  TraceUpdate cleared = trace_update(old_trace, {});
  EXPECT_EQ(cleared.removed_ids, (std::vector<std::string>{"s1", "s2", "s3"}));
}

TEST(AgentWorkRules, LegacyStepsGetAnIdFromTheirKey) {
  EXPECT_EQ(legacy_step_id("7"), "legacy_step_7");
}

}  // namespace
}  // namespace chat
