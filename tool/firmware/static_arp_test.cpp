// The static ARP entry in a network namespace of the test's own, joined to a second one by a veth
// pair: the entry must land on the veth as a permanent one, be replaced by a second call, and be
// skipped where it cannot help. Needs root (namespaces); skipped elsewhere.
#include "tool/firmware/static_arp.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tool/firmware/icmp_echo.h"

namespace kt::firmware {
namespace {

using Outcome = ArpEntryResult::Outcome;

std::string Capture(const std::string& cmd, int* code = nullptr) {
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = ::pclose(p);
  if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// Drops `cap` from the calling thread's effective set (capabilities are per thread).
bool DropCapability(int cap) {
  __user_cap_header_struct h{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct d[2] = {};
  if (::syscall(SYS_capget, &h, d) != 0) return false;
  d[cap / 32].effective &= ~(1u << (cap % 32));
  return ::syscall(SYS_capset, &h, d) == 0;
}

class StaticArpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "network namespaces need root; skipped";
    const std::string id = std::to_string(::getpid());
    ns_ = "kxarp" + id;
    peer_ns_ = "kxarpp" + id;
    veth_ = "kxa" + id;
    int code = 0;
    Capture("ip netns add " + ns_, &code);
    if (code != 0) GTEST_SKIP() << "cannot create network namespaces here; skipped";
    created_ = true;
    const std::string out = Capture(
        "sh -c 'set -e; ip netns add " + peer_ns_ + "; ip link add " + veth_ + " netns " + ns_ +
            " type veth peer name kxb" + id + " netns " + peer_ns_ + "; ip -n " + ns_ + " addr add 10.77.0.1/24 dev " +
            veth_ + "; ip -n " + ns_ + " link set lo up; ip -n " + ns_ + " link set " + veth_ + " up; ip -n " +
            peer_ns_ + " link set kxb" + id + " up'",
        &code);
    ASSERT_EQ(code, 0) << out;
  }
  void TearDown() override {
    if (created_) {
      Capture("ip netns del " + ns_);
      Capture("ip netns del " + peer_ns_);
    }
  }

  // Runs `f` on a thread that has joined the test's namespace.
  void InNamespace(const std::function<void()>& f) {
    std::thread t([&] {
      const int fd = ::open(("/run/netns/" + ns_).c_str(), O_RDONLY | O_CLOEXEC);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::setns(fd, CLONE_NEWNET), 0);
      ::close(fd);
      f();
    });
    t.join();
  }

  // The permanent entries, one per line, without the trailing blanks `ip` prints.
  std::string Neighbours() {
    std::string out = Capture("ip -n " + ns_ + " neigh show nud permanent"), clean;
    for (char c : out) {
      if (c == '\n') while (!clean.empty() && clean.back() == ' ') clean.pop_back();
      clean.push_back(c);
    }
    return clean;
  }

  std::string ns_, peer_ns_, veth_;
  bool created_ = false;
};

TEST_F(StaticArpTest, ReplacesOnePermanentEntryOnTheRoutingInterface) {
  const uint32_t terminal = 0x0A4D0002;  // 10.77.0.2
  ArpEntryResult first, second;
  InNamespace([&] {
    first = PinTerminalAddress(terminal, {0x02, 0x4B, 0x58, 0x00, 0x00, 0x01});
    second = PinTerminalAddress(terminal, {0x02, 0x4B, 0x58, 0x00, 0x00, 0x02});
  });
  EXPECT_EQ(first.outcome, Outcome::kSet) << first.detail;
  EXPECT_EQ(first.interface_name, veth_);
  EXPECT_EQ(second.outcome, Outcome::kSet) << second.detail;
  EXPECT_EQ(Neighbours(), "10.77.0.2 dev " + veth_ + " lladdr 02:4b:58:00:00:02 PERMANENT\n");
}

TEST_F(StaticArpTest, SkipsLoopbackAndGatewaysAndReportsNoRoute) {
  ArpEntryResult own, loop, gateway, no_route;
  InNamespace([&] {
    no_route = PinTerminalAddress(0xC6336401, {1, 2, 3, 4, 5, 6});  // 198.51.100.1, no default route
    own = PinTerminalAddress(0x0A4D0001, {1, 2, 3, 4, 5, 6});       // this side's own address
    loop = PinTerminalAddress(0x7F000001, {1, 2, 3, 4, 5, 6});
  });
  Capture("ip -n " + ns_ + " route add default via 10.77.0.254");
  InNamespace([&] { gateway = PinTerminalAddress(0xC6336401, {1, 2, 3, 4, 5, 6}); });
  EXPECT_EQ(no_route.outcome, Outcome::kFailed) << no_route.detail;
  EXPECT_NE(no_route.detail.find("no route"), std::string::npos) << no_route.detail;
  for (const auto* r : {&own, &loop}) {
    EXPECT_EQ(r->outcome, Outcome::kSkipped) << r->detail;
    EXPECT_NE(r->detail.find("loopback"), std::string::npos) << r->detail;
  }
  EXPECT_EQ(gateway.outcome, Outcome::kSkipped) << gateway.detail;
  EXPECT_NE(gateway.detail.find("gateway"), std::string::npos) << gateway.detail;
  EXPECT_EQ(Neighbours(), "");
}

TEST_F(StaticArpTest, WithoutNetAdminItWarnsAndChangesNothing) {
  ArpEntryResult r;
  InNamespace([&] {
    ASSERT_TRUE(DropCapability(CAP_NET_ADMIN));
    r = PinTerminalAddress(0x0A4D0002, {0x02, 0x4B, 0x58, 0x00, 0x00, 0x01});
  });
  EXPECT_EQ(r.outcome, Outcome::kNotPermitted) << r.detail;
  EXPECT_NE(r.detail.find("CAP_NET_ADMIN"), std::string::npos);
  EXPECT_EQ(Neighbours(), "");
}

TEST_F(StaticArpTest, EchoToAPinnedAddressWithNobodyBehindItTimesOut) {
  Result<EchoReply> reply = Status::Unavailable("not run");
  Status open_status;
  InNamespace([&] {
    ASSERT_EQ(PinTerminalAddress(0x0A4D0003, {0x02, 0x4B, 0x58, 0, 0, 3}).outcome, Outcome::kSet);
    auto echo = IcmpEcho::Open();
    if (!echo.ok()) {
      open_status = echo.status();
      return;
    }
    reply = echo->Check(0x0A4D0003);
  });
  ASSERT_TRUE(open_status.ok()) << open_status.ToString();
  EXPECT_TRUE(!reply.ok() && reply.status().IsUnavailable()) << reply.status().ToString();
}

}  // namespace
}  // namespace kt::firmware
