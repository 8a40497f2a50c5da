#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "quic_test_support.hpp"

namespace {

using namespace quic_test;
constexpr char kAlpn[] = "vesk-test/0";

quic::EndpointOptions loopback_options() {
  quic::EndpointOptions o;
  o.bind = {asio::ip::address_v4::loopback(), 0};
  return o;
}

std::unique_ptr<quic::Endpoint> bind_or_fail(quic::Runtime& rt,
                                             quic::EndpointOptions o = loopback_options()) {
  auto ep = quic::Endpoint::bind(rt, std::move(o));
  EXPECT_TRUE(ep.ok()) << (ep.ok() ? "" : ep.error());
  return ep.ok() ? std::move(ep).value() : nullptr;
}

// A dialler a and a listener b whose handler collects frames into sink.
struct Pair {
  explicit Pair(quic::EndpointOptions oa = loopback_options(),
                quic::EndpointOptions ob = loopback_options())
      : a(bind_or_fail(rt, std::move(oa))), b(bind_or_fail(rt, std::move(ob))) {
    if (b) b->register_protocol(kAlpn, reading_handler(sink));
  }
  bool ok() const { return a && b; }
  quic::Runtime rt{2};
  std::unique_ptr<quic::Endpoint> a, b;
  std::shared_ptr<Sink> sink = std::make_shared<Sink>();
};

TEST(QuicEndpoint, TwoEndpointsExchangeThousandsOfFramesBothWays) {
  quic::Runtime rt(2);
  auto a = bind_or_fail(rt);
  auto b = bind_or_fail(rt);
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->key(), b->key());
  auto at_a = std::make_shared<Sink>();
  auto at_b = std::make_shared<Sink>();
  a->register_protocol(kAlpn, reading_handler(at_a));
  b->register_protocol(kAlpn, reading_handler(at_b));

  constexpr std::uint32_t kFrames = 3000;
  auto from_a = asio::co_spawn(rt.executor(), send_frames(*a, b->address(), kAlpn, kFrames),
                               asio::use_future);
  auto from_b = asio::co_spawn(rt.executor(), send_frames(*b, a->address(), kAlpn, kFrames),
                               asio::use_future);
  ASSERT_EQ(from_a.wait_for(30s), std::future_status::ready);
  ASSERT_EQ(from_b.wait_for(30s), std::future_status::ready);
  EXPECT_EQ(from_a.get(), "");
  EXPECT_EQ(from_b.get(), "");
  ASSERT_TRUE(at_a->wait_end(30s));
  ASSERT_TRUE(at_b->wait_end(30s));
  EXPECT_EQ(at_a->end(), "end");
  EXPECT_EQ(at_b->end(), "end");
  expect_frames_in_order(at_a->frames(), kFrames);
  expect_frames_in_order(at_b->frames(), kFrames);
}

TEST(QuicEndpoint, LargestFramesCrossIntact) {
  Pair p;
  ASSERT_TRUE(p.ok());
  auto& [rt, a, b, sink] = p;
  const FrameMaker largest = [](std::uint32_t i) {
    return make_sized_frame(i, wire_frame::kMediaMaxFrameLen - i * 1000);
  };
  const auto sent = run_for(rt, send_frames(*a, b->address(), kAlpn, 4, largest), 30s);
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(*sent, "");
  ASSERT_TRUE(sink->wait_end(30s));
  expect_frames_in_order(sink->frames(), 4, largest);
}

TEST(QuicEndpoint, LossyNetworkStillDeliversEveryFrameInOrder) {
  // Both directions lose a tenth of their datagrams, handshake included.
  auto lossy = [](std::uint64_t seed) {
    auto o = loopback_options();
    auto rng = std::make_shared<std::mt19937_64>(seed);
    o.outgoing_filter = [rng](std::span<const std::uint8_t>) { return (*rng)() % 10 != 0; };
    return o;
  };
  Pair p(lossy(1), lossy(2));
  ASSERT_TRUE(p.ok());
  auto& [rt, a, b, sink] = p;
  constexpr std::uint32_t kFrames = 400;
  const auto sent = run_for(rt, send_frames(*a, b->address(), kAlpn, kFrames, varied(30'000)), 60s);
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(*sent, "");
  ASSERT_TRUE(sink->wait_end(60s));
  EXPECT_EQ(sink->end(), "end");
  expect_frames_in_order(sink->frames(), kFrames, varied(30'000));
}

TEST(QuicEndpoint, DialRefusesWrongKeyAndUnknownProtocol) {
  Pair p;
  ASSERT_TRUE(p.ok());
  auto& [rt, a, b, sink] = p;

  quic::PeerAddress forged = b->address();
  forged.id.bytes[0] ^= 1;
  const auto wrong_key = run_for(rt, send_frames(*a, forged, kAlpn, 1));
  ASSERT_TRUE(wrong_key.has_value());
  EXPECT_NE(wrong_key->find("wrong key"), std::string::npos) << *wrong_key;

  const auto wrong_alpn = run_for(rt, send_frames(*a, b->address(), "other/1", 1));
  ASSERT_TRUE(wrong_alpn.has_value());
  EXPECT_NE(wrong_alpn->find("connect:"), std::string::npos) << *wrong_alpn;

  // Neither attempt reached the handler, and the right key still works.
  EXPECT_TRUE(sink->frames().empty());
  const auto ok = run_for(rt, send_frames(*a, b->address(), kAlpn, 5));
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(*ok, "");
  ASSERT_TRUE(sink->wait_end());
  expect_frames_in_order(sink->frames(), 5);
}

TEST(QuicEndpoint, DialWithoutDirectAddressFailsAtOnce) {
  quic::Runtime rt(2);
  auto a = bind_or_fail(rt);
  quic::PeerAddress relay_only;
  relay_only.id = a->key();
  relay_only.relays.push_back("https://relay.example/");
  const auto r = run_for(rt, send_frames(*a, relay_only, kAlpn, 1));
  ASSERT_TRUE(r.has_value());
  EXPECT_NE(r->find("no direct address"), std::string::npos) << *r;
}

TEST(QuicEndpoint, PeerShutdownEndsTheSendersStream) {
  Pair p;
  ASSERT_TRUE(p.ok());
  auto& [rt, a, b, sink] = p;
  auto sending = asio::co_spawn(rt.executor(), send_frames(*a, b->address(), kAlpn, 1'000'000),
                                asio::use_future);
  ASSERT_TRUE(sink->wait(10));
  b->shutdown();
  ASSERT_EQ(sending.wait_for(20s), std::future_status::ready);
  EXPECT_NE(sending.get().find("write:"), std::string::npos);
  b.reset();
  a->shutdown();
  EXPECT_EQ(a->connection_count(), 0u);
}

// The other endpoint lives in a child process; tickets cross through pipes as
// the JSON text a call ticket would carry.
TEST(QuicEndpoint, TwoProcessesExchangeFramesOverLoopback) {
  int to_child[2], to_parent[2];
  ASSERT_EQ(pipe(to_child), 0);
  ASSERT_EQ(pipe(to_parent), 0);
  constexpr std::uint32_t kFrames = 2000;
  auto read_ticket = [](int fd) {
    std::string s;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') s.push_back(c);
    return s;
  };
  auto exchange = [&](int in, int out) -> int {
    quic::Runtime rt(2);
    auto ep = quic::Endpoint::bind(rt, loopback_options());
    if (!ep) return 10;
    auto sink = std::make_shared<Sink>();
    (*ep)->register_protocol(kAlpn, reading_handler(sink));
    const std::string mine = (*ep)->address().to_json() + "\n";
    if (write(out, mine.data(), mine.size()) != static_cast<ssize_t>(mine.size())) return 11;
    auto peer = quic::PeerAddress::from_json(read_ticket(in));
    if (!peer) return 12;
    auto sent =
        asio::co_spawn(rt.executor(), send_frames(**ep, *peer, kAlpn, kFrames), asio::use_future);
    if (sent.wait_for(30s) != std::future_status::ready || !sent.get().empty()) return 13;
    if (!sink->wait_end(30s) || sink->end() != "end") return 14;
    const auto got = sink->frames();
    if (got.size() != kFrames) return 15;
    for (std::uint32_t i = 0; i < kFrames; ++i)
      if (got[i] != make_frame(i)) return 16;
    // Stay until the peer has read everything we sent, then leave together.
    char done = 'x';
    if (write(out, &done, 1) != 1 || read(in, &done, 1) != 1) return 17;
    return 0;
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(exchange(to_child[0], to_parent[1]));
  const int parent_result = exchange(to_parent[0], to_child[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(parent_result, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
