#include "media/media_network.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "media/media_session.hpp"

namespace {

using namespace chat::media;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

quic::EndpointOptions on_loopback(std::uint16_t port = 0,
                                  std::optional<std::array<std::uint8_t, 32>> seed = {}) {
  quic::EndpointOptions o;
  o.bind = {asio::ip::address_v4::loopback(), port};
  o.key_seed = seed;
  o.idle_timeout = 3s;
  return o;
}

std::unique_ptr<NetworkedTransport> start_or_fail(quic::EndpointOptions o = on_loopback()) {
  auto t = NetworkedTransport::start(std::move(o));
  EXPECT_TRUE(t.ok()) << (t.ok() ? "" : t.error());
  return t.ok() ? std::move(t).value() : nullptr;
}

MediaPacket numbered(const std::string& sender, std::uint64_t seq) {
  MediaPacket p;
  p.kind = static_cast<MediaKind>(seq % 3);
  p.seq = seq;
  p.timestamp = MediaTime::from_millis(seq * 20);
  p.sender = sender;
  p.payload.assign(100 + seq % 900, static_cast<std::uint8_t>(seq));
  return p;
}

// Polls until done() holds or the deadline passes; the UI thread never waits
// on the network, so the tests poll as the frame cycle would.
template <typename F>
bool poll_until(F done, std::chrono::seconds deadline = 20s) {
  const auto end = Clock::now() + deadline;
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(2ms);
  }
  return done();
}

TEST(MediaNetwork, TwoSessionsExchangePacketsBothWays) {
  auto a = start_or_fail();
  auto b = start_or_fail();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->connect(*b->ticket()));
  ASSERT_TRUE(b->connect(*a->ticket()));
  constexpr std::uint64_t kPackets = 2000;
  std::vector<MediaPacket> at_a, at_b;
  std::uint64_t sent_a = 0, sent_b = 0;
  // Keep fewer than a queue's worth in flight, as a paced media source would.
  const bool done = poll_until([&] {
    while (sent_a < kPackets && sent_a - at_b.size() < 64) a->send(numbered("u_a", sent_a++));
    while (sent_b < kPackets && sent_b - at_a.size() < 64) b->send(numbered("u_b", sent_b++));
    for (auto& p : a->drain()) at_a.push_back(std::move(p));
    for (auto& p : b->drain()) at_b.push_back(std::move(p));
    return at_a.size() == kPackets && at_b.size() == kPackets;
  });
  ASSERT_TRUE(done) << at_a.size() << " / " << at_b.size();
  for (std::uint64_t i = 0; i < kPackets; ++i) {
    ASSERT_EQ(at_a[i], numbered("u_b", i)) << i;
    ASSERT_EQ(at_b[i], numbered("u_a", i)) << i;
  }
}

TEST(MediaNetwork, DiallingRules) {
  auto a = start_or_fail();
  auto b = start_or_fail();
  ASSERT_TRUE(a && b);
  EXPECT_FALSE(a->connect(*a->ticket()));
  EXPECT_FALSE(a->connect("sim://local"));
  EXPECT_FALSE(a->connect("{\"id\":\"nope\"}"));
  EXPECT_EQ(a->peer_count(), 0u);
  EXPECT_TRUE(a->connect(*b->ticket()));
  EXPECT_TRUE(a->connect(*b->ticket()));
  EXPECT_EQ(a->peer_count(), 1u);
  // Nothing is sent for an invalid packet, whatever the peers.
  EXPECT_FALSE(a->send(numbered("", 1)));
  EXPECT_TRUE(a->send(numbered("u_a", 1)));
}

TEST(MediaNetwork, FullInboundQueueDropsWithoutStallingTheStream) {
  auto a = start_or_fail();
  auto b = start_or_fail();
  ASSERT_TRUE(a && b);
  ASSERT_TRUE(a->connect(*b->ticket()));
  constexpr std::uint64_t kFlood = 300;
  std::uint64_t sent = 0;
  // b never drains while a sends: the handler must keep reading and dropping.
  ASSERT_TRUE(poll_until([&] {
    while (sent < kFlood && sent - b->stats().frames.load() < 64) a->send(numbered("u_a", sent++));
    return b->stats().frames.load() == kFlood;
  }));
  EXPECT_EQ(b->stats().dropped.load(), kFlood - kQueueCapacity);
  auto first = b->drain();
  auto second = b->drain();
  ASSERT_EQ(first.size(), kDrainMax);
  ASSERT_EQ(second.size(), kDrainMax);
  EXPECT_EQ(first.front().seq, 0u);
  EXPECT_EQ(second.back().seq, kQueueCapacity - 1);
  EXPECT_TRUE(b->drain().empty());

  // The same stream still carries what comes next.
  for (std::uint64_t i = 0; i < 5; ++i) ASSERT_TRUE(a->send(numbered("u_a", kFlood + i)));
  std::vector<MediaPacket> later;
  ASSERT_TRUE(poll_until([&] {
    for (auto& p : b->drain()) later.push_back(std::move(p));
    return later.size() == 5;
  }));
  EXPECT_EQ(later.front().seq, kFlood);
  EXPECT_EQ(later.back().seq, kFlood + 4);
}

TEST(MediaNetwork, DeadPeerIsRemovedAndDialledAgain) {
  std::array<std::uint8_t, 32> seed{};
  seed.fill(7);
  auto a = start_or_fail();
  auto b = start_or_fail(on_loopback(0, seed));
  ASSERT_TRUE(a && b);
  const std::string ticket = *b->ticket();
  const auto port = quic::PeerAddress::from_json(ticket)->ip_addrs.at(0).port();
  ASSERT_TRUE(a->connect(ticket));
  std::uint64_t seq = 0;
  ASSERT_TRUE(poll_until([&] {
    a->send(numbered("u_a", seq++));
    return !b->drain().empty();
  }));

  b.reset();  // the peer goes away
  ASSERT_TRUE(poll_until([&] {
    a->send(numbered("u_a", seq++));
    return a->peer_count() == 0;
  }));

  // The same peer comes back at the same address with the same key.
  auto b2 = start_or_fail(on_loopback(port, seed));
  ASSERT_TRUE(b2);
  ASSERT_EQ(*b2->ticket(), ticket);
  ASSERT_TRUE(a->connect(ticket));
  EXPECT_EQ(a->peer_count(), 1u);
  ASSERT_TRUE(poll_until([&] {
    a->send(numbered("u_a", seq++));
    return !b2->drain().empty();
  }));
}

}  // namespace
