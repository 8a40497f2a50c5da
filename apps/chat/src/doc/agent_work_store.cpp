#include "doc/agent_work_store.hpp"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "doc/access.hpp"
#include "doc/schema.hpp"
#include "model/json_forms.hpp"

namespace chat::doc {
namespace {

bool is_legacy_step_key(std::string_view step_key) {
  return step_key.size() == 8 &&
         std::all_of(step_key.begin(), step_key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<AgentWorkState> read_state_map(const Document& doc, ObjId state) {
  std::string kind = str_or_empty(doc, state, key::kKind);
  if (kind == "taken") return AgentWorkState::Taken{};
  if (kind == "waiting") return AgentWorkState::Waiting{str_or_empty(doc, state, key::kApp)};
  if (kind == "doing") {
    return AgentWorkState::Doing{str_or_empty(doc, state, key::kDid),
                                 str_or_empty(doc, state, key::kAbout)};
  }
  if (kind == "done") return AgentWorkState::Done{str_or_empty(doc, state, key::kDid)};
  if (kind == "refused") return AgentWorkState::Refused{};
  return std::nullopt;
}

std::optional<StoredAgentTransition> read_transition(const Document& doc, ObjId work) {
  if (auto text = get_str(doc, work, key::kTransition)) {
    auto parsed = decode_json<StoredAgentTransition>(*text);
    if (parsed.ok()) return *parsed;
  }
  auto state_map = get_map(doc, work, key::kState);
  if (!state_map) return std::nullopt;
  auto state = read_state_map(doc, *state_map);
  if (!state) return std::nullopt;
  return StoredAgentTransition{*state, int_or_zero(doc, work, key::kSince)};
}

std::optional<AgentReasoning> read_reasoning(const Document& doc, ObjId work) {
  if (auto map = get_map(doc, work, key::kReasoning)) {
    if (!bool_or_false(doc, *map, key::kPresent)) return std::nullopt;
    std::string route = str_or_empty(doc, *map, key::kRoute);
    if (route != "model" && route != "floor") return std::nullopt;
    return AgentReasoning{route == "model" ? AgentRoute::Model : AgentRoute::Floor,
                          str_or_empty(doc, *map, key::kWhy)};
  }
  auto text = get_str(doc, work, key::kReasoning);
  if (!text) return std::nullopt;
  auto parsed = decode_json<AgentReasoning>(*text);
  if (!parsed.ok()) return std::nullopt;
  return *parsed;
}

std::optional<AgentStepOutcome> read_outcome(const Document& doc, ObjId step) {
  auto text = get_str(doc, step, key::kOutcome);
  if (!text) return std::nullopt;
  auto parsed = decode_json<AgentStepOutcome>(*text);
  if (parsed.ok()) return *parsed;
  if (*text == "asked") return AgentStepOutcome::Asked{};
  if (*text == "applied") return AgentStepOutcome::Applied{};
  if (*text == "no_change") return AgentStepOutcome::NoChange{};
  if (*text == "refused") return AgentStepOutcome::Refused{str_or_empty(doc, step, key::kWhy)};
  return std::nullopt;
}

std::vector<AgentStep> read_trace(const Document& doc, ObjId work) {
  std::vector<AgentStep> steps;
  auto trace = get_map(doc, work, key::kTrace);
  if (!trace) return steps;
  for (const std::string& step_key : doc.keys(*trace)) {
    auto step = get_map(doc, *trace, step_key);
    if (!step || !bool_or_false(doc, *step, key::kPresent)) continue;
    auto outcome = read_outcome(doc, *step);
    if (!outcome) continue;
    std::int64_t sequence = int_or_zero(doc, *step, key::kSequence);
    steps.push_back(AgentStep{is_legacy_step_key(step_key) ? legacy_step_id(step_key) : step_key,
                              sequence < 0 ? 0 : static_cast<std::uint64_t>(sequence),
                              str_or_empty(doc, *step, key::kResource),
                              str_or_empty(doc, *step, key::kLabel), std::move(*outcome)});
  }
  sort_trace(steps);
  return steps;
}

void write_step(Document& doc, ObjId trace, const AgentStep& step, const AgentStep* before) {
  bool existed = get_map(doc, trace, step.id).has_value();
  auto map = ensure_map(doc, trace, step.id);
  if (!map) return;
  put_bool_if_changed(doc, *map, key::kPresent, true);
  if (!existed) {
    put_int(doc, *map, key::kSequence, static_cast<std::int64_t>(step.sequence));
    put_str(doc, *map, key::kResource, step.resource);
    put_str(doc, *map, key::kLabel, step.label);
  } else {
    // The new record is complete: a step that kept its id but changed its
    // place or wording must read as the new one, or it would differ forever.
    put_int_if_changed(doc, *map, key::kSequence, static_cast<std::int64_t>(step.sequence));
    put_str_if_changed(doc, *map, key::kResource, step.resource);
    put_str_if_changed(doc, *map, key::kLabel, step.label);
  }
  if (!before || !(before->outcome == step.outcome)) {
    put_str_if_changed(doc, *map, key::kOutcome, encode_json(step.outcome));
  }
}

}  // namespace

std::vector<AgentStep> storable_trace(const std::vector<AgentStep>& trace) {
  std::vector<AgentStep> out;
  for (auto it = trace.rbegin(); it != trace.rend(); ++it) {
    if (it->id.empty()) continue;
    bool later_has_id =
        std::any_of(out.begin(), out.end(), [&](const AgentStep& s) { return s.id == it->id; });
    if (!later_has_id) out.push_back(*it);
  }
  sort_trace(out);
  return out;
}

std::optional<AgentWork> read_work_map(const Document& doc, ObjId work) {
  auto transition = read_transition(doc, work);
  if (!transition) return std::nullopt;
  return AgentWork{std::move(transition->state), transition->since, read_reasoning(doc, work),
                   read_trace(doc, work)};
}

std::optional<AgentWork> read_agent_work(const Document& doc, ObjId message) {
  if (auto map = get_map(doc, message, key::kWork)) return read_work_map(doc, *map);
  auto text = get_str(doc, message, key::kWork);
  if (!text || text->empty()) return std::nullopt;
  auto parsed = decode_json<AgentWork>(*text);
  if (!parsed.ok()) return std::nullopt;
  AgentWork work = std::move(*parsed);
  sort_trace(work.trace);
  return work;
}

void write_agent_work(Document& doc, ObjId message, const AgentWork& work) {
  // Only the map form can be updated in place; a JSON string of an older
  // writer is replaced by a map written in full.
  std::optional<AgentWork> existing;
  if (auto map = get_map(doc, message, key::kWork)) existing = read_work_map(doc, *map);
  auto map = ensure_map(doc, message, key::kWork);
  if (!map) return;

  if (!existing || !(existing->state == work.state) || existing->since != work.since) {
    put_str(doc, *map, key::kTransition,
            encode_json(StoredAgentTransition{work.state, work.since}));
  }
  if (!existing || existing->reasoning != work.reasoning) {
    if (work.reasoning) {
      put_str(doc, *map, key::kReasoning, encode_json(*work.reasoning));
    } else {
      delete_key(doc, *map, key::kReasoning);
    }
  }

  auto trace = ensure_map(doc, *map, key::kTrace);
  if (!trace) return;
  std::vector<AgentStep> steps = storable_trace(work.trace);
  std::vector<AgentStep> before = existing ? existing->trace : std::vector<AgentStep>();
  std::unordered_set<std::string_view> kept;
  for (const AgentStep& step : steps) {
    kept.insert(step.id);
    auto old = std::find_if(before.begin(), before.end(),
                            [&](const AgentStep& s) { return s.id == step.id; });
    const AgentStep* old_step = old == before.end() ? nullptr : &*old;
    if (old_step && *old_step == step) continue;
    write_step(doc, *trace, step, old_step);
  }
  // Steps left out of the new record stop counting; the maps stay so that a
  // concurrent writer's update to them is not lost.
  for (const std::string& step_key : doc.keys(*trace)) {
    bool legacy = is_legacy_step_key(step_key);
    if (!legacy && kept.contains(step_key)) continue;
    auto step = get_map(doc, *trace, step_key);
    if (step) put_bool_if_changed(doc, *step, key::kPresent, false);
  }
}

}  // namespace chat::doc
