#pragma once
// The document file: a header, then checksummed records appended one by one.
//
//   header  "VESKCRDT" | u32 format version | u32 crc32 of the 12 bytes before
//   record  u8 type | u32 payload length | u32 crc32 of type, length, payload | payload
//           type 1: one change (its canonical encoding)
//           type 2: a snapshot of the whole document (Document::save bytes)
//
// All integers little-endian. A commit writes its record before returning; a
// background thread fdatasyncs in groups at most flush_interval_ms later and
// compacts (new file = header + snapshot + records that arrived meanwhile,
// fsync, rename, fsync of the directory) when the log outgrows the snapshot.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "base/result.hpp"
#include "crdt/document.hpp"

namespace crdt::detail {

inline constexpr std::uint8_t kRecordChange = 1;
inline constexpr std::uint8_t kRecordSnapshot = 2;
inline constexpr std::uint32_t kFileFormatVersion = 1;
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kRecordHeaderSize = 9;

struct Record {
  std::uint8_t type = 0;
  std::vector<std::uint8_t> payload;
};

// Parses a whole file image. Refuses a bad header; stops at the first torn or
// corrupt record and reports where the good part ends.
struct ParsedFile {
  std::vector<Record> records;
  std::size_t good_size = 0;
  std::string tail_problem;
};
base::Result<ParsedFile> parse_file(std::span<const std::uint8_t> image);
std::vector<std::uint8_t> file_header();
std::vector<std::uint8_t> encode_record(std::uint8_t type, std::span<const std::uint8_t> payload);

class Storage {
 public:
  static base::Result<std::unique_ptr<Storage>> open(const std::filesystem::path& path,
                                                     const OpenOptions& options,
                                                     std::vector<Record>& records,
                                                     OpenReport& report);
  ~Storage();

  // Writes the record now (to the page cache); fsync follows in the background.
  void append_change(std::span<const std::uint8_t> change);
  // Waits until everything appended so far is on the disk.
  base::Status flush();
  bool should_compact() const;
  // Replaces the file with the snapshot `make` produces (on the background
  // thread) plus what is appended from now on.
  void compact(std::function<std::vector<std::uint8_t>()> make);

 private:
  Storage() = default;
  void run();
  void start_thread();  // with mu_ held
  void do_compact(std::unique_lock<std::mutex>& lock);

  std::filesystem::path path_;
  OpenOptions options_;
  int fd_ = -1;

  mutable std::mutex mu_;
  std::condition_variable wake_;
  std::condition_variable synced_cv_;
  std::uint64_t written_ = 0;  // records written
  std::uint64_t synced_ = 0;   // records known on the disk
  std::uint64_t file_size_ = 0;
  std::uint64_t log_bytes_ = 0;       // change records after the snapshot
  std::uint64_t snapshot_bytes_ = 0;  // the snapshot record
  std::string error_;
  bool stop_ = false;
  bool compacting_ = false;
  int flush_waiters_ = 0;
  std::function<std::vector<std::uint8_t>()> pending_snapshot_;
  std::vector<std::uint8_t> carry_;  // records appended while a compaction runs
  std::thread thread_;
};

}  // namespace crdt::detail
