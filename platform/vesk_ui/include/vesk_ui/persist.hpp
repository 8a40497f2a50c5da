#pragma once
// Document persistence: how the framework opens the document it lends to the
// root widget. The application's opener hook chooses between the two calls;
// the framework hands it the two arguments below and keeps what it answers.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "base/result.hpp"

namespace crdt {
class Document;
}

namespace vesk_ui::persist {

struct OpenOptions {
  // Largest time between a change and its arrival on the disk.
  std::uint32_t flush_interval_ms = 200;
  // Open in memory only; nothing is read or written (screenshots, tests).
  bool in_memory = false;
};

// Shared so that the type can stay incomplete for users of this header.
using DocumentPtr = std::shared_ptr<crdt::Document>;
using DocumentResult = base::Result<DocumentPtr>;

// The framework's own location for the application's document:
// $XDG_DATA_HOME/vesk_ui/<app_id>/document.vdoc, else under
// ~/.local/share; empty when neither directory is known.
std::filesystem::path default_path(std::string_view app_id);

// Opens the document at the framework's default location (creating it and
// its directory); in memory, with a warning, when no location is known.
DocumentResult open(std::string_view app_id, const OpenOptions& options);

// Opens the document at `path`. When `path` does not exist yet but a
// document exists at the framework's default location, that document's
// content is carried over into `path` first, so users of an older build keep
// their data; the old file is left in place. Creates path's parent.
DocumentResult open_migrating(std::string_view app_id, const OpenOptions& options,
                              const std::filesystem::path& path);

// Whether this build carries the document engine.
bool available();

}  // namespace vesk_ui::persist
