#pragma once
// Writers that create the document's records. The seeds use them directly;
// chat actions reach them through apply().

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "crdt/document.hpp"
#include "model/records.hpp"

namespace chat::doc {

class WorkspaceDoc;

void put_workspace(crdt::Document& doc, std::string_view id, std::string_view name,
                   std::string_view glyph, std::int64_t color_idx, std::int64_t order);
void put_category(crdt::Document& doc, std::string_view id, std::string_view workspace,
                  std::string_view name, std::int64_t order);
// A voice channel also gets its (empty) presence map under "voice".
void put_channel(crdt::Document& doc, std::string_view id, std::string_view workspace,
                 std::string_view category, std::string_view name, std::string_view topic,
                 bool voice, std::int64_t order);

// Appends the message to the channel's list unless a message with its id
// exists anywhere in the document. Writes every field of the record except
// "pinned" (absent until first pinned). Answers the id.
std::string insert_message(WorkspaceDoc& doc, std::string_view channel, const Message& message);

struct FoundMessage {
  crdt::ObjId list;
  crdt::ObjId map;
};
// The first message map of the channel's list whose "id" equals `id`.
std::optional<FoundMessage> find_message(WorkspaceDoc& doc, std::string_view channel,
                                         std::string_view id);

// The presence map of a person in a voice channel, made when missing.
std::optional<crdt::ObjId> ensure_presence(crdt::Document& doc, std::string_view channel,
                                           std::string_view user);
// Writes the JoinCall effect: presence with every flag false unless the
// person is already present.
void join_call(crdt::Document& doc, std::string_view channel, std::string_view user);
void set_call_state(crdt::Document& doc, std::string_view channel, std::string_view user,
                    bool talking, bool muted, bool deafened, bool audio_only);

}  // namespace chat::doc
