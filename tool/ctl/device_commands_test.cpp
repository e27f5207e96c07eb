// kx25ctl terminal and kx25ctl firmware end to end: the real program against simulated terminals
// on loopback, the simulated TCP-server terminal and the real TFTP server.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/process/child_process.h"
#include "common/testing/files.h"
#include "sim/tcp/server_terminal.h"
#include "sim/tftp/tftp_receiver.h"
#include "sim/udp/udp_terminals.h"
#include "tool/terminal/demo_screens.h"

namespace kt::ctl {
namespace {

using namespace std::chrono_literals;

const std::string kCtl = std::string(KT_BINARY_DIR) + "/tool/ctl/kx25ctl";

struct CtlRun {
  int code = -1;
  std::string out;
};

CtlRun Ctl(const std::vector<std::string>& args) {
  std::vector<std::string> argv{kCtl};
  argv.insert(argv.end(), args.begin(), args.end());
  CtlRun r;
  auto child = proc::ChildProcess::Spawn(argv, {});
  if (!child.ok()) return r;
  auto ended = child->Wait(120s, [&](std::string_view line) { r.out += std::string(line) + "\n"; });
  if (ended.ok() && ended->exited) r.code = ended->code;
  return r;
}

class DeviceCommandsTest : public ::testing::Test {
 protected:
  void StartTerminals(const std::string& firmware, uint16_t version, uint16_t tcp_server_port) {
    sim::UdpTerminalOptions o;
    o.count = 1;
    o.listen_port = 0;
    o.first_ip = 0x7F000001;
    o.firmware = firmware;
    o.record_version = version;
    o.tcp_server_port = tcp_server_port;
    auto s = sim::UdpTerminals::Start(o);
    ASSERT_TRUE(s.ok()) << s.status().ToString();
    udp_ = std::move(*s);
    discovery_ = {"--bind", "127.0.0.1", "--to", "127.0.0.1:" + std::to_string(udp_->endpoint().port),
                  "--seconds", "5"};
  }
  std::vector<std::string> With(std::vector<std::string> args) const {
    args.insert(args.end(), discovery_.begin(), discovery_.end());
    return args;
  }
  // An image whose bytes 21-23 name `flash` (`length` bytes in all).
  std::string Image(const std::string& name, uint32_t flash, std::size_t length = 40000) {
    std::string bytes(length, '\0');
    std::mt19937 rng(11);
    for (char& c : bytes) c = static_cast<char>(rng());
    if (length >= 24) {
      bytes[21] = static_cast<char>(flash >> 16);
      bytes[22] = static_cast<char>(flash >> 8);
      bytes[23] = static_cast<char>(flash);
    }
    const std::string path = (dir_.path() / name).string();
    test_support::WriteFileBytes(path, bytes);
    return path;
  }

  test_support::ScratchFolder dir_{"kx25ctl_devices", ""};
  std::unique_ptr<sim::UdpTerminals> udp_;
  std::vector<std::string> discovery_;
};

TEST_F(DeviceCommandsTest, FirmwareUploadSucceedsAndRescans) {
  if (::geteuid() != 0) GTEST_SKIP() << "in.tftpd needs root; skipped";
  StartTerminals("03.10", 2, 0);
  std::filesystem::create_directories(dir_.path() / "received");
  sim::TftpReceiverOptions t;
  t.folder = (dir_.path() / "received").string();
  auto tftp = sim::TftpReceiver::Start(t);
  ASSERT_TRUE(tftp.ok()) << tftp.status().ToString();
  const std::string image = Image("new.bin", 0x800000);

  CtlRun r = Ctl(With({"firmware", "02-4B-58-00-00-01", image, "--tftp-port", std::to_string((*tftp)->endpoint().port)}));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(test_support::ReadFileBytes((*tftp)->stored_path()), test_support::ReadFileBytes(image));
  for (const char* line : {"Flash size: 8388608 bytes, image fits", "Status: Uploading firmware",
                           "Status: Firmware upload successful. It takes a few seconds to program and reboot",
                           "Scanning again..."}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  // The rescan lists the terminal again.
  EXPECT_NE(r.out.rfind("127.0.0.1        02-4B-58-00-00-01  03.10"), r.out.find("127.0.0.1        02-4B-58"));

  // The same terminal refusing the image: a server error, exit status 1.
  std::filesystem::create_directories(dir_.path() / "refusing");
  t.folder = (dir_.path() / "refusing").string();
  t.allow_create = false;
  auto refusing = sim::TftpReceiver::Start(t);
  ASSERT_TRUE(refusing.ok());
  r = Ctl(With({"firmware", "127.0.0.1", image, "--tftp-port", std::to_string((*refusing)->endpoint().port)}));
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("Error uploading firmware. Try resetting the KX25"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("TFTP Error on Server"), std::string::npos) << r.out;
}

TEST_F(DeviceCommandsTest, FirmwareChecksStopBeforeAnyUpload) {
  StartTerminals("02.10", 2, 0);
  struct Case {
    std::string name;
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {"8 MiB image for a 1 MiB terminal", {"firmware", "127.0.0.1", Image("8m.bin", 0x800000)},
       "Flash size incompatibility: The selected file is not compatible with the flash memory\nof this KX25."},
      {"file shorter than its header", {"firmware", "127.0.0.1", Image("short.bin", 0, 23)}, "too short"},
      {"missing file", {"firmware", "127.0.0.1", (dir_.path() / "none.bin").string()}, "Error opening file: "},
      {"terminal that does not answer",
       {"firmware", "02:4B:58:00:00:09", Image("1m.bin", 0x100000), "--seconds", "1"}, "Unknown Device"},
      {"client missing", {"firmware", "127.0.0.1", Image("1m.bin", 0x100000), "--tftp-client", "kx-no-tftp"},
       "Error starting tftp"},
  };
  for (const Case& c : cases) {
    CtlRun r = Ctl(With(c.args));
    EXPECT_EQ(r.code, 1) << c.name << "\n" << r.out;
    EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.name << "\n" << r.out;
    if (c.name != "client missing") {
      EXPECT_EQ(r.out.find("Status: Uploading firmware"), std::string::npos) << c.name;
    }
  }
}

TEST_F(DeviceCommandsTest, TerminalTalksToTheSimulatedTerminal) {
  auto kx = sim::ServerTerminal::Start({});
  ASSERT_TRUE(kx.ok());
  StartTerminals("03.10", 2, (*kx)->port());

  int keys[2];
  ASSERT_EQ(::pipe2(keys, O_CLOEXEC), 0);
  proc::SpawnOptions spawn;
  spawn.stdin_fd = keys[0];
  std::vector<std::string> argv{kCtl};
  for (const std::string& a : With({"terminal", "127.0.0.1", "--respond", "--hex"})) argv.push_back(a);
  auto child = proc::ChildProcess::Spawn(argv, spawn);
  ::close(keys[0]);
  ASSERT_TRUE(child.ok());
  std::string out;
  auto collect = [&](std::string_view line) { out += std::string(line) + "\n"; };
  auto wait_received = [&](std::size_t n) {
    return (*kx)->WaitForReceived([&](const std::string& r) { return r.size() >= n; }, 20s);
  };

  const std::string greeting = terminal::Greeting();
  ASSERT_TRUE(wait_received(greeting.size())) << out;
  (*kx)->Scan("4006381333931");
  // One screen answers the code (its CR); screens are at least 40 bytes.
  ASSERT_TRUE(wait_received(greeting.size() + 40));
  ASSERT_EQ(::write(keys[1], "4", 1), 1);
  ASSERT_EQ(::write(keys[1], "1", 1), 1);
  ASSERT_TRUE((*kx)->WaitForReceived([](const std::string& r) { return !r.empty() && r.back() == 'A'; }, 20s));
  ASSERT_EQ(::write(keys[1], "\x1D", 1), 1);  // Ctrl-] leaves
  ::close(keys[1]);
  auto ended = child->Wait(20s, collect);
  ASSERT_TRUE(ended.ok());
  EXPECT_TRUE(ended->success()) << out;

  const std::string received = (*kx)->received();
  EXPECT_EQ(received.substr(0, greeting.size()), greeting);
  bool one_screen = false;
  for (int s = 0; s < terminal::kDemoScreenCount; ++s) {
    one_screen |= received == greeting + terminal::DemoScreen(s, 1) + "A";
  }
  EXPECT_TRUE(one_screen) << "expected greeting, one screen and 'A'";
  for (const char* text : {"<27>%Connected !", "4006381333931<13>", "<0x41>", "<<<Connection Terminated>>>"}) {
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  }
}

TEST_F(DeviceCommandsTest, TerminalOpeningChecks) {
  struct Case {
    uint16_t version;
    uint16_t tcp_server_port;
    std::string expected;
  } cases[] = {
      {2, 0, "Incompatible Configuration...: This Corvane should be configured as 'TCP Server'"},
      {3, 9999, "MARLO firmware detected"},
  };
  for (const Case& c : cases) {
    StartTerminals("03.10", c.version, c.tcp_server_port);
    CtlRun r = Ctl(With({"terminal", "127.0.0.1"}));
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
    udp_.reset();
  }
}

}  // namespace
}  // namespace kt::ctl
