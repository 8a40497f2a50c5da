#include "doc/attachment_files.hpp"

#include <fcntl.h>
#include <glib.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>

#include "strata/blobstore.hpp"

namespace chat {
namespace {

constexpr std::array<std::string_view, 7> kVideoExtensions = {"mp4", "webm", "mov", "mkv",
                                                              "m4v", "avi",  "ogv"};
constexpr std::array<std::string_view, 6> kImageExtensions = {"png",  "jpg", "jpeg",
                                                              "webp", "gif", "bmp"};

char ascii_lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), ascii_lower);
  return out;
}

bool extension_in(std::string_view name, std::span<const std::string_view> set) {
  const std::string ext = lower(extension_of(name));
  return std::find(set.begin(), set.end(), ext) != set.end();
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Walks one directory; `depth` 0 is the attachment directory itself.
void collect(const std::filesystem::path& dir, int depth, std::vector<PickerEntry>& out) {
  std::error_code ec;
  std::filesystem::directory_iterator it(dir, ec), end;
  for (; !ec && it != end && out.size() < kPickerCollectLimit; it.increment(ec)) {
    const auto& entry = *it;
    std::error_code type_ec;
    // A linked directory is not walked: it may lead anywhere.
    if (entry.is_directory(type_ec)) {
      if (!entry.is_symlink(type_ec) && depth == 0) collect(entry.path(), depth + 1, out);
      continue;
    }
    PickerEntry e;
    e.path = entry.path();
    e.name = display_name(entry.path().filename().native());
    std::error_code size_ec;
    auto size = entry.file_size(size_ec);
    e.size = size_ec ? 0 : size;
    e.video = has_video_extension(e.name);
    out.push_back(std::move(e));
  }
}

// The canonical form of `path` is inside `dir` (itself canonical) and not `dir` itself.
bool lies_inside(const std::filesystem::path& dir, const std::filesystem::path& path) {
  auto d = dir.begin(), p = path.begin();
  for (; d != dir.end(); ++d, ++p)
    if (p == path.end() || *d != *p) return false;
  return p != path.end();
}

// Opens `rel` below the directory `dirfd` so that resolution can never leave it,
// even if a component is swapped for a link after we checked the path.
int open_beneath(int dirfd, const std::filesystem::path& rel) {
  open_how how{};
  how.flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  long fd = ::syscall(SYS_openat2, dirfd, rel.c_str(), &how, sizeof how);
  if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
  // Kernels before 5.6: the path was canonical a moment ago, so it has no links.
  return ::openat(dirfd, rel.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
}

base::Error fail(std::string_view text) {
  return base::make_error(std::string(text));
}

}  // namespace

std::filesystem::path attachment_dir() {
  const char* env = std::getenv("VESK_CHAT_ATTACH_DIR");
  return env != nullptr ? std::filesystem::path(env) : std::filesystem::path("/var/workspace");
}

std::string_view extension_of(std::string_view name) {
  auto dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

bool has_video_extension(std::string_view name) {
  return extension_in(name, kVideoExtensions);
}
bool has_image_extension(std::string_view name) {
  return extension_in(name, kImageExtensions);
}

std::string display_name(std::string_view raw) {
  gchar* valid = g_utf8_make_valid(raw.data(), static_cast<gssize>(raw.size()));
  std::string out(valid);
  g_free(valid);
  return out;
}

std::string attachment_name(std::string_view raw) {
  const std::string valid = display_name(raw);
  std::string out;
  for (const char* p = valid.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
    const gunichar c = g_utf8_get_char(p);
    const char* next = g_utf8_next_char(p);
    const bool control = c < 32 || (c >= 127 && c <= 159);
    const std::string_view piece = control
                                       ? std::string_view("\xef\xbf\xbd")
                                       : std::string_view(p, static_cast<std::size_t>(next - p));
    if (out.size() + piece.size() > kMaxAttachmentNameBytes) break;
    out += piece;
  }
  return out;
}

base::Result<std::vector<PickerEntry>> list_attachment_files(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::directory_iterator probe(dir, ec);
  if (ec) return fail("workspace is unavailable");
  std::vector<PickerEntry> entries;
  collect(dir, 0, entries);
  std::stable_sort(entries.begin(), entries.end(), [](const PickerEntry& a, const PickerEntry& b) {
    return lower(a.name) < lower(b.name);
  });
  if (entries.size() > kPickerKeepLimit) entries.resize(kPickerKeepLimit);
  return entries;
}

base::Result<ImportedFile> import_attachment_file(const std::filesystem::path& dir,
                                                  const std::filesystem::path& path) {
  std::error_code ec;
  const auto root = std::filesystem::canonical(dir, ec);
  if (ec) return fail("file is unavailable");
  const auto target = std::filesystem::canonical(path.is_absolute() ? path : dir / path, ec);
  if (ec) return fail("file is unavailable");
  if (!lies_inside(root, target)) return fail(kOutsideAttachmentDir);

  Fd root_fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root_fd.get() < 0) return fail("file is unavailable");
  Fd file(open_beneath(root_fd.get(), target.lexically_relative(root)));
  if (file.get() < 0)
    return fail(errno == EXDEV || errno == ELOOP ? kOutsideAttachmentDir : "file is unavailable");
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) return fail("file is unavailable");
  if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > kMaxAttachmentBytes)
    return fail("file is not shareable or exceeds 32 MiB");

  // Reading one byte past the limit tells a file that grew since fstat from one that fits.
  constexpr std::size_t kCap = kMaxAttachmentBytes + 1;
  std::vector<std::uint8_t> bytes(
      std::min<std::size_t>(static_cast<std::size_t>(st.st_size) + 1, kCap));
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (bytes.size() >= kCap) break;
      bytes.resize(std::min(kCap, bytes.size() * 2));
    }
    ssize_t n = ::read(file.get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail("could not read file");
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  if (bytes.empty()) return fail("file is empty");
  if (bytes.size() > kMaxAttachmentBytes) return fail("file exceeds 32 MiB");

  ImportedFile out;
  const auto last = path.filename().native();
  out.name = last.empty() || last == "." || last == ".." ? "file" : attachment_name(last);
  out.size = bytes.size();
  const auto image = strata::blobstore::sniff(bytes);
  out.width = image.width;
  out.height = image.height;
  auto ref = strata::blobstore::put(bytes);
  if (!ref.ok()) return fail("shared content store refused the attachment");
  auto back = strata::blobstore::get(*ref);
  if (!back || *back != bytes) return fail("shared byte verification failed");
  out.blob = std::move(*ref);
  out.video = has_video_extension(out.name);
  return out;
}

}  // namespace chat
