#include "storage.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/log.hpp"
#include "bytes.hpp"

namespace crdt::detail {
namespace {

constexpr char kMagic[8] = {'V', 'E', 'S', 'K', 'C', 'R', 'D', 'T'};
// A single record larger than this is taken as corruption of its length.
constexpr std::uint32_t kMaxRecord = 1u << 30;

std::string errno_text(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

std::uint32_t record_crc(std::uint8_t type, std::uint32_t len, std::span<const std::uint8_t> p) {
  Writer w;
  w.u8(type);
  w.u32le(len);
  w.raw(p.data(), p.size());
  return crc32(w.buf());
}

void fsync_dir(const std::filesystem::path& file) {
  auto dir = file.parent_path();
  if (dir.empty()) dir = ".";
  int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d >= 0) {
    ::fsync(d);
    ::close(d);
  }
}

bool read_file(int fd, std::vector<std::uint8_t>& out) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  out.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::pread(fd, out.data() + got, out.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return true;
}

bool write_fd(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> file_header() {
  Writer w;
  w.raw(kMagic, sizeof kMagic);
  w.u32le(kFileFormatVersion);
  w.u32le(crc32(w.buf()));
  return w.take();
}

std::vector<std::uint8_t> encode_record(std::uint8_t type, std::span<const std::uint8_t> payload) {
  Writer w;
  w.u8(type);
  w.u32le(static_cast<std::uint32_t>(payload.size()));
  w.u32le(record_crc(type, static_cast<std::uint32_t>(payload.size()), payload));
  w.raw(payload.data(), payload.size());
  return w.take();
}

base::Result<ParsedFile> parse_file(std::span<const std::uint8_t> image) {
  if (image.size() < kHeaderSize) {
    if (image.size() >= sizeof kMagic && std::memcmp(image.data(), kMagic, sizeof kMagic) == 0)
      return base::make_error("document file is truncated inside its header");
    return base::make_error("not a document file (too short, no header)");
  }
  if (std::memcmp(image.data(), kMagic, sizeof kMagic) != 0)
    return base::make_error("not a document file (wrong magic bytes)");
  Reader h(image.subspan(8, 8));
  const std::uint32_t version = h.u32le();
  const std::uint32_t crc = h.u32le();
  if (crc != crc32(image.first(12))) return base::make_error("document file header is corrupt");
  if (version != kFileFormatVersion)
    return base::make_error("document file has format version " + std::to_string(version) +
                            ", this program reads version " + std::to_string(kFileFormatVersion));
  ParsedFile out;
  std::size_t pos = kHeaderSize;
  while (pos < image.size()) {
    if (image.size() - pos < kRecordHeaderSize) {
      out.tail_problem = "torn record header at the end";
      break;
    }
    Reader r(image.subspan(pos, kRecordHeaderSize));
    const std::uint8_t type = r.u8();
    const std::uint32_t len = r.u32le();
    const std::uint32_t crc_rec = r.u32le();
    if (type != kRecordChange && type != kRecordSnapshot) {
      out.tail_problem = "unknown record type " + std::to_string(type);
      break;
    }
    if (len > kMaxRecord || len > image.size() - pos - kRecordHeaderSize) {
      out.tail_problem = "torn record (shorter than its length)";
      break;
    }
    auto payload = image.subspan(pos + kRecordHeaderSize, len);
    if (record_crc(type, len, payload) != crc_rec) {
      out.tail_problem = "record checksum mismatch";
      break;
    }
    out.records.push_back(Record{type, {payload.begin(), payload.end()}});
    pos += kRecordHeaderSize + len;
  }
  out.good_size = pos;
  if (out.tail_problem.empty()) out.good_size = image.size();
  return out;
}

base::Result<std::unique_ptr<Storage>> Storage::open(const std::filesystem::path& path,
                                                     const OpenOptions& options,
                                                     std::vector<Record>& records,
                                                     OpenReport& report) {
  std::unique_ptr<Storage> s(new Storage());
  s->path_ = path;
  s->options_ = options;
  for (int attempt = 0;; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      // Made aside and linked into place, so the path never names a file
      // without a complete header, and a racing creator is not overwritten.
      auto tmp = path;
      tmp += ".new";
      int t = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (t < 0) return base::make_error(errno_text(("cannot create " + tmp.string()).c_str()));
      const auto header = file_header();
      const bool ok = write_fd(t, header) && ::fsync(t) == 0;
      ::close(t);
      if (!ok) {
        ::unlink(tmp.c_str());
        return base::make_error(errno_text(("cannot write " + tmp.string()).c_str()));
      }
      if (::link(tmp.c_str(), path.c_str()) == 0) report.created = true;
      ::unlink(tmp.c_str());
      fsync_dir(path);
      continue;
    }
    if (fd < 0) return base::make_error(errno_text(("cannot open " + path.string()).c_str()));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return base::make_error("document file " + path.string() +
                              " is already open (by this or another process)");
    }
    // A compaction elsewhere may have renamed a new file over the one we
    // opened between open and lock; then the lock guards a dead file.
    struct stat a {
    }, b{};
    if (::fstat(fd, &a) != 0 || ::stat(path.c_str(), &b) != 0 || a.st_ino != b.st_ino) {
      ::close(fd);
      if (attempt < 8) continue;
      return base::make_error("document file " + path.string() + " keeps changing under us");
    }
    s->fd_ = fd;
    break;
  }
  std::vector<std::uint8_t> image;
  if (!read_file(s->fd_, image)) return base::make_error(errno_text("cannot read document file"));
  auto parsed = parse_file(image);
  if (!parsed.ok()) return base::make_error(path.string() + ": " + parsed.error());
  if (parsed->good_size < image.size()) {
    report.dropped_bytes = image.size() - parsed->good_size;
    report.dropped_reason = parsed->tail_problem;
    base::log::warn("crdt", "{}: cutting {} bytes at the end ({})", path.string(),
                    report.dropped_bytes, parsed->tail_problem);
    if (::ftruncate(s->fd_, static_cast<off_t>(parsed->good_size)) != 0 || ::fsync(s->fd_) != 0)
      return base::make_error(errno_text("cannot cut the damaged end of the document file"));
  }
  s->file_size_ = parsed->good_size;
  for (auto& r : parsed->records) {
    const std::uint64_t size = kRecordHeaderSize + r.payload.size();
    if (r.type == kRecordSnapshot) {
      s->snapshot_bytes_ = size;
      s->log_bytes_ = 0;
    } else {
      s->log_bytes_ += size;
    }
  }
  records = std::move(parsed->records);
  return s;
}

Storage::~Storage() {
  {
    std::unique_lock lock(mu_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

void Storage::append_change(std::span<const std::uint8_t> change) {
  const auto rec = encode_record(kRecordChange, change);
  {
    std::unique_lock lock(mu_);
    if (!error_.empty()) return;
    if (!write_fd(fd_, rec)) {
      error_ = errno_text("cannot write to the document file");
      base::log::error("crdt", "{}: {}", path_.string(), error_);
      // Cut a partial record so later opens see a clean end.
      if (::ftruncate(fd_, static_cast<off_t>(file_size_)) != 0) {
        base::log::error("crdt", "{}: cannot cut a partial record", path_.string());
      }
      return;
    }
    file_size_ += rec.size();
    log_bytes_ += rec.size();
    ++written_;
    start_thread();
    if (compacting_) carry_.insert(carry_.end(), rec.begin(), rec.end());
  }
  wake_.notify_all();
}

base::Status Storage::flush() {
  std::unique_lock lock(mu_);
  const std::uint64_t target = written_;
  ++flush_waiters_;
  wake_.notify_all();
  // A compaction under way finishes first, so the file is settled afterwards.
  synced_cv_.wait(lock,
                  [&] { return (synced_ >= target && !compacting_) || !error_.empty() || stop_; });
  --flush_waiters_;
  if (!error_.empty()) return base::make_error(error_);
  return {};
}

bool Storage::should_compact() const {
  std::unique_lock lock(mu_);
  return !compacting_ && error_.empty() && log_bytes_ > options_.compact_min_log_bytes &&
         log_bytes_ > snapshot_bytes_;
}

void Storage::compact(std::function<std::vector<std::uint8_t>()> make) {
  {
    std::unique_lock lock(mu_);
    if (compacting_) return;
    compacting_ = true;
    carry_.clear();
    pending_snapshot_ = std::move(make);
    start_thread();
  }
  wake_.notify_all();
}

// Started by the first write: a document that is only read costs no thread.
void Storage::start_thread() {
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void Storage::run() {
  std::unique_lock lock(mu_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || written_ > synced_ || pending_snapshot_; });
    if (pending_snapshot_) {
      do_compact(lock);
      continue;
    }
    if (written_ > synced_) {
      // Gather the commits of one interval into one fdatasync.
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.flush_interval_ms);
      wake_.wait_until(lock, deadline, [&] { return stop_ || flush_waiters_ > 0; });
      const std::uint64_t target = written_;
      const int fd = fd_;
      lock.unlock();
      const int rc = ::fdatasync(fd);
      lock.lock();
      if (rc != 0 && error_.empty()) error_ = errno_text("cannot sync the document file");
      synced_ = std::max(synced_, target);
      synced_cv_.notify_all();
      continue;
    }
    if (stop_) break;
  }
}

void Storage::do_compact(std::unique_lock<std::mutex>& lock) {
  auto make = std::move(pending_snapshot_);
  pending_snapshot_ = nullptr;
  lock.unlock();
  const auto snapshot = make();
  auto tmp = path_;
  tmp += ".compact";
  int t = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  bool ok = t >= 0;
  const auto rec = encode_record(kRecordSnapshot, snapshot);
  ok = ok && ::flock(t, LOCK_EX | LOCK_NB) == 0;
  ok = ok && write_fd(t, file_header()) && write_fd(t, rec) && ::fdatasync(t) == 0;
  lock.lock();
  if (ok) ok = write_fd(t, carry_) && ::rename(tmp.c_str(), path_.c_str()) == 0;
  if (!ok) {
    base::log::warn("crdt", "{}: compaction failed: {}", path_.string(), std::strerror(errno));
    if (t >= 0) ::close(t), ::unlink(tmp.c_str());
    compacting_ = false;
    carry_.clear();
    synced_cv_.notify_all();
    return;
  }
  const int old = fd_;
  fd_ = t;
  snapshot_bytes_ = rec.size();
  log_bytes_ = carry_.size();
  file_size_ = kHeaderSize + rec.size() + carry_.size();
  carry_.clear();
  compacting_ = false;
  const std::uint64_t target = written_;
  lock.unlock();
  ::close(old);
  const int rc = ::fdatasync(t);
  fsync_dir(path_);
  lock.lock();
  if (rc != 0 && error_.empty()) error_ = errno_text("cannot sync the compacted document file");
  synced_ = std::max(synced_, target);
  synced_cv_.notify_all();
}

}  // namespace crdt::detail
