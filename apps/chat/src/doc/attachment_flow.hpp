#pragma once
// The attachment flow of the composer: the picker listing of the attachment
// directory, the import of one picked file, the status texts the sheet shows,
// and the hand-over of a finished import as a message to send.
//
// The flow lives on the UI thread and takes no locks of its own. The listing
// and each import run on a thread of their own and report one result each over
// a channel that `drain` (called by the frame cycle) empties without waiting.
// Every request carries an id from a counter that never wraps, and only the
// result of the request still outstanding is accepted.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "doc/attachment_channel.hpp"
#include "doc/attachment_files.hpp"
#include "model/attachment.hpp"
#include "model/chat_action.hpp"

namespace chat {

// The attachment a finished import becomes: Video when named like one, Image
// when both sniffed sides are known and at most 16384, otherwise File. The
// import result never becomes a message that replicas would drop while the
// sender reads "Attachment shared".
Attachment attachment_of(const ImportedFile& file);

struct ListingResult {
  std::uint64_t id = 0;
  base::Result<std::vector<PickerEntry>> entries = std::vector<PickerEntry>{};
};

struct ImportResult {
  std::uint64_t id = 0;
  base::Result<ImportedFile> file = ImportedFile{};
};

struct PendingImport {
  std::uint64_t id = 0;
  std::string channel;
  std::string author;
};

class AttachmentFlow {
 public:
  struct Hooks {
    // The permission context's answer for an attachment import; asked when an
    // import starts and again when its result arrives.
    std::function<bool()> import_permitted = [] { return true; };
    // The local person, author of what the user shares.
    std::function<std::string()> local_user = [] { return std::string(); };
    // Dispatches the SendMessage of a finished import through the action path.
    std::function<void(ChatAction)> dispatch = [](ChatAction) {};
    // "m_" and 32 hex digits of a fresh version-4 UUID.
    std::function<std::string()> new_message_id;
    // Whole seconds since the Unix epoch (now_secs).
    std::function<std::int64_t()> now;
  };

  AttachmentFlow(std::filesystem::path dir, Hooks hooks);
  // Waits for the worker threads still running; each is bounded by one
  // directory listing or one file of at most 32 MiB.
  ~AttachmentFlow();
  AttachmentFlow(const AttachmentFlow&) = delete;
  AttachmentFlow& operator=(const AttachmentFlow&) = delete;

  // Shows the picker and starts listing the attachment directory.
  void open_picker();
  void close_picker();
  // Starts importing `path` into `channel`; answers whether it started.
  bool start_import(const std::string& channel, const std::filesystem::path& path);

  // Frame cycle: handles every result that has arrived; never waits.
  void drain();
  void handle_listing_result(ListingResult result);
  void handle_import_result(ImportResult result);

  // Blocks until a result is waiting to be drained, or the time is up; for
  // callers that must wait (tests, a shot renderer), never for the frame cycle.
  bool wait_for_result(std::chrono::milliseconds timeout);

  const std::filesystem::path& dir() const { return dir_; }
  const std::optional<std::string>& status() const { return status_; }
  bool picker_open() const { return picker_open_; }
  const std::vector<PickerEntry>& entries() const { return entries_; }
  std::optional<std::uint64_t> outstanding_listing() const { return outstanding_listing_; }
  const std::optional<PendingImport>& pending_import() const { return pending_; }
  std::uint64_t picker_counter() const { return picker_counter_; }
  std::uint64_t import_counter() const { return import_counter_; }
  // Puts the request counters where an earlier state left them.
  void set_counters(std::uint64_t picker, std::uint64_t import);

 private:
  using Result = std::variant<ListingResult, ImportResult>;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  // Runs `task` on a new thread; `failed` is reported in its place when the
  // thread cannot start or the task throws.
  void spawn(std::function<Result()> task, Result failed);
  void reap_finished();

  std::filesystem::path dir_;
  Hooks hooks_;
  std::shared_ptr<AttachmentChannel<Result>> results_;
  std::vector<Worker> workers_;

  bool picker_open_ = false;
  std::vector<PickerEntry> entries_;
  std::uint64_t picker_counter_ = 0;
  std::optional<std::uint64_t> outstanding_listing_;
  std::uint64_t import_counter_ = 0;
  std::optional<PendingImport> pending_;
  std::optional<std::string> status_;
};

}  // namespace chat
