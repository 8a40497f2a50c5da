#include <dirent.h>
#include <sodium.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "base/random.hpp"
#include "fd.hpp"
#include "strata/blob_store.hpp"

namespace strata {
namespace {

using detail::errno_text;
using detail::Fd;

constexpr std::size_t kRefLen = 64;
constexpr std::size_t kShardLen = 2;
constexpr std::string_view kTempPrefix = ".tmp-";
// A temporary file this old belongs to a writer that died; eviction sweeps it.
constexpr std::time_t kStaleTempSecs = 3600;

void ensure_sodium() {
  static const bool ready = [] { return sodium_init() >= 0; }();
  (void)ready;
}

std::string hex_of_digest(const unsigned char (&digest)[crypto_hash_sha256_BYTES]) {
  return base::to_hex(digest, sizeof digest);
}

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The lower-case form of a valid reference, or nothing.
std::optional<std::string> normalize(std::string_view ref) {
  if (!is_blob_ref(ref)) return std::nullopt;
  std::string out(ref);
  for (char& c : out)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string shard_of(const std::string& ref) {
  return ref.substr(0, kShardLen);
}
std::string file_of(const std::string& ref) {
  return ref.substr(kShardLen);
}

// The store writes only lower-case names; anything else is not ours.
bool is_lower_hex(std::string_view s) {
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool is_shard_name(std::string_view name) {
  return name.size() == kShardLen && is_lower_hex(name);
}

// Opens a directory below `parent` without following a link; creates it first
// when asked.
Fd open_subdir(int parent, const std::string& name, bool create) {
  if (create && ::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) return Fd{};
  return Fd{::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
}

// Calls `fn(name)` for every entry of the directory `dir` (which stays open).
void for_each_entry(int dir, const std::function<void(const std::string&)>& fn) {
  int dup = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dup < 0) return;
  DIR* d = ::fdopendir(dup);
  if (d == nullptr) {
    ::close(dup);
    return;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    std::string_view n = e->d_name;
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(d);
  for (const auto& n : names) fn(n);
}

struct BlobRead {
  enum class Outcome { Missing, Good, Corrupt } outcome = Outcome::Missing;
  Bytes bytes;
  ino_t inode = 0;
};

// Reads and checks one blob file. A link, a directory, a pipe or a file larger
// than any blob can be counts as missing: none of them is something we wrote.
BlobRead read_blob(int shard, const std::string& name, const std::string& ref,
                   std::uint64_t max_bytes, std::uint64_t chunk) {
  BlobRead out;
  Fd fd{::openat(shard, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  if (!fd.valid()) return out;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return out;
  out.inode = st.st_ino;
  if (static_cast<std::uint64_t>(st.st_size) > max_bytes) {
    out.outcome = BlobRead::Outcome::Corrupt;
    return out;
  }
  crypto_hash_sha256_state hs;
  crypto_hash_sha256_init(&hs);
  out.bytes.reserve(static_cast<std::size_t>(st.st_size));
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(chunk == 0 ? 16384 : chunk));
  for (;;) {
    ssize_t n = detail::read_some(fd.get(), buf.data(), buf.size());
    if (n < 0) return out;
    if (n == 0) break;
    if (out.bytes.size() + static_cast<std::size_t>(n) > max_bytes) {
      out.outcome = BlobRead::Outcome::Corrupt;
      return out;
    }
    crypto_hash_sha256_update(&hs, buf.data(), static_cast<unsigned long long>(n));
    out.bytes.insert(out.bytes.end(), buf.begin(), buf.begin() + n);
  }
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&hs, digest);
  out.outcome = hex_of_digest(digest) == ref ? BlobRead::Outcome::Good : BlobRead::Outcome::Corrupt;
  return out;
}

// Removes a blob file found corrupt, unless another writer has replaced it
// with a fresh file since we read it.
void drop_if_same(int shard, const std::string& name, ino_t inode) {
  struct stat st {};
  if (::fstatat(shard, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_ino == inode)
    ::unlinkat(shard, name.c_str(), 0);
}

}  // namespace

bool is_blob_ref(std::string_view ref) {
  if (ref.size() != kRefLen) return false;
  for (char c : ref)
    if (!is_hex(c)) return false;
  return true;
}

std::string blob_ref_of(ByteView bytes) {
  ensure_sodium();
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, bytes.data(), bytes.size());
  return hex_of_digest(digest);
}

std::filesystem::path FsBlobStore::default_root() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::filesystem::path(xdg) / "vesk" / "blobs";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/')
    return std::filesystem::path(home) / ".local" / "share" / "vesk" / "blobs";
  std::error_code ec;
  auto tmp = std::filesystem::temp_directory_path(ec);
  if (ec) tmp = "/tmp";
  return tmp / ("vesk-blobs-" + std::to_string(::getuid()));
}

FsBlobStore::FsBlobStore(std::filesystem::path root, std::uint64_t max_blob_bytes,
                         std::uint64_t max_total_bytes, std::uint64_t max_blob_count,
                         std::uint64_t io_chunk_bytes)
    : FsBlobStore(std::move(root), BlobStoreLimits{max_blob_bytes, max_total_bytes, max_blob_count,
                                                   io_chunk_bytes}) {}

FsBlobStore::FsBlobStore(std::filesystem::path root, BlobStoreLimits limits)
    : root_(std::move(root)), limits_(limits) {
  ensure_sodium();
}

FsBlobStore::Counters FsBlobStore::counters() const {
  std::lock_guard lock(mutex_);
  return counters_;
}

std::optional<Bytes> FsBlobStore::get(std::string_view ref_in) {
  auto ref = normalize(ref_in);
  if (!ref) return std::nullopt;
  Fd root{::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (!root.valid()) return std::nullopt;
  Fd shard = open_subdir(root.get(), shard_of(*ref), false);
  if (!shard.valid()) return std::nullopt;
  BlobRead r =
      read_blob(shard.get(), file_of(*ref), *ref, limits_.max_blob_bytes, limits_.io_chunk_bytes);
  if (r.outcome == BlobRead::Outcome::Good) return std::move(r.bytes);
  if (r.outcome == BlobRead::Outcome::Corrupt) {
    // A damaged copy is worse than none: dropping it lets has() tell the truth
    // and the next put of the real content repair it.
    drop_if_same(shard.get(), file_of(*ref), r.inode);
    std::lock_guard lock(mutex_);
    ++counters_.corrupt_seen;
    counted_ = false;
  }
  return std::nullopt;
}

bool FsBlobStore::has(std::string_view ref_in) {
  auto ref = normalize(ref_in);
  if (!ref) return false;
  Fd root{::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (!root.valid()) return false;
  Fd shard = open_subdir(root.get(), shard_of(*ref), false);
  if (!shard.valid()) return false;
  struct stat st {};
  if (::fstatat(shard.get(), file_of(*ref).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= limits_.max_blob_bytes;
}

base::Result<std::string> FsBlobStore::put(ByteView bytes) {
  if (bytes.size() > limits_.max_blob_bytes)
    return base::make_error("content exceeds the blob size limit of " +
                            std::to_string(limits_.max_blob_bytes) + " bytes");
  return store(blob_ref_of(bytes), bytes);
}

base::Result<std::string> FsBlobStore::put_checked(std::string_view expected_ref, ByteView bytes) {
  auto ref = normalize(expected_ref);
  if (!ref) return base::make_error("not a blob reference");
  if (bytes.size() > limits_.max_blob_bytes)
    return base::make_error("content exceeds the blob size limit of " +
                            std::to_string(limits_.max_blob_bytes) + " bytes");
  if (blob_ref_of(bytes) != *ref) return base::make_error("content does not match its reference");
  return store(*ref, bytes);
}

base::Result<std::string> FsBlobStore::store(const std::string& ref, ByteView bytes) {
  std::error_code ec;
  // Attachments are private to the workspaces they were shared into; a store
  // this process creates is readable by its owner only.
  if (std::filesystem::create_directories(root_, ec))
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);
  Fd root{::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (!root.valid()) return base::make_error("blob store is unavailable: " + errno_text(errno));
  const std::string shard_name = shard_of(ref);
  const std::string name = file_of(ref);
  Fd shard = open_subdir(root.get(), shard_name, true);
  if (!shard.valid())
    return base::make_error("blob store is unavailable: " + shard_name + ": " + errno_text(errno));

  BlobRead existing =
      read_blob(shard.get(), name, ref, limits_.max_blob_bytes, limits_.io_chunk_bytes);
  if (existing.outcome == BlobRead::Outcome::Good) {
    std::lock_guard lock(mutex_);
    ++counters_.puts;
    return ref;
  }
  {
    std::lock_guard lock(mutex_);
    if (!counted_) count_from_disk_locked();
    // A corrupt file being replaced is already counted.
    bool adds_blob = existing.outcome == BlobRead::Outcome::Missing;
    if ((adds_blob && counters_.blob_count + 1 > limits_.max_blob_count) ||
        counters_.total_bytes + bytes.size() > limits_.max_total_bytes)
      return base::make_error("blob store is full");
  }

  std::string tmp;
  Fd out;
  for (int attempt = 0; attempt < 8 && !out.valid(); ++attempt) {
    tmp = std::string(kTempPrefix) + std::to_string(base::random_u64());
    out = Fd{::openat(shard.get(), tmp.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0444)};
    if (!out.valid() && errno != EEXIST) break;
  }
  if (!out.valid()) return base::make_error("could not write blob: " + errno_text(errno));
  auto fail = [&](const char* what) {
    int err = errno;
    ::unlinkat(shard.get(), tmp.c_str(), 0);
    return base::make_error(std::string(what) + ": " + errno_text(err));
  };
  if (!detail::write_all(out.get(), bytes.data(), bytes.size()))
    return fail("could not write blob");
  if (::fsync(out.get()) != 0) return fail("could not sync blob");
  out.reset();
  // rename() replaces whatever holds the name, a link included, without
  // following it; a concurrent writer of the same content loses nothing.
  if (::renameat(shard.get(), tmp.c_str(), shard.get(), name.c_str()) != 0)
    return fail("could not store blob");
  ::fsync(shard.get());

  std::lock_guard lock(mutex_);
  ++counters_.puts;
  ++counters_.writes;
  if (existing.outcome == BlobRead::Outcome::Missing) {
    ++counters_.blob_count;
    counters_.total_bytes += bytes.size();
  }
  return ref;
}

void FsBlobStore::count_from_disk_locked() {
  counters_.blob_count = 0;
  counters_.total_bytes = 0;
  counted_ = true;
  Fd root{::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (!root.valid()) return;
  for_each_entry(root.get(), [&](const std::string& shard_name) {
    if (!is_shard_name(shard_name)) return;
    Fd shard = open_subdir(root.get(), shard_name, false);
    if (!shard.valid()) return;
    for_each_entry(shard.get(), [&](const std::string& name) {
      if (!is_blob_ref(shard_name + name) || !is_lower_hex(name)) return;
      struct stat st {};
      if (::fstatat(shard.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(st.st_mode))
        return;
      ++counters_.blob_count;
      counters_.total_bytes += static_cast<std::uint64_t>(st.st_size);
    });
  });
}

base::Result<std::size_t> FsBlobStore::evict_unreferenced(const std::set<std::string>& keep_in) {
  std::set<std::string> keep;
  for (const auto& k : keep_in)
    if (auto n = normalize(k)) keep.insert(*n);
  Fd root{::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (!root.valid()) {
    if (errno == ENOENT) return std::size_t{0};
    return base::make_error("blob store is unavailable: " + errno_text(errno));
  }
  const std::time_t now = std::time(nullptr);
  std::size_t removed = 0;
  for_each_entry(root.get(), [&](const std::string& shard_name) {
    if (!is_shard_name(shard_name)) return;
    Fd shard = open_subdir(root.get(), shard_name, false);
    if (!shard.valid()) return;
    for_each_entry(shard.get(), [&](const std::string& name) {
      struct stat st {};
      if (::fstatat(shard.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
      if (name.starts_with(kTempPrefix)) {
        if (S_ISREG(st.st_mode) && now - st.st_mtime > kStaleTempSecs)
          ::unlinkat(shard.get(), name.c_str(), 0);
        return;
      }
      // Only files named like blobs are ours to remove; anything else a user
      // put here is left alone.
      std::string ref = shard_name + name;
      if (!is_blob_ref(ref) || !is_lower_hex(name) || !S_ISREG(st.st_mode)) return;
      if (keep.count(ref) != 0) return;
      if (::unlinkat(shard.get(), name.c_str(), 0) == 0) ++removed;
    });
  });
  std::lock_guard lock(mutex_);
  counters_.evicted += removed;
  counted_ = false;
  return removed;
}

}  // namespace strata
