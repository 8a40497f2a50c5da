#pragma once
// Where the chat keeps its files and what it may do, all settled from the
// environment; there is no configuration file and no option of our own.

#include <filesystem>
#include <optional>
#include <string>

#include "app/environment.hpp"

namespace chat {

// The workspace document's file name inside the data directory.
inline constexpr const char* kWorkspaceDocumentFile = "workspace.vdoc";
inline constexpr const char* kPeerIdFile = "peer-id";
inline constexpr const char* kDefaultAttachmentDir = "/var/workspace";

// VESK_CHAT_DATA as is; else $XDG_DATA_HOME/vesk-chat; else
// ~/.local/share/vesk-chat; else nothing. Never created here.
std::optional<std::filesystem::path> data_directory(const Environment& env);

// The workspace document file inside the data directory, when there is one.
std::optional<std::filesystem::path> workspace_document_path(const Environment& env);

// VESK_CHAT_ATTACH_DIR, else /var/workspace.
std::filesystem::path attachment_directory(const Environment& env);

// Whether the first join of a call may start the networked media session:
// a session bus or a Wayland display means a real desktop session.
bool networking_allowed(const Environment& env);

}  // namespace chat
