#pragma once
// The file-system side of attachments: which files the picker offers, and the
// import that reads one file, checks it and stores its bytes in the shared
// blob store. Both run off the UI thread and touch nothing but the file
// system and the blob store.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace chat {

// Largest importable file, inclusive.
inline constexpr std::uint64_t kMaxAttachmentBytes = 33554432;
// The listing collects this many entries, then keeps the first after sorting.
inline constexpr std::size_t kPickerCollectLimit = 200;
inline constexpr std::size_t kPickerKeepLimit = 60;

// $VESK_CHAT_ATTACH_DIR, else "/var/workspace".
std::filesystem::path attachment_dir();

// The text after the last "." of a file name, or "" without one.
std::string_view extension_of(std::string_view name);
// Extensions compared ignoring ASCII case.
bool has_video_extension(std::string_view name);
bool has_image_extension(std::string_view name);

// A file name as text: invalid UTF-8 sequences become U+FFFD.
std::string display_name(std::string_view raw);

// Longest attachment name in bytes, and the largest side of a shared image;
// a message carrying more is refused by every replica.
inline constexpr std::size_t kMaxAttachmentNameBytes = 255;
inline constexpr std::uint32_t kMaxImageSide = 16384;

// A file name as an attachment may carry it: valid UTF-8, control characters
// replaced by U+FFFD, cut to 255 bytes at a character boundary.
std::string attachment_name(std::string_view raw);

struct PickerEntry {
  std::filesystem::path path;
  std::string name;
  std::uint64_t size = 0;  // 0 when the metadata cannot be read
  bool video = false;
  friend bool operator==(const PickerEntry&, const PickerEntry&) = default;
};

// The files of `dir` and of its direct subdirectories, at most 200 collected in
// the order the file system gives, sorted by lower-cased name, the first 60
// kept. Fails with "workspace is unavailable" when `dir` cannot be read.
base::Result<std::vector<PickerEntry>> list_attachment_files(const std::filesystem::path& dir);

// What a finished import hands back to the frame cycle.
struct ImportedFile {
  std::string blob;  // blob reference
  std::string name;
  std::uint64_t size = 0;
  std::uint32_t width = 0;  // pixel size from sniffing, 0 × 0 when not an image
  std::uint32_t height = 0;
  bool video = false;
  friend bool operator==(const ImportedFile&, const ImportedFile&) = default;
};

// Error of an import whose path, once links and ".." are resolved, is not a
// file inside the attachment directory.
inline constexpr std::string_view kOutsideAttachmentDir =
    "file is outside the attachment directory";

// Reads the file at `path` (relative paths are taken inside `dir`), checks it
// and puts its bytes into the process-wide blob store. Only files inside `dir`
// are read: an agent may name any path, and a file outside the directory the
// user offered (a key under ~/.ssh, say) must never reach peers.
base::Result<ImportedFile> import_attachment_file(const std::filesystem::path& dir,
                                                  const std::filesystem::path& path);

}  // namespace chat
