// The sync protocol. Each message carries the sender's heads, how many
// changes of each actor it has (its version vector: changes of one actor are
// sequential and applied in order, so the count says exactly which it has),
// and the changes it believes the receiver lacks, each with its hash:
//
//   u8 'S' | u8 version | uvar n_heads, 32 bytes each |
//   uvar n_actors, (16 bytes actor, uvar count) each |
//   uvar n_changes, (32 bytes hash, uvar length, change bytes) each
//
// The first message goes out without changes; the answer carries everything
// the other side lacks, so two replicas meet in one round trip plus an ack.
// Changes whose dependencies have not arrived yet wait inside the document.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "bytes.hpp"
#include "doc_impl.hpp"

namespace crdt {

using VersionVector = std::unordered_map<ActorId, std::uint64_t, detail::ActorHash>;

struct SyncState::Impl {
  bool heard = false;
  std::vector<ChangeHash> their_heads;
  VersionVector their_have;
  std::unordered_set<ChangeHash, detail::HashHash> sent;  // since the last reset
  bool sent_any = false;
  std::vector<ChangeHash> last_sent_heads;
};

SyncState::SyncState() : impl_(std::make_unique<Impl>()) {}
SyncState::~SyncState() = default;
SyncState::SyncState(SyncState&&) noexcept = default;
SyncState& SyncState::operator=(SyncState&&) noexcept = default;

void SyncState::reset_in_flight() {
  impl_->sent.clear();
  impl_->sent_any = false;
  impl_->last_sent_heads.clear();
}

const std::vector<ChangeHash>& SyncState::their_heads() const {
  return impl_->their_heads;
}

namespace {
constexpr std::uint8_t kSyncTag = 'S';
constexpr std::uint8_t kSyncVersion = 1;

struct Message {
  std::vector<ChangeHash> heads;
  VersionVector have;
  std::vector<std::pair<detail::Change, std::vector<std::uint8_t>>> changes;
};

std::optional<Message> decode_message(std::span<const std::uint8_t> bytes, std::string& why) {
  detail::Reader r(bytes);
  if (r.u8() != kSyncTag || r.u8() != kSyncVersion) {
    why = "not a sync message of a known version";
    return std::nullopt;
  }
  Message m;
  m.heads.resize(r.count(32));
  for (auto& h : m.heads) {
    auto s = r.take(32);
    if (!r.ok()) break;
    std::memcpy(h.data(), s.data(), 32);
  }
  const std::size_t n_actors = r.count(17);
  for (std::size_t i = 0; i < n_actors && r.ok(); ++i) {
    ActorId a;
    auto s = r.take(16);
    if (!r.ok()) break;
    std::memcpy(a.data(), s.data(), 16);
    m.have[a] = r.uvar();
  }
  const std::size_t n_changes = r.count(34);
  for (std::size_t i = 0; i < n_changes && r.ok(); ++i) {
    ChangeHash claimed;
    auto s = r.take(32);
    if (!r.ok()) break;
    std::memcpy(claimed.data(), s.data(), 32);
    auto b = r.bytes();
    if (!r.ok()) break;
    if (detail::hash_bytes(b) != claimed) {
      why = "a change in the sync message does not match its hash";
      return std::nullopt;
    }
    auto c = detail::decode_change(b);
    if (!c) {
      why = "a change in the sync message is malformed";
      return std::nullopt;
    }
    m.changes.emplace_back(std::move(*c), std::vector<std::uint8_t>(b.begin(), b.end()));
  }
  if (!r.ok() || !r.done()) {
    why = "malformed sync message";
    return std::nullopt;
  }
  return m;
}
}  // namespace

VersionVector Document::Impl::version_vector() const {
  VersionVector vv;
  for (std::size_t a = 0; a < actors.size(); ++a)
    if (!actor_changes[a].empty()) vv[actors[a]] = actor_changes[a].size();
  return vv;
}

std::vector<std::uint32_t> Document::Impl::changes_missing_from(const VersionVector& have) const {
  std::vector<std::uint32_t> out;
  for (std::size_t a = 0; a < actors.size(); ++a) {
    auto it = have.find(actors[a]);
    const std::uint64_t known = it == have.end() ? 0 : it->second;
    const auto& mine = actor_changes[a];
    for (std::uint64_t s = known; s < mine.size(); ++s) out.push_back(mine[s]);
  }
  std::sort(out.begin(), out.end());  // application order is a dependency order
  return out;
}

std::optional<std::vector<std::uint8_t>> Document::generate_sync_message(SyncState& state) {
  commit();
  auto& s = *state.impl_;
  const auto& heads = impl_->heads;
  std::vector<std::uint32_t> to_send;
  if (s.heard) {
    for (auto i : impl_->changes_missing_from(s.their_have))
      if (!s.sent.contains(impl_->changes[i].hash)) to_send.push_back(i);
  }
  const bool news = !s.sent_any || s.last_sent_heads != heads;
  if (to_send.empty() && (!news || (s.heard && s.their_heads == heads && s.sent_any)))
    return std::nullopt;
  detail::Writer w;
  w.u8(kSyncTag);
  w.u8(kSyncVersion);
  w.uvar(heads.size());
  for (auto& h : heads) w.raw(h.data(), h.size());
  auto vv = impl_->version_vector();
  w.uvar(vv.size());
  for (auto& [a, n] : vv) w.raw(a.data(), a.size()), w.uvar(n);
  w.uvar(to_send.size());
  for (auto i : to_send) {
    const auto& rec = impl_->changes[i];
    w.raw(rec.hash.data(), rec.hash.size());
    w.bytes(rec.bytes);
    s.sent.insert(rec.hash);
  }
  s.sent_any = true;
  s.last_sent_heads = heads;
  return w.take();
}

base::Status Document::receive_sync_message(SyncState& state,
                                            std::span<const std::uint8_t> message) {
  std::string why;
  auto m = decode_message(message, why);
  if (!m) return base::make_error(why);
  commit();
  auto& s = *state.impl_;
  std::string first_error;
  for (auto& [c, b] : m->changes) {
    const ActorId author = c.actors[0];
    const std::uint64_t seq = c.seq;
    auto r = impl_->apply_change(std::move(c), std::move(b), true);
    if (!r.ok()) {
      if (first_error.empty()) first_error = r.error();
      continue;
    }
    // The sender has it, whatever its (possibly older) version vector says.
    auto& have = s.their_have[author];
    have = std::max(have, seq);
  }
  impl_->drain_waiting();
  for (auto& [a, n] : m->have) {
    auto& have = s.their_have[a];
    have = std::max(have, n);
  }
  s.their_heads = std::move(m->heads);
  s.heard = true;
  if (!first_error.empty()) return base::make_error(first_error);
  return {};
}

}  // namespace crdt
