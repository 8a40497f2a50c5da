#include "doc/image_keys.hpp"

#include "doc/demo_pictures.hpp"
#include "strata/blobstore.hpp"

namespace chat {

std::string image_key(std::string_view blob) {
  if (blob.starts_with(kDemoImagePrefix)) return std::string(blob);
  return std::string(kBlobImagePrefix) + std::string(blob);
}

std::string placeholder_text(std::string_view blob) {
  if (blob.starts_with(kDemoImagePrefix)) return "Loading image…";
  switch (strata::blobstore::state(blob)) {
    case strata::BlobState::Present:
      return "Decoding image…";
    case strata::BlobState::Fetching:
      return "Loading shared image…";
    case strata::BlobState::Unavailable:
      break;
  }
  return "Shared image unavailable";
}

std::optional<std::vector<std::uint8_t>> resolve_image(std::string_view key) {
  if (key.starts_with(kDemoImagePrefix))
    return demo_picture_png(key.substr(kDemoImagePrefix.size()));
  if (key.starts_with(kBlobImagePrefix)) {
    auto bytes = strata::blobstore::get(key.substr(kBlobImagePrefix.size()));
    if (bytes && !bytes->empty()) return bytes;
  }
  return std::nullopt;
}

}  // namespace chat
