#pragma once
// The process-wide blob store. The program installs one store at start; every
// call here goes to it, and answers "absent" or an error when none is installed.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "strata/blob_store.hpp"

namespace strata::blobstore {

// Installs (or, with nullptr, removes) the shared store. Thread-safe; callers
// that are mid-call keep the store they started with.
void set_store(std::shared_ptr<BlobStore> store);
std::shared_ptr<BlobStore> store();

std::optional<Bytes> get(std::string_view ref);
base::Result<std::string> put(ByteView bytes);
base::Result<std::string> put_checked(std::string_view expected_ref, ByteView bytes);
base::Result<std::size_t> evict_unreferenced(const std::set<std::string>& keep);
bool has(std::string_view ref);
// Present when the installed store has the blob, else unavailable.
BlobState state(std::string_view ref);

// Pixel size of an encoded PNG, JPEG, GIF, WebP, BMP or TIFF image; 0 × 0 for
// anything else, including damaged images.
struct ImageSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  friend bool operator==(const ImageSize&, const ImageSize&) = default;
};
ImageSize sniff(ByteView bytes);

}  // namespace strata::blobstore
