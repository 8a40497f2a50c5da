#pragma once
// The JSON shapes of the model records that travel inside actions or are kept
// as JSON text in the document. Declared once here; encoder and strict decoder
// both come from strict_json.

#include <type_traits>

#include "model/agent_work.hpp"
#include "model/attachment.hpp"
#include "model/json_record.hpp"
#include "model/records.hpp"
#include "model/resource_ref.hpp"
#include "strict_json/codec.hpp"

namespace chat {

constexpr auto json_shape(std::type_identity<ChannelKind>) {
  return strict_json::enumeration<ChannelKind>(
      "ChannelKind", {{ChannelKind::Text, "Text"}, {ChannelKind::Voice, "Voice"}});
}

CHAT_JSON_RECORD(Mention, CHAT_REQUIRED(user), CHAT_REQUIRED(start), CHAT_REQUIRED(len),
                 CHAT_REQUIRED(is_agent))

constexpr auto json_shape(std::type_identity<SpanUnit>) {
  return strict_json::enumeration<SpanUnit>(
      "SpanUnit", {{SpanUnit::Chars, "Chars"}, {SpanUnit::Bytes, "Bytes"}});
}

CHAT_JSON_RECORD(Span, CHAT_REQUIRED(start), CHAT_REQUIRED(end), CHAT_REQUIRED(unit))

CHAT_JSON_RECORD(ResourceRef, CHAT_REQUIRED(kind), CHAT_REQUIRED(id), CHAT_REQUIRED(label),
                 CHAT_OPTIONAL(span))

constexpr auto json_shape(std::type_identity<Attachment>) {
  return strict_json::externally_tagged<Attachment>("Attachment");
}
// Found by argument-dependent lookup, so beside the alternatives.
namespace attachment {
CHAT_JSON_RECORD(Image, CHAT_REQUIRED(name), CHAT_REQUIRED(blob), CHAT_REQUIRED(w),
                 CHAT_REQUIRED(h))
CHAT_JSON_RECORD(Video, CHAT_REQUIRED(name), CHAT_REQUIRED(blob), CHAT_REQUIRED(w),
                 CHAT_REQUIRED(h), CHAT_REQUIRED(size))
CHAT_JSON_RECORD(File, CHAT_REQUIRED(name), CHAT_REQUIRED(blob), CHAT_REQUIRED(size))
}  // namespace attachment

// Agent work: the two enums are tagged inside the object, in lower case.
constexpr auto json_shape(std::type_identity<AgentWorkState>) {
  return strict_json::internally_tagged<AgentWorkState>("AgentWorkState", "state");
}
CHAT_JSON_RECORD_NAMED(AgentWorkState::Taken, "taken")
CHAT_JSON_RECORD_NAMED(AgentWorkState::Waiting, "waiting", CHAT_REQUIRED(app))
CHAT_JSON_RECORD_NAMED(AgentWorkState::Doing, "doing", CHAT_REQUIRED(did), CHAT_REQUIRED(about))
CHAT_JSON_RECORD_NAMED(AgentWorkState::Done, "done", CHAT_REQUIRED(did))
CHAT_JSON_RECORD_NAMED(AgentWorkState::Refused, "refused")

constexpr auto json_shape(std::type_identity<AgentRoute>) {
  return strict_json::enumeration<AgentRoute>(
      "AgentRoute", {{AgentRoute::Model, "model"}, {AgentRoute::Floor, "floor"}});
}
CHAT_JSON_RECORD(AgentReasoning, CHAT_REQUIRED(route), CHAT_DEFAULTED(why))

constexpr auto json_shape(std::type_identity<AgentStepOutcome>) {
  return strict_json::internally_tagged<AgentStepOutcome>("AgentStepOutcome", "outcome");
}
CHAT_JSON_RECORD_NAMED(AgentStepOutcome::Asked, "asked")
CHAT_JSON_RECORD_NAMED(AgentStepOutcome::Applied, "applied")
CHAT_JSON_RECORD_NAMED(AgentStepOutcome::NoChange, "no_change")
CHAT_JSON_RECORD_NAMED(AgentStepOutcome::Refused, "refused", CHAT_REQUIRED(why))

CHAT_JSON_RECORD(AgentStep, CHAT_DEFAULTED(id), CHAT_DEFAULTED(sequence), CHAT_REQUIRED(resource),
                 CHAT_REQUIRED(label), CHAT_REQUIRED(outcome))

CHAT_JSON_RECORD(AgentWork, CHAT_REQUIRED(state), CHAT_REQUIRED(since),
                 CHAT_DEFAULTED(reasoning).omit_when_empty(),
                 CHAT_DEFAULTED(trace).omit_when_empty())

CHAT_JSON_RECORD(StoredAgentTransition, CHAT_REQUIRED(state), CHAT_REQUIRED(since))

}  // namespace chat
