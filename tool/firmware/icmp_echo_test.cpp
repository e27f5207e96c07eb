#include "tool/firmware/icmp_echo.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include <gtest/gtest.h>

namespace kt::firmware {
namespace {

bool DropEffectiveCapability(int cap) {
  __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct d[2] = {};
  if (::syscall(SYS_capget, &h, d) != 0) return false;
  d[cap / 32].effective &= ~(1u << (cap % 32));
  return ::syscall(SYS_capset, &h, d) == 0;
}

// Whether this process's group may open ICMP datagram sockets.
bool PingGroupAllows(gid_t gid) {
  std::ifstream in("/proc/sys/net/ipv4/ping_group_range");
  long lo = 1, hi = 0;
  in >> lo >> hi;
  return static_cast<long>(gid) >= lo && static_cast<long>(gid) <= hi;
}

TEST(IcmpEcho, LoopbackAnswersWithTheSameData) {
  auto echo = IcmpEcho::Open();
  if (!echo.ok() && echo.status().IsUnavailable()) GTEST_SKIP() << echo.status().message();
  ASSERT_TRUE(echo.ok()) << echo.status().ToString();
  for (std::size_t size : {std::size_t{32}, std::size_t{0}, std::size_t{1400}}) {
    EchoOptions o;
    o.data_size = size;
    auto reply = echo->Check(0x7F000001, o);
    ASSERT_TRUE(reply.ok()) << size << ": " << reply.status().ToString();
    EXPECT_EQ(reply->from, 0x7F000001u);
    EXPECT_LT(reply->round_trip, std::chrono::milliseconds(500));
  }
}

TEST(IcmpEcho, NotPermittedIsReportedAsUnavailable) {
  Result<IcmpEcho> echo = Status::IOError("not run");
  std::thread t([&] {
    // Capabilities are per thread: this one alone loses the right to raw sockets.
    if (::geteuid() == 0) {
      ASSERT_TRUE(DropEffectiveCapability(CAP_NET_RAW));
    }
    echo = IcmpEcho::Open();
  });
  t.join();
  if (PingGroupAllows(::getegid())) {
    EXPECT_TRUE(echo.ok()) << "datagram ICMP sockets are allowed for this group";
    return;
  }
  ASSERT_FALSE(echo.ok());
  EXPECT_TRUE(echo.status().IsUnavailable()) << echo.status().ToString();
  EXPECT_NE(echo.status().message().find("not permitted"), std::string::npos);
}

TEST(IcmpEcho, ResolvesDottedTextAndNames) {
  EXPECT_EQ(ResolveIpv4("10.1.2.3"), 0x0A010203u);
  EXPECT_EQ(ResolveIpv4("localhost"), 0x7F000001u);
  EXPECT_FALSE(ResolveIpv4("no-such-host.invalid"));
}

}  // namespace
}  // namespace kt::firmware
