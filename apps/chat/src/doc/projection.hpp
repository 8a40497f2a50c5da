#pragma once
// The read operations: the workspace document turned into the model's records.
// They never fail; whatever is missing or of another kind reads as its
// default, and elements that are not maps are skipped. Every call reads the
// document afresh and returns owned records in the model's list orders.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "crdt/document.hpp"
#include "model/records.hpp"

namespace chat::doc {

class WorkspaceDoc;

std::vector<Workspace> list_workspaces(const crdt::Document& doc);
std::vector<Category> list_categories(const crdt::Document& doc);
// Channels of every workspace and category; callers filter by id.
std::vector<Channel> list_channels(const crdt::Document& doc);
std::vector<Person> list_persons(const crdt::Document& doc);
// In the order of the channel's list, thread replies among them.
std::vector<Message> list_messages(const crdt::Document& doc, std::string_view channel);
std::vector<VoiceParticipant> list_voice_participants(const crdt::Document& doc,
                                                      std::string_view channel);
std::string read_draft(const crdt::Document& doc, std::string_view draft_key);
std::uint32_t read_unread_count(const crdt::Document& doc, std::string_view channel,
                                std::string_view person);
bool is_seeded(const crdt::Document& doc);
// Answered from the message index, not by walking every channel.
bool message_exists(WorkspaceDoc& doc, std::string_view id);
// The same records as the overloads above, for a document read on every
// refresh: messages come from a cache that the engine's change events keep
// current, and the top-level count from the message index.
std::vector<Message> list_messages(WorkspaceDoc& doc, std::string_view channel);
std::uint32_t read_unread_count(WorkspaceDoc& doc, std::string_view channel,
                                std::string_view person);

// One message map as a record.
Message read_message(const crdt::Document& doc, crdt::ObjId message, std::string_view channel);

}  // namespace chat::doc
