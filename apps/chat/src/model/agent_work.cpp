#include "model/agent_work.hpp"

#include <algorithm>
#include <map>
#include <tuple>

namespace chat {

bool trace_before(const AgentStep& a, const AgentStep& b) {
  return std::tie(a.sequence, a.id) < std::tie(b.sequence, b.id);
}

void sort_trace(std::vector<AgentStep>& trace) {
  std::stable_sort(trace.begin(), trace.end(), trace_before);
}

std::string legacy_step_id(std::string_view step_key) {
  return "legacy_step_" + std::string(step_key);
}

TraceUpdate trace_update(const std::vector<AgentStep>& old_trace,
                         const std::vector<AgentStep>& new_trace) {
  std::map<std::string_view, const AgentStep*> old_by_id;
  for (const AgentStep& step : old_trace) old_by_id.emplace(step.id, &step);

  TraceUpdate update;
  std::map<std::string_view, bool> kept;
  for (const AgentStep& step : new_trace) {
    kept[step.id] = true;
    auto old = old_by_id.find(step.id);
    if (old == old_by_id.end() || !(*old->second == step)) update.upserts.push_back(step);
  }
  for (const AgentStep& step : old_trace) {
    if (!kept.contains(step.id)) update.removed_ids.push_back(step.id);
  }
  sort_trace(update.upserts);
  return update;
}

}  // namespace chat
