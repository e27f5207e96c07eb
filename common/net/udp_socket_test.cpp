#include "common/net/udp_socket.h"

#include <gtest/gtest.h>

#include <vector>

namespace kt::net {
namespace {

TEST(Ipv4Text, ParsesOnlyDottedQuads) {
  EXPECT_EQ(ParseIpv4("192.168.100.200"), 0xC0A864C8u);
  EXPECT_EQ(ParseIpv4("0.0.0.0"), 0u);
  EXPECT_EQ(ParseIpv4("255.255.255.255"), 0xFFFFFFFFu);
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4", "1..2.3",
                          "0001.2.3.4", "a.b.c.d", "1.2.3.-4"}) {
    EXPECT_FALSE(ParseIpv4(bad).has_value()) << bad;
  }
  EXPECT_EQ(FormatIpv4(0x0A00000A), "10.0.0.10");
}

TEST(UdpSocket, LongerDatagramIsMarkedTruncated) {
  UdpSocket rx = UdpSocket::Open().value();
  ASSERT_TRUE(rx.Bind(0x7F000001, 0).ok());
  ASSERT_TRUE(rx.SetReceiveTimeout(std::chrono::milliseconds(1000)).ok());
  const UdpEndpoint to = rx.LocalEndpoint().value();
  UdpSocket tx = UdpSocket::Open().value();
  ASSERT_TRUE(tx.BindToAdapter(0x7F000001, 0).ok());
  const std::vector<std::byte> big(400, std::byte{1}), fits(288, std::byte{2});
  ASSERT_EQ(tx.SendTo(to, big).value(), 400u);
  ASSERT_EQ(tx.SendTo(to, fits).value(), 288u);
  std::vector<std::byte> buf(288);
  auto a = rx.Receive(buf);
  ASSERT_TRUE(a.ok());
  EXPECT_TRUE(a->truncated);
  auto b = rx.Receive(buf);
  ASSERT_TRUE(b.ok());
  EXPECT_FALSE(b->truncated);
  EXPECT_EQ(b->length, 288u);
  EXPECT_EQ(b->sender.address, 0x7F000001u);  // the adapter address is the source
  EXPECT_TRUE(rx.SetReceiveTimeout(std::chrono::milliseconds(50)).ok());
  EXPECT_TRUE(rx.Receive(buf).status().IsUnavailable());
}

}  // namespace
}  // namespace kt::net
