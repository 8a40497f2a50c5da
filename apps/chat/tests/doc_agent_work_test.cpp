// Agent work on a message: the current map form, the older forms other writers
// left (JSON string, "state" map, map reasoning, outcome names, eight-digit
// step keys), and a writer that changes only what differs.

#include <gtest/gtest.h>

#include "doc/agent_work_store.hpp"
#include "doc_test_support.hpp"
#include "random_values.hpp"

namespace chat::doc {
namespace {

const ObjId kRoot = ObjId::root();

class AgentWorkStore : public ::testing::Test {
 protected:
  AgentWorkStore() : message(*d.put_object(kRoot, "m", crdt::ObjType::Map)) {}

  ObjId work_map() { return *ensure_map(d, message, key::kWork); }
  ObjId step(std::string_view step_key) {
    return *ensure_map(d, *ensure_map(d, work_map(), key::kTrace), step_key);
  }
  void put(ObjId obj, std::string_view k, crdt::Scalar v) { ASSERT_TRUE(d.put(obj, k, v).ok()); }

  crdt::Document d{testing::actor(3)};
  ObjId message;
};

TEST_F(AgentWorkStore, OlderStateMapForEveryKind) {
  struct Row {
    std::string kind;
    std::optional<AgentWorkState> state;
  };
  const Row rows[] = {
      {"taken", AgentWorkState::Taken{}},
      {"waiting", AgentWorkState::Waiting{"Files"}},
      {"doing", AgentWorkState::Doing{"read", "write"}},
      {"done", AgentWorkState::Done{"read"}},
      {"refused", AgentWorkState::Refused{}},
      {"Taken", std::nullopt},
      {"", std::nullopt},
  };
  for (const Row& row : rows) {
    ObjId work = *d.put_object(message, key::kWork, crdt::ObjType::Map);
    ObjId state = *d.put_object(work, key::kState, crdt::ObjType::Map);
    put(state, key::kKind, row.kind);
    put(state, key::kApp, std::string("Files"));
    put(state, key::kDid, std::string("read"));
    put(state, key::kAbout, std::string("write"));
    put(work, key::kSince, std::int64_t{42});
    auto read = read_agent_work(d, message);
    ASSERT_EQ(read.has_value(), row.state.has_value()) << row.kind;
    if (read) {
      EXPECT_EQ(read->state, *row.state) << row.kind;
      EXPECT_EQ(read->since, 42);
    }
  }
}

TEST_F(AgentWorkStore, TransitionWinsAndBrokenTransitionFallsBack) {
  ObjId work = work_map();
  ObjId state = *ensure_map(d, work, key::kState);
  put(state, key::kKind, std::string("taken"));
  put(work, key::kSince, std::int64_t{1});
  put(work, key::kTransition, std::string(R"({"state":{"state":"done","did":"x"},"since":9})"));
  EXPECT_EQ(read_agent_work(d, message)->state, AgentWorkState(AgentWorkState::Done{"x"}));
  EXPECT_EQ(read_agent_work(d, message)->since, 9);

  put(work, key::kTransition, std::string("{broken"));
  EXPECT_EQ(read_agent_work(d, message)->state, AgentWorkState(AgentWorkState::Taken{}));
  EXPECT_EQ(read_agent_work(d, message)->since, 1);

  ASSERT_TRUE(d.delete_key(work, key::kState).ok());
  EXPECT_FALSE(read_agent_work(d, message).has_value());
}

TEST_F(AgentWorkStore, ReasoningForms) {
  ObjId work = work_map();
  put(work, key::kTransition, std::string(R"({"state":{"state":"taken"},"since":1})"));
  auto reasoning = [&] { return read_agent_work(d, message)->reasoning; };
  EXPECT_FALSE(reasoning().has_value());

  put(work, key::kReasoning, std::string(R"({"route":"model","why":"w"})"));
  EXPECT_EQ(reasoning(), (AgentReasoning{AgentRoute::Model, "w"}));
  put(work, key::kReasoning, std::string(R"({"route":"other"})"));
  EXPECT_FALSE(reasoning().has_value());

  ObjId old = *d.put_object(work, key::kReasoning, crdt::ObjType::Map);
  put(old, key::kRoute, std::string("floor"));
  put(old, key::kWhy, std::string("cheap"));
  EXPECT_FALSE(reasoning().has_value()) << "an older map counts only when present";
  put(old, key::kPresent, true);
  EXPECT_EQ(reasoning(), (AgentReasoning{AgentRoute::Floor, "cheap"}));
  put(old, key::kRoute, std::string("Floor"));
  EXPECT_FALSE(reasoning().has_value());
}

TEST_F(AgentWorkStore, TraceFormsAndOrder) {
  put(work_map(), key::kTransition, std::string(R"({"state":{"state":"taken"},"since":1})"));
  auto add = [&](std::string_view k, std::int64_t seq, crdt::Scalar outcome, bool present = true) {
    ObjId s = step(k);
    put(s, key::kPresent, present);
    put(s, key::kSequence, seq);
    put(s, key::kResource, std::string("chat.channel:c"));
    put(s, key::kLabel, std::string(k));
    put(s, key::kOutcome, outcome);
  };
  add("12345678", 2, std::string("asked"));
  add("b", 1, std::string(R"({"outcome":"refused","why":"no"})"));
  add("a", 1, std::string("applied"));
  add("c", -5, std::string("no_change"));
  add("d", 3, std::string("refused"));
  put(step("d"), key::kWhy, std::string("old reason"));
  add("1234567", 4, std::string("applied"));
  add("gone", 0, std::string("applied"), false);
  add("weird", 0, std::string("maybe"));
  add("typed", 0, std::int64_t{1});

  std::vector<AgentStep> trace = read_agent_work(d, message)->trace;
  auto r = [](std::string id, std::uint64_t seq, std::string label, AgentStepOutcome o) {
    return AgentStep{std::move(id), seq, "chat.channel:c", std::move(label), std::move(o)};
  };
  EXPECT_EQ(trace, (std::vector<AgentStep>{
                       r("c", 0, "c", AgentStepOutcome::NoChange{}),
                       r("a", 1, "a", AgentStepOutcome::Applied{}),
                       r("b", 1, "b", AgentStepOutcome::Refused{"no"}),
                       r("legacy_step_12345678", 2, "12345678", AgentStepOutcome::Asked{}),
                       r("d", 3, "d", AgentStepOutcome::Refused{"old reason"}),
                       r("1234567", 4, "1234567", AgentStepOutcome::Applied{}),
                   }));
}

TEST_F(AgentWorkStore, JsonStringOfAnOlderWriter) {
  put(message, key::kWork,
      std::string(R"({"state":{"state":"waiting","app":"Mail"},"since":5,)"
                  R"("trace":[{"id":"z","sequence":1,"resource":"r","label":"l",)"
                  R"("outcome":{"outcome":"asked"}},{"id":"y","sequence":1,"resource":"r",)"
                  R"("label":"l","outcome":{"outcome":"applied"}}]})"));
  auto work = read_agent_work(d, message);
  ASSERT_TRUE(work.has_value());
  EXPECT_EQ(work->state, AgentWorkState(AgentWorkState::Waiting{"Mail"}));
  ASSERT_EQ(work->trace.size(), 2u);
  EXPECT_EQ(work->trace[0].id, "y");

  put(message, key::kWork, std::string("{\"state\":"));
  EXPECT_FALSE(read_agent_work(d, message).has_value());
  put(message, key::kWork, std::string(""));
  EXPECT_FALSE(read_agent_work(d, message).has_value());

  // Writing over the string form replaces it with a complete map.
  AgentWork fresh{AgentWorkState::Taken{}, 8, std::nullopt, {}};
  write_agent_work(d, message, fresh);
  EXPECT_TRUE(get_map(d, message, key::kWork).has_value());
  EXPECT_EQ(read_agent_work(d, message), fresh);
}

AgentStep step_of(std::string id, std::uint64_t seq, AgentStepOutcome outcome,
                  std::string label = "label") {
  return AgentStep{std::move(id), seq, "chat.message:m", std::move(label), std::move(outcome)};
}

TEST_F(AgentWorkStore, WriterMarksLeftOutAndLegacyStepsAbsent) {
  put(work_map(), key::kTransition, std::string(R"({"state":{"state":"taken"},"since":1})"));
  ObjId legacy = step("00000001");
  put(legacy, key::kPresent, true);
  put(legacy, key::kOutcome, std::string("applied"));
  ASSERT_EQ(read_agent_work(d, message)->trace.size(), 1u);

  AgentWork first{
      AgentWorkState::Doing{"a", "b"},
      10,
      AgentReasoning{AgentRoute::Model, "why"},
      {step_of("s1", 1, AgentStepOutcome::Asked{}), step_of("s2", 2, AgentStepOutcome::Applied{})}};
  write_agent_work(d, message, first);
  EXPECT_EQ(read_agent_work(d, message), first);
  EXPECT_EQ(get_bool(d, legacy, key::kPresent), false);

  AgentWork second{AgentWorkState::Done{"all"},
                   11,
                   std::nullopt,
                   {step_of("s2", 2, AgentStepOutcome::Refused{"late"}, "relabelled"),
                    step_of("s3", 0, AgentStepOutcome::NoChange{})}};
  write_agent_work(d, message, second);
  AgentWork expected = second;
  sort_trace(expected.trace);
  EXPECT_EQ(read_agent_work(d, message), expected);
  EXPECT_FALSE(get_str(d, work_map(), key::kReasoning).has_value());
}

TEST_F(AgentWorkStore, WritingTheSameWorkAgainRecordsNothing) {
  AgentWork work{AgentWorkState::Waiting{"Files"},
                 3,
                 AgentReasoning{AgentRoute::Floor, ""},
                 {step_of("a", 2, AgentStepOutcome::Applied{}),
                  step_of("b", 1, AgentStepOutcome::Refused{"x"})}};
  write_agent_work(d, message, work);
  d.commit();
  write_agent_work(d, message, work);
  EXPECT_EQ(d.pending_ops(), 0u);
}

TEST(AgentWorkStorable, DropsIdlessStepsAndKeepsTheLastOfEachId) {
  std::vector<AgentStep> trace{
      step_of("", 0, AgentStepOutcome::Asked{}), step_of("x", 5, AgentStepOutcome::Asked{}),
      step_of("x", 1, AgentStepOutcome::Applied{}), step_of("w", 1, AgentStepOutcome::Applied{})};
  EXPECT_EQ(storable_trace(trace), (std::vector<AgentStep>{
                                       step_of("w", 1, AgentStepOutcome::Applied{}),
                                       step_of("x", 1, AgentStepOutcome::Applied{}),
                                   }));
}

// Any sequence of records written one after another reads back as the last.
TEST(AgentWorkRoundTrip, RandomUpdatesReadBackExactly) {
  auto values = chat::testing::RandomValues::with_few_texts(7);
  auto pick = [&](int n) { return static_cast<int>(values.below(static_cast<std::size_t>(n))); };
  crdt::Document d(testing::actor(9));
  ObjId message = *d.put_object(ObjId::root(), "m", crdt::ObjType::Map);
  for (int round = 0; round < 200; ++round) {
    AgentWork work;
    work.state = values.work_state();
    work.since = pick(3);
    if (pick(2)) work.reasoning = values.reasoning();
    for (int s = pick(5); s > 0; --s) {
      work.trace.push_back(step_of("s" + std::to_string(pick(6)),
                                   static_cast<std::uint64_t>(pick(4)), values.step_outcome(),
                                   "l" + std::to_string(pick(2))));
    }
    write_agent_work(d, message, work);
    AgentWork expected = work;
    expected.trace = storable_trace(work.trace);
    ASSERT_EQ(read_agent_work(d, message), expected) << "round " << round;
    d.commit();
    write_agent_work(d, message, work);
    ASSERT_EQ(d.pending_ops(), 0u) << "round " << round;
  }
}

}  // namespace
}  // namespace chat::doc
