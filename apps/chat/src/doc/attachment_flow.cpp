#include "doc/attachment_flow.hpp"

#include <atomic>
#include <limits>
#include <system_error>

#include "base/random.hpp"
#include "model/clock.hpp"

namespace chat {
namespace {

constexpr std::uint64_t kCounterMax = std::numeric_limits<std::uint64_t>::max();
// The error of a listing or import whose worker could not run to its end
// (no thread to be had, or memory ran out).
constexpr std::string_view kWorkerFailed = "attachment worker could not run";

}  // namespace

Attachment attachment_of(const ImportedFile& file) {
  if (file.video) return Attachment::Video{file.name, file.blob, 0, 0, file.size};
  // An image too large for any replica to accept still goes out, as a file.
  if (file.width != 0 && file.height != 0 && file.width <= kMaxImageSide &&
      file.height <= kMaxImageSide)
    return Attachment::Image{file.name, file.blob, file.width, file.height};
  return Attachment::File{file.name, file.blob, file.size};
}

AttachmentFlow::AttachmentFlow(std::filesystem::path dir, Hooks hooks)
    : dir_(std::move(dir)),
      hooks_(std::move(hooks)),
      results_(std::make_shared<AttachmentChannel<Result>>()) {
  if (!hooks_.new_message_id)
    hooks_.new_message_id = [] { return "m_" + base::Uuid::v4().simple(); };
  if (!hooks_.now) hooks_.now = now_secs;
}

AttachmentFlow::~AttachmentFlow() {
  for (auto& w : workers_) w.thread.join();
}

void AttachmentFlow::set_counters(std::uint64_t picker, std::uint64_t import) {
  picker_counter_ = picker;
  import_counter_ = import;
}

void AttachmentFlow::spawn(std::function<Result()> task, Result failed) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  try {
    std::thread thread([task = std::move(task), failed, results = results_, done]() mutable {
      // Whatever happens on the worker, the frame cycle gets its one result.
      try {
        results->send(task());
      } catch (...) {
        results->send(std::move(failed));
      }
      done->store(true);
    });
    workers_.push_back(Worker{std::move(thread), std::move(done)});
  } catch (const std::system_error&) {
    results_->send(std::move(failed));
  }
}

void AttachmentFlow::reap_finished() {
  std::erase_if(workers_, [](Worker& w) {
    if (!w.done->load()) return false;
    w.thread.join();
    return true;
  });
}

void AttachmentFlow::open_picker() {
  if (outstanding_listing_) {
    // Reopening a sheet closed while the listing runs shows it again; the
    // listing already on its way fills it.
    picker_open_ = true;
    status_ = "Loading attachments…";
    return;
  }
  if (picker_counter_ == kCounterMax) {
    status_ = "Attachment picker unavailable: request counter exhausted";
    return;
  }
  const std::uint64_t id = picker_counter_++;
  outstanding_listing_ = id;
  status_ = "Loading attachments…";
  picker_open_ = true;
  spawn(
      [dir = dir_, id]() -> Result {
        return ListingResult{id, list_attachment_files(dir)};
      },
      ListingResult{id, base::make_error(std::string(kWorkerFailed))});
}

void AttachmentFlow::close_picker() {
  picker_open_ = false;
}

bool AttachmentFlow::start_import(const std::string& channel, const std::filesystem::path& path) {
  if (!hooks_.import_permitted()) return false;
  if (pending_) return false;
  if (import_counter_ == kCounterMax) {
    status_ = "Attachment import unavailable: request counter exhausted";
    return false;
  }
  const std::uint64_t id = import_counter_++;
  pending_ = PendingImport{id, channel, hooks_.local_user()};
  status_ = "Preparing attachment…";
  spawn(
      [dir = dir_, path, id]() -> Result {
        return ImportResult{id, import_attachment_file(dir, path)};
      },
      ImportResult{id, base::make_error(std::string(kWorkerFailed))});
  return true;
}

void AttachmentFlow::drain() {
  while (auto result = results_->try_recv()) {
    if (auto* listing = std::get_if<ListingResult>(&*result))
      handle_listing_result(std::move(*listing));
    else
      handle_import_result(std::move(std::get<ImportResult>(*result)));
  }
  reap_finished();
}

bool AttachmentFlow::wait_for_result(std::chrono::milliseconds timeout) {
  return results_->wait(timeout);
}

void AttachmentFlow::handle_listing_result(ListingResult result) {
  if (!outstanding_listing_ || *outstanding_listing_ != result.id) return;
  outstanding_listing_.reset();
  if (!picker_open_) {
    status_ = "Attachment picker cancelled";
    return;
  }
  if (!result.entries.ok()) {
    status_ = "Attachment picker failed: " + result.entries.error();
    return;
  }
  entries_ = std::move(result.entries.value());
  status_.reset();
}

void AttachmentFlow::handle_import_result(ImportResult result) {
  if (!pending_ || pending_->id != result.id) {
    status_ = "Attachment import discarded: stale result";
    return;
  }
  PendingImport pending = std::move(*pending_);
  pending_.reset();
  if (!result.file.ok()) {
    status_ = "Attachment import failed: " + result.file.error();
    return;
  }
  if (!hooks_.import_permitted()) {
    status_ = "Attachment import cancelled: permission changed";
    return;
  }
  ChatAction::SendMessage send;
  send.channel = std::move(pending.channel);
  send.id = hooks_.new_message_id();
  send.author = std::move(pending.author);
  send.ts = hooks_.now();
  send.attachment = attachment_of(result.file.value());
  hooks_.dispatch(std::move(send));
  status_ = "Attachment shared";
}

}  // namespace chat
