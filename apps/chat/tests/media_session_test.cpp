#include "media/media_session.hpp"

#include <gtest/gtest.h>

namespace {

using namespace chat::media;

MediaPacket from(std::string sender, std::uint64_t seq, std::uint64_t ms = 1) {
  MediaPacket p;
  p.sender = std::move(sender);
  p.seq = seq;
  p.timestamp = MediaTime::from_millis(ms);
  p.payload = {1, 2, 3};
  return p;
}

// Records what the session would hand to the network.
class RecordingTransport final : public MediaTransport {
 public:
  std::optional<std::string> ticket() const override { return "mine"; }
  bool connect(const std::string& t) override {
    dialled.push_back(t);
    return true;
  }
  bool send(const MediaPacket& p) override {
    sent.push_back(p);
    return true;
  }
  std::vector<MediaPacket> drain() override { return {}; }
  std::vector<std::string> dialled;
  std::vector<MediaPacket> sent;
};

TEST(MediaLoopback, HoldsAtMost128AndDrains64AtATime) {
  LoopbackTransport t;
  EXPECT_EQ(t.ticket(), "sim://local");
  EXPECT_TRUE(t.connect("anything"));
  EXPECT_FALSE(t.send(from("", 1)));  // invalid packets are not queued
  for (std::uint64_t i = 0; i < 130; ++i) EXPECT_EQ(t.send(from("u_a", i)), i < 128) << i;
  const auto first = t.drain();
  ASSERT_EQ(first.size(), 64u);
  EXPECT_EQ(first.front().seq, 0u);
  EXPECT_EQ(first.back().seq, 63u);
  const auto second = t.drain();
  ASSERT_EQ(second.size(), 64u);
  EXPECT_EQ(second.back().seq, 127u);
  EXPECT_TRUE(t.drain().empty());
}

TEST(MediaLoopback, OwnPacketsComingBackAreSkipped) {
  LoopbackTransport t;
  ReceiveFilter filter;
  for (std::uint64_t i = 0; i < 10; ++i) ASSERT_TRUE(t.send(from("u_me", i)));
  ASSERT_TRUE(t.send(from("u_other", 1)));
  const auto got = receive_packets(t, filter, "u_me");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].sender, "u_other");
}

TEST(MediaSession, StartsNetworkingAtMostOncePerRun) {
  MediaSession offline(false);
  offline.start();
  EXPECT_FALSE(offline.networked());
  EXPECT_EQ(offline.transport().ticket(), "sim://local");

  MediaSession online(true);
  online.start();
  EXPECT_TRUE(online.networked());
  EXPECT_FALSE(online.networking_allowed());
  const auto ticket = online.transport().ticket();
  ASSERT_TRUE(ticket.has_value());
  EXPECT_NE(ticket->find("\"addrs\""), std::string::npos) << *ticket;
  MediaTransport* first = &online.transport();
  online.start();  // a later join reuses the session
  EXPECT_EQ(&online.transport(), first);
}

TEST(MediaSession, DialsEveryOtherParticipantWithATicket) {
  RecordingTransport t;
  dial_peers(t, {{"u_me", "mine"}, {"u_b", "tb"}, {"u_c", ""}, {"u_d", "sim://local"}}, "u_me");
  EXPECT_EQ(t.dialled, (std::vector<std::string>{"tb", "sim://local"}));
}

TEST(MediaPublish, NumbersPacketsAcrossKindsWithTimestamps) {
  RecordingTransport t;
  Publisher pub;
  EXPECT_EQ(pub.publish(t, MediaKind::Microphone, {1}, "u_me").outcome, PublishOutcome::Sent);
  EXPECT_EQ(pub.publish(t, MediaKind::Camera, {2}, "u_me").outcome, PublishOutcome::Sent);
  EXPECT_EQ(pub.publish(t, MediaKind::Screen, {3}, "u_me").outcome, PublishOutcome::Sent);
  EXPECT_EQ(pub.publish(t, MediaKind::Microphone, {4}, "u_me").outcome, PublishOutcome::Sent);
  ASSERT_EQ(t.sent.size(), 4u);
  for (std::uint64_t i = 0; i < 4; ++i) EXPECT_EQ(t.sent[i].seq, i);
  EXPECT_EQ(t.sent[1].timestamp, MediaTime::from_millis(33));
  EXPECT_EQ(t.sent[2].timestamp, MediaTime::from_millis(66));
  EXPECT_EQ(t.sent[3].timestamp, MediaTime::from_millis(60));
  EXPECT_EQ(t.sent[3].sender, "u_me");
  pub.reset();
  EXPECT_EQ(pub.next_seq(), 0u);
  EXPECT_EQ(media_timestamp(MediaKind::Camera, std::numeric_limits<std::uint64_t>::max() / 2),
            MediaTime::from_millis(std::numeric_limits<std::uint64_t>::max()));
}

TEST(MediaPublish, OversizedPayloadStopsTheSourceWithItsNotice) {
  RecordingTransport t;
  Publisher pub;
  const auto r = pub.publish(t, MediaKind::Camera, std::vector<std::uint8_t>(2'097'153), "u_me");
  EXPECT_EQ(r.outcome, PublishOutcome::OverMediaLimit);
  EXPECT_EQ(
      r.notice,
      "Camera stopped: encoded frame (2097153 bytes) exceeds Chat's 2097152 byte media limit");
  EXPECT_TRUE(t.sent.empty());
  EXPECT_EQ(pub.next_seq(), 0u);
  EXPECT_EQ(media_limit_notice(MediaKind::Screen, 3'000'000),
            "Screen sharing stopped: encoded frame (3000000 bytes) exceeds Chat's 2097152 byte "
            "media limit");
  EXPECT_EQ(media_limit_notice(MediaKind::Microphone, 2'097'153).rfind("Microphone stopped: ", 0),
            0u);

  const auto exact =
      pub.publish(t, MediaKind::Camera, std::vector<std::uint8_t>(2'097'152), "u_me");
  EXPECT_EQ(exact.outcome, PublishOutcome::Sent);
  EXPECT_FALSE(exact.notice.has_value());
  ASSERT_EQ(t.sent.size(), 1u);
  EXPECT_EQ(t.sent[0].payload.size(), 2'097'152u);
}

TEST(MediaPublish, ExhaustedSequenceStopsAllMediaUntilRejoin) {
  RecordingTransport t;
  Publisher pub;
  pub.set_next_seq(std::numeric_limits<std::uint64_t>::max() - 1);
  EXPECT_EQ(pub.publish(t, MediaKind::Microphone, {1}, "u_me").outcome, PublishOutcome::Sent);
  EXPECT_EQ(t.sent.back().seq, std::numeric_limits<std::uint64_t>::max() - 1);
  for (MediaKind kind : {MediaKind::Microphone, MediaKind::Screen}) {
    const auto r = pub.publish(t, kind, {1}, "u_me");
    EXPECT_EQ(r.outcome, PublishOutcome::SequenceLimit);
    EXPECT_EQ(r.notice,
              "Media stopped: stream sequence limit reached. Leave and rejoin to restart it.");
  }
  EXPECT_EQ(t.sent.size(), 1u);
  pub.reset();
  EXPECT_EQ(pub.publish(t, MediaKind::Microphone, {1}, "u_me").outcome, PublishOutcome::Sent);
  EXPECT_EQ(t.sent.back().seq, 0u);
}

TEST(MediaReceiveFilter, DropsDuplicatesAndStalePacketsPerSender) {
  ReceiveFilter f;
  struct Step {
    const char* sender;
    std::uint64_t seq;
    std::uint64_t ms;
    bool accepted;
  };
  const std::vector<Step> steps{
      {"a", 5, 100, true}, {"a", 5, 100, false},  // duplicate
      {"a", 4, 90, false},                        // stale
      {"b", 1, 20, true},                         // another sender keeps its own record
      {"a", 0, 0, true},                          // rejoined: resets a's record
      {"a", 1, 20, true},  {"a", 0, 5, false},    // seq 0 with a timestamp is stale
      {"a", 7, 140, true}, {"b", 1, 20, false},
  };
  for (const auto& s : steps) {
    MediaPacket p = from(s.sender, s.seq, s.ms);
    EXPECT_EQ(f.accept(p), s.accepted) << s.sender << " " << s.seq << " " << s.ms;
  }
  f.reset();
  EXPECT_TRUE(f.accept(from("a", 2, 40)));
}

}  // namespace
