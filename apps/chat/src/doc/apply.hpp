#pragma once
// Applying one chat action to the workspace document. The same function runs
// for the local user's actions and for those of peers and agents, so it
// depends only on the action and the document, never fails, and ignores
// actions aimed at objects that do not exist.

#include "doc/workspace_doc.hpp"
#include "model/chat_action.hpp"

namespace chat::doc {

void apply(WorkspaceDoc& doc, const ChatAction& action);

// Whether a SendMessage meets the limits and may be inserted now.
bool send_message_acceptable(WorkspaceDoc& doc, const ChatAction::SendMessage& send);

}  // namespace chat::doc
