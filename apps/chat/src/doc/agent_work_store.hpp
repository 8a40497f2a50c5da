#pragma once
// Agent work as the document keeps it on a message: the current form (a work
// map with the state transition, the reasoning and the trace as JSON texts)
// and the older ones other writers and earlier releases left behind (the whole
// record as one JSON string, the "state" map, map reasoning, bare outcome
// names, eight-digit step keys).

#include <optional>

#include "crdt/document.hpp"
#include "model/agent_work.hpp"

namespace chat::doc {

// The work of a message map: its "work" map or, in older documents, a JSON
// string of the whole record. Nothing when absent or unreadable.
std::optional<AgentWork> read_agent_work(const crdt::Document& doc, crdt::ObjId message);
std::optional<AgentWork> read_work_map(const crdt::Document& doc, crdt::ObjId work);

// Makes the message's work read as `work`, writing only what differs.
void write_agent_work(crdt::Document& doc, crdt::ObjId message, const AgentWork& work);

// The trace as the store keeps it: steps without an id cannot be stored, a
// later step with the same id replaces an earlier one, and the order is the
// trace order.
std::vector<AgentStep> storable_trace(const std::vector<AgentStep>& trace);

}  // namespace chat::doc
