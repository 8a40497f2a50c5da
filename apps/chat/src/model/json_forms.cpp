#include "model/json_forms.hpp"

#include "model/json_shapes.hpp"

namespace chat {

template <typename T>
base::Result<T> decode_json(std::string_view text) {
  return strict_json::decode<T>(text);
}

#define CHAT_JSON_FORM(T, Param)         \
  std::string encode_json(Param value) { \
    return strict_json::encode(value);   \
  }                                      \
  template base::Result<T> decode_json<T>(std::string_view text);

CHAT_JSON_FORM(Mention, const Mention&)
CHAT_JSON_FORM(Span, const Span&)
CHAT_JSON_FORM(ResourceRef, const ResourceRef&)
CHAT_JSON_FORM(Attachment, const Attachment&)
CHAT_JSON_FORM(ChannelKind, ChannelKind)
CHAT_JSON_FORM(AgentWork, const AgentWork&)
CHAT_JSON_FORM(AgentWorkState, const AgentWorkState&)
CHAT_JSON_FORM(AgentReasoning, const AgentReasoning&)
CHAT_JSON_FORM(AgentStep, const AgentStep&)
CHAT_JSON_FORM(AgentStepOutcome, const AgentStepOutcome&)
CHAT_JSON_FORM(StoredAgentTransition, const StoredAgentTransition&)

#undef CHAT_JSON_FORM

}  // namespace chat
