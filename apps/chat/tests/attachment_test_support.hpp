#pragma once
// Fixtures for the attachment tests: a scratch directory per test, a blob
// store installed over a scratch root, and small files to import.

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "strata/blob_store.hpp"
#include "strata/blobstore.hpp"

namespace chat::testing {

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "chat-attach-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (!it->is_symlink()) ::chmod(it->path().c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline void write_bytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline void write_text(const std::filesystem::path& p, std::string_view text) {
  write_bytes(p, std::vector<std::uint8_t>(text.begin(), text.end()));
}

inline std::vector<std::uint8_t> read_bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file of `size` zero bytes, made without writing them.
inline void write_sized(const std::filesystem::path& p, std::uint64_t size) {
  write_text(p, "");
  std::filesystem::resize_file(p, size);
}

// A blob store over its own scratch root, installed as the process-wide
// store for the life of the object.
class InstalledStore {
 public:
  explicit InstalledStore(strata::BlobStoreLimits limits = {})
      : store_(std::make_shared<strata::FsBlobStore>(dir_ / "blobs", limits)) {
    strata::blobstore::set_store(store_);
  }
  ~InstalledStore() { strata::blobstore::set_store(nullptr); }
  strata::FsBlobStore& store() { return *store_; }
  const std::filesystem::path& root() const { return store_->root(); }

 private:
  ScratchDir dir_;
  std::shared_ptr<strata::FsBlobStore> store_;
};

}  // namespace chat::testing
