#pragma once
// A content-addressed store of immutable byte blobs. A blob is named by its
// reference: the 64 lower-case hex digits of the SHA-256 of its bytes, so the
// same content always has the same name and any reader can check what it got.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace strata {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// True for exactly 64 hex digits (either case).
bool is_blob_ref(std::string_view ref);
// The reference of some bytes, whether or not they are stored.
std::string blob_ref_of(ByteView bytes);

// Where a blob is, as far as this process can tell.
enum class BlobState : std::uint8_t {
  Present = 0,      // readable from local storage
  Fetching = 1,     // being fetched from a peer (no store here fetches yet)
  Unavailable = 2,  // not here and not coming
};

// The interface the rest of the program holds the store through.
class BlobStore {
 public:
  virtual ~BlobStore() = default;
  // The stored bytes, checked against the reference; nothing when absent,
  // unreadable or corrupted.
  virtual std::optional<Bytes> get(std::string_view ref) = 0;
  // Stores the bytes; answers their reference.
  virtual base::Result<std::string> put(ByteView bytes) = 0;
  // Stores bytes that claim to be `expected_ref` (bytes from a peer, say); refuses
  // them unless they hash to it.
  virtual base::Result<std::string> put_checked(std::string_view expected_ref, ByteView bytes) = 0;
  // Removes every blob whose reference is not in `keep`; answers how many went.
  virtual base::Result<std::size_t> evict_unreferenced(const std::set<std::string>& keep) = 0;
  // Whether a blob is stored locally. Cheap: does not read the content.
  virtual bool has(std::string_view ref) = 0;
};

// The store's limits, in the order the program passes them.
struct BlobStoreLimits {
  std::uint64_t max_blob_bytes = 33554432;    // largest single blob
  std::uint64_t max_total_bytes = 268435456;  // quota on the bytes of all blobs together
  std::uint64_t max_blob_count = 8192;        // quota on the number of blobs
  std::uint64_t io_chunk_bytes = 16384;       // read size when hashing files
};

// Blobs as files under one root directory: <root>/<2 hex>/<62 hex>.
// Writes go to a temporary file in the same directory, are synced and renamed
// into place, so a blob file is either absent or complete, and two writers of
// the same content (threads or processes) end with one correct file. The store
// never follows a symbolic link below its root. Safe to share between threads.
class FsBlobStore final : public BlobStore {
 public:
  // $XDG_DATA_HOME/vesk/blobs, else ~/.local/share/vesk/blobs, else a directory
  // under the system's temporary directory.
  static std::filesystem::path default_root();

  FsBlobStore(std::filesystem::path root, std::uint64_t max_blob_bytes,
              std::uint64_t max_total_bytes, std::uint64_t max_blob_count,
              std::uint64_t io_chunk_bytes);
  FsBlobStore(std::filesystem::path root, BlobStoreLimits limits);

  std::optional<Bytes> get(std::string_view ref) override;
  base::Result<std::string> put(ByteView bytes) override;
  base::Result<std::string> put_checked(std::string_view expected_ref, ByteView bytes) override;
  base::Result<std::size_t> evict_unreferenced(const std::set<std::string>& keep) override;
  bool has(std::string_view ref) override;

  const std::filesystem::path& root() const { return root_; }
  const BlobStoreLimits& limits() const { return limits_; }

  // What this process has seen of the store; the totals are counted from disk
  // on the first write and kept up to date by this process's own writes.
  struct Counters {
    std::uint64_t puts = 0;          // successful puts
    std::uint64_t writes = 0;        // puts that wrote a new file
    std::uint64_t corrupt_seen = 0;  // blob files that failed their check
    std::uint64_t evicted = 0;
    std::uint64_t blob_count = 0;
    std::uint64_t total_bytes = 0;
  };
  Counters counters() const;

 private:
  base::Result<std::string> store(const std::string& ref, ByteView bytes);
  void count_from_disk_locked();

  std::filesystem::path root_;
  BlobStoreLimits limits_;
  mutable std::mutex mutex_;
  Counters counters_;
  bool counted_ = false;
};

}  // namespace strata
