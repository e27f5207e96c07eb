// End to end over a real limited broadcast: kx25ctl in one network namespace, simulated terminals
// that answer by broadcast in another, joined by a veth pair. The test creates and removes both
// namespaces itself; it needs root and is skipped elsewhere.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string Capture(const std::string& cmd, int* code = nullptr) {
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = pclose(p);
  if (code) *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

class NetnsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "network namespaces need root; skipped";
    const std::string id = std::to_string(getpid());
    tool_ns_ = "kxtool" + id;
    term_ns_ = "kxterm" + id;
    int code = 0;
    Capture("ip netns add " + tool_ns_, &code);
    if (code != 0) GTEST_SKIP() << "cannot create network namespaces here; skipped";
    created_ = true;
    const std::string script =
        "set -e; ip netns add " + term_ns_ + ";"
        " ip link add kxva" + id + " netns " + tool_ns_ + " type veth peer name kxvb" + id +
        " netns " + term_ns_ + ";"
        " ip -n " + tool_ns_ + " addr add 10.77.0.1/24 dev kxva" + id + ";"
        " ip -n " + term_ns_ + " addr add 10.77.0.2/24 dev kxvb" + id + ";"
        " ip -n " + tool_ns_ + " link set lo up; ip -n " + term_ns_ + " link set lo up;"
        " ip -n " + tool_ns_ + " link set kxva" + id + " up; ip -n " + term_ns_ + " link set kxvb" + id + " up";
    const std::string out = Capture("sh -c '" + script + "'", &code);
    if (code != 0) GTEST_SKIP() << "cannot set up the veth pair (" << out << "); skipped";
  }

  void TearDown() override {
    if (sim_pid_ > 0) {
      kill(sim_pid_, SIGTERM);
      int ignored = 0;
      Capture("sleep 0.2", &ignored);
    }
    if (created_) {
      Capture("ip netns del " + tool_ns_);
      Capture("ip netns del " + term_ns_);
    }
  }

  // Starts the simulated terminals in the terminals' namespace, answering by broadcast.
  void StartTerminals(int count) {
    const std::string cmd = "ip netns exec " + term_ns_ + " " + std::string(KT_BINARY_DIR) +
                            "/sim/kx25sim terminals --count " + std::to_string(count) +
                            " --listen 10.77.0.2:10004 --reply-broadcast --first-ip 10.77.0.100"
                            " --seconds 60 --quiet >/dev/null 2>&1 & echo $!";
    sim_pid_ = std::atoi(Capture(cmd).c_str());
    ASSERT_GT(sim_pid_, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  std::string Ctl(const std::string& args, int* code) {
    return Capture("ip netns exec " + tool_ns_ + " " + std::string(KT_BINARY_DIR) + "/tool/ctl/kx25ctl " +
                       args,
                   code);
  }

  std::string tool_ns_, term_ns_;
  bool created_ = false;
  pid_t sim_pid_ = -1;
};

TEST_F(NetnsTest, LimitedBroadcastScanAndApplyAcrossVeth) {
  StartTerminals(2);
  int code = -1;
  // Bound to the tool side's own address: the broadcast replies must still be heard.
  std::string out = Ctl("scan --bind 10.77.0.1 --seconds 2", &code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(out,
            "10.77.0.100      02-4B-58-00-00-01  03.10  KX25-0001                 \n"
            "10.77.0.101      02-4B-58-00-00-02  03.10  KX25-0002                 \n"
            "Nr of units found: 2\n");

  out = Ctl("apply 02-4B-58-00-00-02 device-name=AcrossVeth --bind 10.77.0.1 --pause-ms 50 --seconds 3",
            &code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("10.77.0.101      02-4B-58-00-00-02  03.10  AcrossVeth"), std::string::npos) << out;
}

}  // namespace
