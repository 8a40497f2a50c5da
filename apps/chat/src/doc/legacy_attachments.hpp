#pragma once
// Older releases stored the built-in demo pictures of an attachment under
// "path". Once per run the application moves such names to "blob", a bounded
// amount at a time so that a huge document never stalls a frame.

#include <cstddef>

#include "crdt/document.hpp"

namespace chat::doc {

inline constexpr std::size_t kLegacyScanChannels = 256;
inline constexpr std::size_t kLegacyScanMessages = 256;
inline constexpr std::size_t kLegacyRewrites = 32;
inline constexpr std::size_t kLegacyPathMaxBytes = 256;

// Answers how many attachments were rewritten.
std::size_t migrate_legacy_attachments(crdt::Document& doc);

}  // namespace chat::doc
