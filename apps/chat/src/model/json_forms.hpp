#pragma once
// JSON text of the records kept as JSON in the document or carried by actions:
// compact, members in order; decoding is strict (see strict_json/codec.hpp)
// and fails with a message naming the member or variant at fault.

#include <string>
#include <string_view>

#include "base/result.hpp"
#include "model/agent_work.hpp"
#include "model/attachment.hpp"
#include "model/records.hpp"
#include "model/resource_ref.hpp"

namespace chat {

std::string encode_json(const Mention& value);
std::string encode_json(const Span& value);
std::string encode_json(const ResourceRef& value);
std::string encode_json(const Attachment& value);
std::string encode_json(ChannelKind value);
std::string encode_json(const AgentWork& value);
std::string encode_json(const AgentWorkState& value);
std::string encode_json(const AgentReasoning& value);
std::string encode_json(const AgentStep& value);
std::string encode_json(const AgentStepOutcome& value);
std::string encode_json(const StoredAgentTransition& value);

// Defined for each type that has an encode_json overload above.
template <typename T>
base::Result<T> decode_json(std::string_view text);

}  // namespace chat
