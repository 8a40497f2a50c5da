#include "doc/send_validation.hpp"

#include <algorithm>

namespace chat::doc {

bool valid_message_id(std::string_view id) {
  if (id.empty() || id.size() > kMaxMessageIdBytes) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
  });
}

bool valid_attachment_name(std::string_view name) {
  if (name.empty() || name.size() > kMaxAttachmentNameBytes) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto byte = static_cast<unsigned char>(name[i]);
    if (byte < 0x20 || byte == 0x7f) return false;
    // U+0080..U+009F are encoded as C2 80..C2 9F.
    if (byte == 0xc2 && i + 1 < name.size()) {
      auto next = static_cast<unsigned char>(name[i + 1]);
      if (next >= 0x80 && next <= 0x9f) return false;
    }
  }
  return true;
}

bool valid_blob_reference(std::string_view blob) {
  return blob.size() == kBlobReferenceDigits && std::all_of(blob.begin(), blob.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

bool valid_attachment(const Attachment& attachment) {
  if (!valid_attachment_name(attachment.name()) || !valid_blob_reference(attachment.blob())) {
    return false;
  }
  auto size_ok = [](std::uint64_t size) { return size >= 1 && size <= kMaxAttachmentBytes; };
  if (const auto* image = attachment.get_if<Attachment::Image>()) {
    return image->w >= 1 && image->w <= kMaxPixelSide && image->h >= 1 && image->h <= kMaxPixelSide;
  }
  if (const auto* video = attachment.get_if<Attachment::Video>()) {
    return video->w <= kMaxPixelSide && video->h <= kMaxPixelSide && size_ok(video->size);
  }
  if (const auto* file = attachment.get_if<Attachment::File>()) return size_ok(file->size);
  return false;
}

}  // namespace chat::doc
