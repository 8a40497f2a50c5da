#include "quic_endpoint/peer_address.hpp"

#include <gtest/gtest.h>

namespace {

const std::string kKey = std::string(62, 'a') + "0f";

TEST(PeerAddress, RoundTripsThroughTicketJson) {
  quic::PeerAddress a;
  a.id = *quic::PublicKey::from_text(kKey);
  a.ip_addrs.push_back(*quic::parse_socket_address("192.168.1.20:40000"));
  a.ip_addrs.push_back(*quic::parse_socket_address("[::1]:5"));
  a.relays.push_back("https://relay.example./");
  const std::string json = a.to_json();
  EXPECT_NE(json.find("\"Ip\":\"192.168.1.20:40000\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"Relay\":\"https://relay.example./\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"id\":\"" + kKey + "\""), std::string::npos) << json;
  const auto b = quic::PeerAddress::from_json(json);
  ASSERT_TRUE(b.ok()) << b.error();
  EXPECT_EQ(b->id, a.id);
  EXPECT_EQ(b->ip_addrs, a.ip_addrs);
  EXPECT_EQ(b->relays, a.relays);
  EXPECT_EQ(b->id.to_text(), kKey);
}

TEST(PeerAddress, ParsesEveryAddressFormAndSkipsWhatItCannotDial) {
  const std::string json = R"({"id":")" + kKey +
                           R"(","addrs":[{"Relay":"https://r/"},{"Ip":"10.0.0.1:7"},)"
                           R"({"Custom":{"id":1,"data":"x"}}]})";
  const auto p = quic::PeerAddress::from_json(json);
  ASSERT_TRUE(p.ok()) << p.error();
  ASSERT_EQ(p->ip_addrs.size(), 1u);
  EXPECT_EQ(quic::format_socket_address(p->ip_addrs[0]), "10.0.0.1:7");
  EXPECT_EQ(p->relays, std::vector<std::string>{"https://r/"});
  EXPECT_EQ(p->custom.size(), 1u);
}

TEST(PeerAddress, RefusesMalformedTickets) {
  const std::string ok_addrs = R"("addrs":[{"Ip":"10.0.0.1:7"}])";
  const std::vector<std::string> bad{
      "sim://local",
      "",
      "[]",
      R"({"addrs":[]})",
      R"({"id":")" + kKey + R"("})",
      R"({"id":"abc",)" + ok_addrs + "}",
      R"({"id":")" + std::string(63, 'a') + "g\"," + ok_addrs + "}",
      R"({"id":")" + kKey + R"(","addrs":[{"Ip":"10.0.0.1"}]})",
      R"({"id":")" + kKey + R"(","addrs":[{"Ip":"10.0.0.1:0"}]})",
      R"({"id":")" + kKey + R"(","addrs":[{"Ip":"10.0.0.1:65536"}]})",
      R"({"id":")" + kKey + R"(","addrs":[{"Ip":"host.example:7"}]})",
      R"({"id":")" + kKey + R"(","addrs":[{"Ip":"10.0.0.1:7","Relay":"x"}]})",
      R"({"id":")" + kKey + R"(","addrs":[{"Carrier":"pigeon"}]})",
      R"({"id":")" + kKey + R"(","addrs":[{"Relay":5}]})",
      R"({"id":")" + kKey + R"(","addrs":"10.0.0.1:7"})",
  };
  for (const auto& t : bad) EXPECT_FALSE(quic::PeerAddress::from_json(t).ok()) << t;
}

}  // namespace
