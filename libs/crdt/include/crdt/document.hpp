#pragma once
// crdt::Document: a collaborative document of maps, lists and text under a
// root map, kept identical across replicas by merging changes.
//
// Model
//   - The root map is ObjId::root(). Maps have string keys (iterated in sorted
//     byte order); lists hold values; text objects hold Unicode code points.
//   - Every write is an operation with a unique id (counter, actor). Writes
//     gather into an implicit transaction; commit() turns it into one change
//     (actor, seq, deps = heads it was made on, time, hash). Reads see pending
//     writes at once.
//   - heads() are the hashes of the changes nothing depends on.
//
// Merge rules (the same on every replica, whatever the arrival order)
//   - Map key: a write replaces the values it saw; concurrent writes all stay
//     as conflicts and the winner is the one with the greatest op id (higher
//     counter, then greater actor bytes). conflicts() lists them all.
//   - Lists and text: each element remembers its left and right neighbours at
//     insertion; concurrent inserts at one position are ordered by the
//     non-interleaving rule of Fugue (FugueMax), ties broken by actor bytes, so
//     runs typed concurrently never interleave character by character.
//   - Deletes are idempotent; a list `set` concurrent with a delete of the
//     same element stays deleted; concurrent sets conflict like map keys.
//   - Writes into an object that a concurrent change detached (overwrote or
//     deleted) are kept in history but are unreachable, on every replica.
//
// Threading: one Document is used from one thread. A file-backed document
// runs one background thread of its own for fsync and compaction.
//
// Reads never fail: a missing object, key or index answers nothing (empty
// optional, empty string/vector, 0). Writes answer an error for a missing
// object, a wrong object kind or an index out of range, and change nothing.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "crdt/types.hpp"

namespace crdt {

class Document;

// Per-peer progress of the sync protocol. Keep one per connected peer for as
// long as the connection lives; start a fresh one on reconnect.
class SyncState {
 public:
  SyncState();
  ~SyncState();
  SyncState(SyncState&&) noexcept;
  SyncState& operator=(SyncState&&) noexcept;

  // Call when a message may have been lost (a retransmit timer fired, no
  // answer came): the next generate_sync_message() repeats what the peer may
  // still lack instead of waiting for an answer.
  void reset_in_flight();

  // The peer's heads as last announced (empty before the first message).
  const std::vector<ChangeHash>& their_heads() const;

  struct Impl;

 private:
  friend class Document;
  std::unique_ptr<Impl> impl_;
};

// What opening a file found.
struct OpenReport {
  bool created = false;             // the file did not exist and was made
  std::uint64_t dropped_bytes = 0;  // torn or corrupt tail bytes cut away
  std::string dropped_reason;       // why, when dropped_bytes > 0
  std::size_t changes = 0;          // changes loaded
};

struct OpenOptions {
  // Largest time between a commit and its fsync.
  std::uint32_t flush_interval_ms = 200;
  // Compact when the log part exceeds the snapshot part and this many bytes.
  std::uint64_t compact_min_log_bytes = 256 * 1024;
};

class Document {
 public:
  // In memory, with the given actor or a fresh random one.
  explicit Document(std::optional<ActorId> actor = std::nullopt);
  ~Document();  // commits pending writes, waits for the disk, stops the thread
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Opens (or creates) the document file at `path` with a fresh actor. A torn
  // or corrupted tail is cut away and reported in open_report(). A file that
  // is not a document, has a broken header or an unknown format version is
  // refused with an error and left untouched. The file is locked: a second
  // open of the same file while this one lives is refused.
  static base::Result<Document> open(const std::filesystem::path& path, OpenOptions options = {});
  const OpenReport& open_report() const;

  // Whole document as bytes (every change, compactly) and back.
  std::vector<std::uint8_t> save();
  static base::Result<Document> load(std::span<const std::uint8_t> bytes,
                                     std::optional<ActorId> actor = std::nullopt);

  // ---- reads ----
  std::optional<ObjType> object_type(ObjId obj) const;
  std::optional<Value> get(ObjId map, std::string_view key) const;
  std::optional<Value> get(ObjId list, std::size_t index) const;
  // Every live value under the key, the winner (what get() answers) first.
  std::vector<Value> conflicts(ObjId map, std::string_view key) const;
  std::vector<std::string> keys(ObjId map) const;  // sorted byte order
  std::vector<Value> items(ObjId list) const;      // every element of a list
  // Keys of a map, elements of a list, code points of a text; 0 otherwise.
  std::size_t length(ObjId obj) const;
  std::string text(ObjId text) const;  // UTF-8; empty unless a text object

  // ---- writes (into the pending transaction) ----
  base::Status put(ObjId map, std::string_view key, Scalar value);
  // A new empty object under the key, replacing what was there.
  base::Result<ObjId> put_object(ObjId map, std::string_view key, ObjType type);
  base::Status delete_key(ObjId map, std::string_view key);
  // index may equal length() (append).
  base::Status insert(ObjId list, std::size_t index, Scalar value);
  base::Result<ObjId> insert_object(ObjId list, std::size_t index, ObjType type);
  base::Status set(ObjId list, std::size_t index, Scalar value);
  base::Result<ObjId> set_object(ObjId list, std::size_t index, ObjType type);
  base::Status delete_at(ObjId list, std::size_t index);
  // Deletes `del` code points at `pos`, then inserts `insert` (UTF-8; invalid
  // bytes become U+FFFD) there. Positions count code points.
  base::Status splice_text(ObjId text, std::size_t pos, std::size_t del, std::string_view insert);

  // ---- transactions and history ----
  std::size_t pending_ops() const;
  // Turns the pending writes into one change, written to the file (when open
  // from one) before returning; fsync follows within the flush interval.
  // Answers the change's hash, or nothing when there were no writes.
  // `time` is seconds since the epoch (default: now).
  std::optional<ChangeHash> commit(std::optional<std::int64_t> time = std::nullopt);
  // Waits until every committed change is on the disk.
  base::Status flush();

  const std::vector<ChangeHash>& heads() const;
  const ActorId& actor() const;
  std::size_t changes_count() const;

  // ---- change events ----
  // Objects whose content changed (local commits, merges, sync) since the last
  // call, each once. An object counts as changed when its own keys, elements
  // or text changed, not when something nested inside it did.
  std::vector<ObjId> take_changed_objects();
  // Grows with every applied change; cheap to poll.
  std::uint64_t revision() const;

  // ---- replication ----
  // Brings in every change of `other` that this document lacks.
  base::Status merge(Document& other);
  // The changes made after `heads` (all when empty), encoded, in order.
  std::vector<std::uint8_t> encode_changes_since(const std::vector<ChangeHash>& heads);
  // Applies changes from encode_changes_since(); all or nothing per change.
  base::Status apply_changes(std::span<const std::uint8_t> bytes);

  // Sync protocol: call generate until it answers nothing and send each
  // message to the peer; feed each message from the peer to receive. Lost,
  // duplicated and reordered messages are tolerated (see
  // SyncState::reset_in_flight). A message that fails validation changes
  // nothing and answers an error.
  std::optional<std::vector<std::uint8_t>> generate_sync_message(SyncState& state);
  base::Status receive_sync_message(SyncState& state, std::span<const std::uint8_t> message);

  struct Impl;

 private:
  explicit Document(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Sets the text object to `content` by splicing only the range between the
// common prefix and the common suffix, so unchanged characters keep their
// identity for concurrent edits. No op at all when already equal.
base::Status splice_text_diffed(Document& doc, ObjId text, std::string_view content);

}  // namespace crdt
