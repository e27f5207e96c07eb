#include "common/net/tcp_socket.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace kt::net {
namespace {

using namespace std::chrono_literals;

struct Pair {
  SocketHandle listener, client, server;
};

Pair Connect(std::string_view source = {}) {
  Pair p;
  auto l = TcpListen("127.0.0.1", 0, 5);
  EXPECT_TRUE(l.ok()) << l.status().ToString();
  p.listener = std::move(*l);
  auto port = LocalPort(p.listener);
  auto c = TcpConnect("127.0.0.1", *port, 1000ms, source);
  EXPECT_TRUE(c.ok()) << c.status().ToString();
  p.client = std::move(*c);
  auto s = TcpAccept(p.listener, 1000ms);
  EXPECT_TRUE(s.ok()) << s.status().ToString();
  p.server = std::move(*s);
  return p;
}

TEST(TcpSocket, BytesTravelBothWaysAndTheSourceAddressIsTheOneAsked) {
  Pair p = Connect("127.0.0.7");
  ASSERT_TRUE(SendAll(p.client, "hello", 1000ms).ok());
  std::array<char, 16> buf{};
  auto n = RecvSome(p.server, buf, 1000ms);
  ASSERT_TRUE(n.ok());
  EXPECT_EQ(std::string(buf.data(), *n), "hello");
  auto peer = GetPeerAddress(p.server);
  ASSERT_TRUE(peer.ok());
  EXPECT_EQ(peer->ip, "127.0.0.7");
}

TEST(TcpSocket, WaitsAreBoundedAndAClosedPeerIsReported) {
  Pair p = Connect();
  std::array<char, 16> buf{};
  EXPECT_TRUE(RecvSome(p.server, buf, 20ms).status().IsUnavailable());
  EXPECT_TRUE(TcpAccept(p.listener, 20ms).status().IsUnavailable());
  EXPECT_FALSE(PeerHasClosed(p.server));
  p.client.Close();
  EXPECT_TRUE(RecvSome(p.server, buf, 1000ms).status().IsNotFound());
  EXPECT_TRUE(PeerHasClosed(p.server));
}

TEST(TcpSocket, ConnectToAClosedPortFailsAndAPortInUseCannotBeBound) {
  auto l = TcpListen("127.0.0.1", 0, 5);
  ASSERT_TRUE(l.ok());
  uint16_t port = *LocalPort(*l);
  EXPECT_FALSE(TcpListen("127.0.0.1", port, 5).ok());
  l->Close();
  EXPECT_FALSE(TcpConnect("127.0.0.1", port, 500ms).ok());
  EXPECT_TRUE(TcpConnect("not-an-ip", port, 500ms).status().IsInvalidArgument());
}

}  // namespace
}  // namespace kt::net
