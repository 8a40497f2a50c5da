#pragma once
// Agent work records: the progress an agent publishes on the message it
// answers — its state and since when, why it chose its route, and its steps.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace chat {

struct AgentWorkState {
  struct Taken {
    friend bool operator==(const Taken&, const Taken&) = default;
  };
  struct Waiting {
    std::string app;
    friend bool operator==(const Waiting&, const Waiting&) = default;
  };
  struct Doing {
    std::string did;
    std::string about;
    friend bool operator==(const Doing&, const Doing&) = default;
  };
  struct Done {
    std::string did;
    friend bool operator==(const Done&, const Done&) = default;
  };
  struct Refused {
    friend bool operator==(const Refused&, const Refused&) = default;
  };
  using Variant = std::variant<Taken, Waiting, Doing, Done, Refused>;

  Variant value;

  AgentWorkState() = default;
  template <typename T>
  requires std::is_constructible_v<Variant, T&&> &&
      (!std::is_same_v<std::decay_t<T>, AgentWorkState>)AgentWorkState(T&& v)
      : value(std::forward<T>(v)) {}  // NOLINT: implicit on purpose

  template <typename T>
  const T* get_if() const {
    return std::get_if<T>(&value);
  }
  friend bool operator==(const AgentWorkState&, const AgentWorkState&) = default;
};

enum class AgentRoute { Model, Floor };

struct AgentReasoning {
  AgentRoute route = AgentRoute::Model;
  std::string why;
  friend bool operator==(const AgentReasoning&, const AgentReasoning&) = default;
};

struct AgentStepOutcome {
  struct Asked {
    friend bool operator==(const Asked&, const Asked&) = default;
  };
  struct Applied {
    friend bool operator==(const Applied&, const Applied&) = default;
  };
  struct NoChange {
    friend bool operator==(const NoChange&, const NoChange&) = default;
  };
  struct Refused {
    std::string why;
    friend bool operator==(const Refused&, const Refused&) = default;
  };
  using Variant = std::variant<Asked, Applied, NoChange, Refused>;

  Variant value;

  AgentStepOutcome() = default;
  template <typename T>
  requires std::is_constructible_v<Variant, T&&> &&
      (!std::is_same_v<std::decay_t<T>, AgentStepOutcome>)AgentStepOutcome(T&& v)
      : value(std::forward<T>(v)) {}  // NOLINT: implicit on purpose

  template <typename T>
  const T* get_if() const {
    return std::get_if<T>(&value);
  }
  friend bool operator==(const AgentStepOutcome&, const AgentStepOutcome&) = default;
};

struct AgentStep {
  std::string id;  // identity within the trace
  std::uint64_t sequence = 0;
  std::string resource;  // address of the action resource the step acted on
  std::string label;
  AgentStepOutcome outcome;
  friend bool operator==(const AgentStep&, const AgentStep&) = default;
};

struct AgentWork {
  AgentWorkState state;
  std::int64_t since = 0;  // when `state` was entered, seconds since the epoch
  std::optional<AgentReasoning> reasoning;
  std::vector<AgentStep> trace;  // held in trace order, see sort_trace
  friend bool operator==(const AgentWork&, const AgentWork&) = default;
};

// The state and its time kept together, so that they always change together.
struct StoredAgentTransition {
  AgentWorkState state;
  std::int64_t since = 0;
  friend bool operator==(const StoredAgentTransition&, const StoredAgentTransition&) = default;
};

// Trace order: ascending `sequence`, then ascending `id` (byte-wise).
bool trace_before(const AgentStep& a, const AgentStep& b);
void sort_trace(std::vector<AgentStep>& trace);

// The id given to a step of an older document that was stored without one.
std::string legacy_step_id(std::string_view step_key);

// What a store must do to make an old trace equal to a new one. Steps are
// matched by id; only steps that differ are written again.
struct TraceUpdate {
  std::vector<AgentStep> upserts;        // new or changed steps, in trace order
  std::vector<std::string> removed_ids;  // old steps absent from the new trace
};
TraceUpdate trace_update(const std::vector<AgentStep>& old_trace,
                         const std::vector<AgentStep>& new_trace);

}  // namespace chat
