// A PC on two LANs, built from network namespaces the test makes and removes: the tool's
// namespace has one veth link to each LAN and its default route on the first. A limited
// broadcast from a socket bound to 0.0.0.0 leaves by the default route only, so the terminal on
// the second LAN never hears it; sent through every interface with a broadcast address, both
// terminals answer. Needs root; skipped elsewhere.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

#include "sim/udp/udp_terminals.h"
#include "tool/adapters/adapter_list.h"
#include "tool/discovery/scanner.h"

namespace kt::adapters {
namespace {

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  char buf[512];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  return pclose(p) == 0 ? out : "FAILED: " + out;
}

// Runs `fn` on a thread that has entered the namespace; sockets it opens stay there.
bool RunIn(const std::string& ns, const std::function<void()>& fn) {
  bool entered = false;
  std::thread t([&] {
    const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    entered = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    if (entered) fn();
  });
  t.join();
  return entered;
}

class Counter : public discovery::ScanObserver {
 public:
  void OnLineAdded(const std::string& line, const discovery::DeviceEntry&) override {
    std::scoped_lock lock(mutex_);
    lines.push_back(line.substr(0, 15));
  }
  std::mutex mutex_;
  std::vector<std::string> lines;
};

class TwoLansTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "network namespaces need root; skipped";
    id_ = std::to_string(getpid());
    if (Shell("ip netns add kxpc" + id_).rfind("FAILED", 0) == 0) GTEST_SKIP() << "cannot create namespaces here";
    made_ = true;
    const std::string pc = "kxpc" + id_, a = "kxlana" + id_, b = "kxlanb" + id_;
    const std::string script =
        "set -e; ip netns add " + a + "; ip netns add " + b + ";"
        " ip link add kxpa" + id_ + " netns " + pc + " type veth peer name kxta" + id_ + " netns " + a + ";"
        " ip link add kxpb" + id_ + " netns " + pc + " type veth peer name kxtb" + id_ + " netns " + b + ";"
        " ip -n " + pc + " addr add 10.77.1.1/24 brd + dev kxpa" + id_ + ";"
        " ip -n " + pc + " addr add 10.77.2.1/24 brd + dev kxpb" + id_ + ";"
        " ip -n " + a + " addr add 10.77.1.2/24 brd + dev kxta" + id_ + ";"
        " ip -n " + b + " addr add 10.77.2.2/24 brd + dev kxtb" + id_ + ";"
        " for n in " + pc + " " + a + " " + b + "; do ip -n $n link set lo up; done;"
        " ip -n " + pc + " link set kxpa" + id_ + " up; ip -n " + pc + " link set kxpb" + id_ + " up;"
        " ip -n " + a + " link set kxta" + id_ + " up; ip -n " + b + " link set kxtb" + id_ + " up;"
        " ip -n " + pc + " route add default via 10.77.1.254";
    const std::string out = Shell("sh -c '" + script + "'");
    ASSERT_EQ(out.rfind("FAILED", 0), std::string::npos) << out;
    // One terminal on each LAN, listening on every address of its namespace.
    for (auto [ns, ip] : {std::pair{a, 0x0A4D0102u}, std::pair{b, 0x0A4D0202u}}) {
      ASSERT_TRUE(RunIn(ns, [&, ip = ip] {
        sim::UdpTerminalOptions o;
        o.listen_address = 0;
        o.first_ip = ip;
        o.first_mac = ip & 0xFFFF;
        auto started = sim::UdpTerminals::Start(o);
        if (started.ok()) sims_.push_back(std::move(*started));
      }));
    }
    ASSERT_EQ(sims_.size(), 2u);
  }

  void TearDown() override {
    sims_.clear();
    if (!made_) return;
    for (const char* n : {"kxpc", "kxlana", "kxlanb"}) Shell(std::string("ip netns del ") + n + id_);
  }

  std::vector<std::string> Scan(bool every_interface) {
    Counter counter;
    RunIn("kxpc" + id_, [&] {
      discovery::DeviceTable table;
      discovery::Scanner scanner(table);
      discovery::ScanOptions o;
      o.countdown_seconds = 2;
      if (every_interface) o.send_interfaces = BroadcastInterfaces();
      scanner.Run(o, counter);
    });
    std::sort(counter.lines.begin(), counter.lines.end());
    return counter.lines;
  }

  std::string id_;
  bool made_ = false;
  std::vector<std::unique_ptr<sim::UdpTerminals>> sims_;
};

TEST_F(TwoLansTest, RequestsThroughEveryInterfaceReachBothLans) {
  EXPECT_EQ(Scan(false), (std::vector<std::string>{"10.77.1.2      "}));  // the default route's LAN only
  EXPECT_EQ(Scan(true), (std::vector<std::string>{"10.77.1.2      ", "10.77.2.2      "}));
}

}  // namespace
}  // namespace kt::adapters
