#pragma once
// The limits a SendMessage must meet before it touches the document. They
// guard the document against input from peers and agents: anything outside
// them is dropped, never repaired.

#include <cstddef>
#include <string_view>

#include "model/attachment.hpp"

namespace chat::doc {

inline constexpr std::size_t kMaxMessageIdBytes = 128;
inline constexpr std::size_t kMaxMessageTextBytes = 65536;
inline constexpr std::size_t kMaxAttachmentNameBytes = 255;
inline constexpr std::size_t kBlobReferenceDigits = 64;
inline constexpr std::uint32_t kMaxPixelSide = 16384;
inline constexpr std::uint64_t kMaxAttachmentBytes = 32ull * 1024 * 1024;

// 1 to 128 bytes of A-Z, a-z, 0-9, "_" and "-".
bool valid_message_id(std::string_view id);
// 1 to 255 bytes without a C0 or C1 control character or DEL.
bool valid_attachment_name(std::string_view name);
// Exactly 64 hexadecimal digits, either case.
bool valid_blob_reference(std::string_view blob);
bool valid_attachment(const Attachment& attachment);

}  // namespace chat::doc
