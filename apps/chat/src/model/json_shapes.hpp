#pragma once
// The JSON shapes of the model records that travel inside actions or are kept
// as JSON text in the document. Declared once here; encoder and strict decoder
// both come from strict_json.

#include <type_traits>

#include "model/agent_work.hpp"
#include "model/attachment.hpp"
#include "model/records.hpp"
#include "model/resource_ref.hpp"
#include "strict_json/codec.hpp"

namespace chat {

constexpr auto json_shape(std::type_identity<ChannelKind>) {
  return strict_json::enumeration<ChannelKind>(
      "ChannelKind", {{ChannelKind::Text, "Text"}, {ChannelKind::Voice, "Voice"}});
}

constexpr auto json_shape(std::type_identity<Mention>) {
  using namespace strict_json;
  return record<Mention>("Mention", required("user", &Mention::user),
                         required("start", &Mention::start), required("len", &Mention::len),
                         required("is_agent", &Mention::is_agent));
}

constexpr auto json_shape(std::type_identity<SpanUnit>) {
  return strict_json::enumeration<SpanUnit>(
      "SpanUnit", {{SpanUnit::Chars, "Chars"}, {SpanUnit::Bytes, "Bytes"}});
}

constexpr auto json_shape(std::type_identity<Span>) {
  using namespace strict_json;
  return record<Span>("Span", required("start", &Span::start), required("end", &Span::end),
                      required("unit", &Span::unit));
}

constexpr auto json_shape(std::type_identity<ResourceRef>) {
  using namespace strict_json;
  return record<ResourceRef>(
      "ResourceRef", required("kind", &ResourceRef::kind), required("id", &ResourceRef::id),
      required("label", &ResourceRef::label), optional("span", &ResourceRef::span));
}

constexpr auto json_shape(std::type_identity<Attachment>) {
  return strict_json::externally_tagged<Attachment>("Attachment");
}
// Found by argument-dependent lookup, so beside the alternatives.
namespace attachment {
constexpr auto json_shape(std::type_identity<Attachment::Image>) {
  using namespace strict_json;
  using A = Attachment::Image;
  return record<A>("Image", required("name", &A::name), required("blob", &A::blob),
                   required("w", &A::w), required("h", &A::h));
}
constexpr auto json_shape(std::type_identity<Attachment::Video>) {
  using namespace strict_json;
  using A = Attachment::Video;
  return record<A>("Video", required("name", &A::name), required("blob", &A::blob),
                   required("w", &A::w), required("h", &A::h), required("size", &A::size));
}
constexpr auto json_shape(std::type_identity<Attachment::File>) {
  using namespace strict_json;
  using A = Attachment::File;
  return record<A>("File", required("name", &A::name), required("blob", &A::blob),
                   required("size", &A::size));
}
}  // namespace attachment

// Agent work: the two enums are tagged inside the object, in lower case.
constexpr auto json_shape(std::type_identity<AgentWorkState>) {
  return strict_json::internally_tagged<AgentWorkState>("AgentWorkState", "state");
}
constexpr auto json_shape(std::type_identity<AgentWorkState::Taken>) {
  return strict_json::record<AgentWorkState::Taken>("taken");
}
constexpr auto json_shape(std::type_identity<AgentWorkState::Waiting>) {
  using namespace strict_json;
  using S = AgentWorkState::Waiting;
  return record<S>("waiting", required("app", &S::app));
}
constexpr auto json_shape(std::type_identity<AgentWorkState::Doing>) {
  using namespace strict_json;
  using S = AgentWorkState::Doing;
  return record<S>("doing", required("did", &S::did), required("about", &S::about));
}
constexpr auto json_shape(std::type_identity<AgentWorkState::Done>) {
  using namespace strict_json;
  using S = AgentWorkState::Done;
  return record<S>("done", required("did", &S::did));
}
constexpr auto json_shape(std::type_identity<AgentWorkState::Refused>) {
  return strict_json::record<AgentWorkState::Refused>("refused");
}

constexpr auto json_shape(std::type_identity<AgentRoute>) {
  return strict_json::enumeration<AgentRoute>(
      "AgentRoute", {{AgentRoute::Model, "model"}, {AgentRoute::Floor, "floor"}});
}
constexpr auto json_shape(std::type_identity<AgentReasoning>) {
  using namespace strict_json;
  return record<AgentReasoning>("AgentReasoning", required("route", &AgentReasoning::route),
                                defaulted("why", &AgentReasoning::why));
}

constexpr auto json_shape(std::type_identity<AgentStepOutcome>) {
  return strict_json::internally_tagged<AgentStepOutcome>("AgentStepOutcome", "outcome");
}
constexpr auto json_shape(std::type_identity<AgentStepOutcome::Asked>) {
  return strict_json::record<AgentStepOutcome::Asked>("asked");
}
constexpr auto json_shape(std::type_identity<AgentStepOutcome::Applied>) {
  return strict_json::record<AgentStepOutcome::Applied>("applied");
}
constexpr auto json_shape(std::type_identity<AgentStepOutcome::NoChange>) {
  return strict_json::record<AgentStepOutcome::NoChange>("no_change");
}
constexpr auto json_shape(std::type_identity<AgentStepOutcome::Refused>) {
  using namespace strict_json;
  using O = AgentStepOutcome::Refused;
  return record<O>("refused", required("why", &O::why));
}

constexpr auto json_shape(std::type_identity<AgentStep>) {
  using namespace strict_json;
  return record<AgentStep>(
      "AgentStep", defaulted("id", &AgentStep::id), defaulted("sequence", &AgentStep::sequence),
      required("resource", &AgentStep::resource), required("label", &AgentStep::label),
      required("outcome", &AgentStep::outcome));
}

constexpr auto json_shape(std::type_identity<AgentWork>) {
  using namespace strict_json;
  return record<AgentWork>("AgentWork", required("state", &AgentWork::state),
                           required("since", &AgentWork::since),
                           defaulted("reasoning", &AgentWork::reasoning).omit_when_empty(),
                           defaulted("trace", &AgentWork::trace).omit_when_empty());
}

constexpr auto json_shape(std::type_identity<StoredAgentTransition>) {
  using namespace strict_json;
  return record<StoredAgentTransition>("StoredAgentTransition",
                                       required("state", &StoredAgentTransition::state),
                                       required("since", &StoredAgentTransition::since));
}

}  // namespace chat
