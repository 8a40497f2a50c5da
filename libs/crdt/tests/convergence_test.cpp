// Replicas editing concurrently and syncing over a network that drops,
// duplicates and reorders messages end up identical in content and heads.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "crdt/document.hpp"
#include "test_util.hpp"

namespace crdt {
namespace {

struct Packet {
  std::size_t from, to;
  std::vector<std::uint8_t> bytes;
};

class Network {
 public:
  Network(std::size_t n, std::uint32_t seed) : rng_(seed), n_(n) {
    for (std::size_t i = 0; i < n; ++i) {
      docs_.emplace_back(testing::actor_of(static_cast<std::uint8_t>(i + 1)));
      states_.emplace_back(n);
    }
  }

  Document& doc(std::size_t i) { return docs_[i]; }

  // Every replica offers a message to every peer; the wire loses, copies and
  // shuffles them.
  void generate() {
    for (std::size_t a = 0; a < n_; ++a)
      for (std::size_t b = 0; b < n_; ++b) {
        if (a == b) continue;
        auto m = docs_[a].generate_sync_message(states_[a][b]);
        if (!m) continue;
        ++sent_;
        if (rng_() % 100 < drop_pct) continue;
        wire_.push_back({a, b, *m});
        if (rng_() % 100 < dup_pct) wire_.push_back({a, b, *m});
      }
  }

  // Delivers up to `count` packets in random order.
  void deliver(std::size_t count) {
    while (count-- > 0 && !wire_.empty()) {
      const std::size_t i = rng_() % wire_.size();
      Packet p = std::move(wire_[i]);
      wire_.erase(wire_.begin() + static_cast<std::ptrdiff_t>(i));
      ASSERT_TRUE(docs_[p.to].receive_sync_message(states_[p.to][p.from], p.bytes).ok());
    }
  }

  // What a retransmit timer does after silence.
  void retry_all() {
    for (auto& row : states_)
      for (auto& s : row) s.reset_in_flight();
  }

  bool converged() {
    for (std::size_t i = 1; i < n_; ++i)
      if (docs_[i].heads() != docs_[0].heads()) return false;
    return true;
  }

  std::size_t sent() const { return sent_; }
  bool wire_empty() const { return wire_.empty(); }

  unsigned drop_pct = 20;
  unsigned dup_pct = 10;

 private:
  std::mt19937 rng_;
  std::size_t n_;
  std::vector<Document> docs_;
  std::vector<std::vector<SyncState>> states_;
  std::deque<Packet> wire_;
  std::size_t sent_ = 0;
};

TEST(CrdtConvergence, ReplicasOverALossyNetworkEndIdentical) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    const std::size_t n = 3 + seed % 3;
    Network net(n, seed);
    std::mt19937 rng(seed * 7919);
    for (int round = 0; round < 30; ++round) {
      for (std::size_t i = 0; i < n; ++i) {
        const int edits = static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) testing::random_edit(net.doc(i), rng);
        if (rng() % 2) net.doc(i).commit(round);
      }
      net.generate();
      net.deliver(rng() % 12);
      if (::testing::Test::HasFatalFailure()) return;
    }
    // Quiet period: edits stop, the network keeps its faults; retries happen
    // whenever the wire falls silent.
    int idle = 0;
    for (int step = 0; step < 400 && !net.converged(); ++step) {
      net.generate();
      net.deliver(8);
      if (::testing::Test::HasFatalFailure()) return;
      if (net.wire_empty() && ++idle % 2 == 0) net.retry_all();
    }
    ASSERT_TRUE(net.converged()) << "seed " << seed;
    const auto expect = testing::dump(net.doc(0));
    for (std::size_t i = 1; i < n; ++i)
      EXPECT_EQ(testing::dump(net.doc(i)), expect) << "seed " << seed << " replica " << i;
    for (std::size_t i = 0; i < n; ++i) {
      auto again = Document::load(net.doc(i).save());
      ASSERT_TRUE(again.ok());
      EXPECT_EQ(testing::dump(*again), expect);
    }
  }
}

TEST(CrdtConvergence, TwoReplicasMeetInOneRoundTripPlusAck) {
  Document a(testing::actor_of(1)), b(testing::actor_of(2));
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(a.put(ObjId::root(), "a" + std::to_string(i), std::int64_t{i}).ok());
    ASSERT_TRUE(b.put(ObjId::root(), "b" + std::to_string(i), std::int64_t{i}).ok());
    a.commit(), b.commit();
  }
  SyncState sa, sb;
  int messages = 0;
  auto m1 = a.generate_sync_message(sa);  // heads + what a has
  ASSERT_TRUE(m1);
  ++messages;
  ASSERT_TRUE(b.receive_sync_message(sb, *m1).ok());
  auto m2 = b.generate_sync_message(sb);  // everything a lacks
  ASSERT_TRUE(m2);
  ++messages;
  ASSERT_TRUE(a.receive_sync_message(sa, *m2).ok());
  auto m3 = a.generate_sync_message(sa);  // everything b lacks
  ASSERT_TRUE(m3);
  ++messages;
  ASSERT_TRUE(b.receive_sync_message(sb, *m3).ok());
  EXPECT_EQ(a.heads(), b.heads());
  EXPECT_EQ(testing::dump(a), testing::dump(b));
  // At most an acknowledgement remains, then both fall silent.
  for (int i = 0; i < 3; ++i) {
    if (auto m = b.generate_sync_message(sb)) {
      ++messages;
      ASSERT_TRUE(a.receive_sync_message(sa, *m).ok());
    }
    if (auto m = a.generate_sync_message(sa)) {
      ++messages;
      ASSERT_TRUE(b.receive_sync_message(sb, *m).ok());
    }
  }
  EXPECT_LE(messages, 5);
  EXPECT_FALSE(a.generate_sync_message(sa));
  EXPECT_FALSE(b.generate_sync_message(sb));
}

TEST(CrdtConvergence, BadSyncMessagesAreRefusedWithoutEffect) {
  Document a(testing::actor_of(1)), b(testing::actor_of(2));
  ASSERT_TRUE(a.put(ObjId::root(), "k", std::string("v")).ok());
  SyncState sa, sb, sb2;
  auto hello = b.generate_sync_message(sb).value();
  ASSERT_TRUE(a.receive_sync_message(sa, hello).ok());
  auto full = a.generate_sync_message(sa).value();
  // A change whose bytes no longer match its hash is refused.
  auto tampered = full;
  tampered.back() ^= 0x01;
  EXPECT_FALSE(b.receive_sync_message(sb2, tampered).ok());
  EXPECT_FALSE(b.receive_sync_message(sb2, std::vector<std::uint8_t>{'S', 9}).ok());
  EXPECT_FALSE(b.receive_sync_message(sb2, std::span(full).first(full.size() - 3)).ok());
  EXPECT_EQ(b.changes_count(), 0u);
  EXPECT_FALSE(b.get(ObjId::root(), "k"));
  ASSERT_TRUE(b.receive_sync_message(sb, full).ok());
  EXPECT_EQ(*b.get(ObjId::root(), "k")->str(), "v");
}

}  // namespace
}  // namespace crdt
