// The adapter list: its parsers on fixed texts, and the list itself inside a network namespace
// the test makes (two veth adapters, one address leased, a default route).
#include "tool/adapters/adapter_list.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "common/net/udp_socket.h"
#include "tool/adapters/port_check.h"
#include "tool/adapters/system_files.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <fstream>

namespace kt::adapters {
namespace {

TEST(SystemFiles, DefaultGatewaysTakeTheLowestMetric) {
  const char* route =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "eth0\t00000000\t020200C0\t0003\t0\t0\t50\t00000000\t0\t0\t0\n"
      "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
      "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "tun0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"  // default route, no gateway
      "bad\tzz\n";
  const auto gw = DefaultGateways(route);
  ASSERT_EQ(gw.size(), 2u);
  EXPECT_EQ(gw.at("eth0"), "192.0.2.2");
  EXPECT_EQ(gw.at("wlan0"), "192.168.1.1");
}

TEST(SystemFiles, DhcpServerFromLeaseFiles) {
  EXPECT_EQ(DhcpServerFromDhclientLease("lease {\n  interface \"eth0\";\n  option dhcp-server-identifier 10.0.0.1;\n}\n"
                                        "lease {\n  option dhcp-server-identifier 10.0.0.2;\n}\n"),
            "10.0.0.2");
  EXPECT_EQ(DhcpServerFromDhclientLease("  option dhcp-server-identifier nonsense;\n"), std::nullopt);
  EXPECT_EQ(DhcpServerFromDhclientLease(""), std::nullopt);
  EXPECT_EQ(DhcpServerFromNetworkdLease("ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.1\n"), "10.0.0.1");
  EXPECT_EQ(DhcpServerFromNetworkdLease("ADDRESS=10.0.0.5\n"), std::nullopt);

  config::AdapterInfo a;
  EXPECT_EQ(DhcpText(a), "N/A");
  a.dhcp_enabled = true;
  EXPECT_EQ(DhcpText(a), "N/A");  // leased, but no lease file names the server
  a.dhcp_server = "10.0.0.1";
  EXPECT_EQ(DhcpText(a), "10.0.0.1");
}

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  char buf[512];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  return pclose(p) == 0 ? out : "FAILED: " + out;
}

TEST(AdapterList, ListsEthernetAdaptersOfANamespace) {
  if (geteuid() != 0) GTEST_SKIP() << "network namespaces need root; skipped";
  const std::string id = std::to_string(getpid());
  const std::string ns = "kxad" + id, peer = "kxadp" + id;
  if (Shell("ip netns add " + ns).rfind("FAILED", 0) == 0) GTEST_SKIP() << "cannot create namespaces here";
  Shell("ip netns add " + peer);
  const std::string setup =
      "set -e; ip link add kxa" + id + " netns " + ns + " address 02:4b:00:00:00:01 type veth peer name kxb" + id +
      " netns " + peer + "; ip link add kxc" + id + " netns " + ns + " address 02:4b:00:00:00:02 type veth peer name kxd" +
      id + " netns " + peer + ";"
      " ip -n " + ns + " addr add 10.77.1.1/24 dev kxa" + id + ";"
      " ip -n " + ns + " addr add 10.77.1.9/24 dev kxa" + id + ";"
      " ip -n " + ns + " addr add 10.77.2.5/24 dev kxc" + id + " valid_lft 3600 preferred_lft 3600;"
      " ip -n " + ns + " link set lo up; ip -n " + ns + " link set kxa" + id + " up; ip -n " + ns + " link set kxc" + id + " up;"
      " ip -n " + ns + " route add default via 10.77.1.254";
  const std::string out = Shell("sh -c '" + setup + "'");
  Result<std::vector<config::AdapterInfo>> listed = Status::Unavailable("not run");
  std::vector<unsigned> broadcast;
  unsigned index_a = 0;
  if (out.rfind("FAILED", 0) != 0) {
    std::thread inside([&] {  // only this thread enters the namespace
      const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) return;
      ::close(fd);
      listed = ListAdapters();
      broadcast = BroadcastInterfaces();
      index_a = if_nametoindex(("kxa" + id).c_str());
    });
    inside.join();
  }
  Shell("ip netns del " + ns);
  Shell("ip netns del " + peer);
  ASSERT_EQ(out.rfind("FAILED", 0), std::string::npos) << out;
  ASSERT_TRUE(listed.ok()) << listed.status().ToString();
  ASSERT_EQ(listed->size(), 2u);  // loopback is not listed
  const config::AdapterInfo& a = (*listed)[0];
  const config::AdapterInfo& c = (*listed)[1];
  EXPECT_EQ(a.name, "kxa" + id);
  EXPECT_TRUE(a.ethernet);
  EXPECT_FALSE(a.wireless);
  EXPECT_EQ(config::FormatAdapterMac(a.hardware_address), "02:4B:00:00:00:01");
  EXPECT_EQ(a.ipv4_addresses, (std::vector<std::string>{"10.77.1.1", "10.77.1.9"}));
  EXPECT_EQ(a.gateway, "10.77.1.254");
  EXPECT_FALSE(a.dhcp_enabled);
  EXPECT_EQ(c.ipv4_addresses, (std::vector<std::string>{"10.77.2.5"}));
  EXPECT_EQ(c.gateway, "0.0.0.0");
  EXPECT_TRUE(c.dhcp_enabled);  // the address has a lifetime
  EXPECT_EQ(DhcpText(c), "N/A");
  ASSERT_EQ(broadcast.size(), 2u);
  EXPECT_EQ(broadcast[0], index_a);
}

TEST(PortCheck, PrivilegedPortsAndPortsInUse) {
  EXPECT_EQ(CheckLocalPort(0), PortCheck::kUsable);
  // A port in use: hold one and check it.
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  socklen_t len = sizeof sa;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len), 0);
  EXPECT_EQ(CheckLocalPort(ntohs(sa.sin_port)), PortCheck::kInUse);
  ::close(fd);

  // Port 999 as an unprivileged user: a child process that gives up root.
  int first_unprivileged = 1024;
  std::ifstream("/proc/sys/net/ipv4/ip_unprivileged_port_start") >> first_unprivileged;
  if (geteuid() != 0 || first_unprivileged <= 999) GTEST_SKIP() << "needs root and the usual port rule";
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    ::_exit(CheckLocalPort(999) == PortCheck::kNeedsPrivilege ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace kt::adapters
