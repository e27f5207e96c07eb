// kx25ctl end to end: the real program against simulated terminals on loopback.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "sim/udp/udp_terminals.h"
#include "tool/config/config_record.h"
#include "tool/config/record_header.h"
#include "tool/ctl/config_fields.h"

namespace kt::ctl {
namespace {

struct CtlRun {
  int code;
  std::string out;
};

// Runs kx25ctl with `args`; stdout and stderr together.
CtlRun Ctl(const std::string& args) {
  const std::string cmd = std::string(KT_BINARY_DIR) + "/tool/ctl/kx25ctl " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  const int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

class CtlTest : public ::testing::Test {
 protected:
  void Start(int count, const std::string& firmware = "03.10", uint16_t version = 2) {
    sim::UdpTerminalOptions o;
    o.count = count;
    o.listen_port = 0;
    o.firmware = firmware;
    o.record_version = version;
    auto s = sim::UdpTerminals::Start(o);
    ASSERT_TRUE(s.ok());
    sim_ = std::move(*s);
    to_ = " --bind 127.0.0.1 --to 127.0.0.1:" + std::to_string(sim_->endpoint().port) + " ";
    dir_ = std::filesystem::temp_directory_path() /
           ("kx25ctl_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  // The terminals once they have handled everything sent so far (writes are not answered).
  sim::UdpTerminals& Settled() {
    EXPECT_TRUE(sim_->Flush().ok());
    return *sim_;
  }
  config::Configuration Terminal(int i) { return *config::DecodeConfigRecord(Settled().Record(i)); }

  std::unique_ptr<sim::UdpTerminals> sim_;
  std::string to_;
  std::filesystem::path dir_;
};

TEST_F(CtlTest, ScanListsSortedByMacThenTheCount) {
  Start(3);
  const CtlRun r = Ctl("scan --seconds 1" + to_);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out,
            "10.1.0.1         02-4B-58-00-00-01  03.10  KX25-0001                 \n"
            "10.1.0.2         02-4B-58-00-00-02  03.10  KX25-0002                 \n"
            "10.1.0.3         02-4B-58-00-00-03  03.10  KX25-0003                 \n"
            "Nr of units found: 3\n");
}

TEST_F(CtlTest, ShowStopsDiscoveringOnceTheTerminalAnswered) {
  Start(2);
  const auto start = std::chrono::steady_clock::now();
  const CtlRun r = Ctl("show 02:4b:58:00:00:02 --seconds 15" + to_);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("\ndevice-name=KX25-0002\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nip-address=10.1.0.2\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nssid=shopfloor\n"), std::string::npos);  // from the wireless record

  const CtlRun missing = Ctl("show 02-4B-58-00-00-09 --seconds 1" + to_);
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.out.find("no terminal 02:4B:58:00:00:09 answered"), std::string::npos) << missing.out;
}

TEST_F(CtlTest, ApplySettingsShowsInTheRescan) {
  Start(1, "03.10");
  const CtlRun r = Ctl("apply 024b58000001 device-name=Front ip-address=10.1.7.7 transport=udp "
                    "volume=30 idle1=Hello --pause-ms 10 --seconds 2" + to_);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("commands 9 (363 bytes), 2 (288 bytes)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("10.1.7.7         02-4B-58-00-00-01  03.10  Front"), std::string::npos) << r.out;
  const config::Configuration c = Terminal(0);
  EXPECT_TRUE(c.udp);
  EXPECT_EQ(c.volume_percent, 30);
  EXPECT_EQ(c.lines[config::kIdle1].text, "Hello");
}

// A host that answers discovery can put anything into the name and firmware texts; the console
// shows control characters escaped, never raw (a retitle, a clear screen, a bell).
TEST_F(CtlTest, ControlCharactersFromTheNetworkAreShownEscaped) {
  Start(1);
  sim_->EditRecord(0, [](std::vector<std::byte>& r) {
    const std::string name = "\x1B]0;owned\x07\x1B[2J\x1B[1m";
    const std::string firmware = "\x1B" "c\x07" "01";
    for (std::size_t i = 0; i < name.size(); ++i) r[config::config_record::kDeviceName + i] = std::byte(name[i]);
    for (std::size_t i = 0; i < firmware.size(); ++i) r[config::config_record::kFirmwareVersion + i] = std::byte(firmware[i]);
  });
  for (const std::string command : {"scan --seconds 1", "show 02-4B-58-00-00-01 --seconds 5"}) {
    const CtlRun r = Ctl(command + to_);
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.find_first_of("\x1B\x07"), std::string::npos) << command;
    EXPECT_NE(r.out.find("\\x1B]0;owned\\x07\\x1B[2J\\x1B[1m"), std::string::npos) << command << r.out;
    EXPECT_NE(r.out.find("\\x1Bc\\x0701"), std::string::npos) << command << r.out;
  }
}

TEST_F(CtlTest, BadArgumentsAreRefusedBeforeAnythingIsSent) {
  Start(1);
  EXPECT_EQ(Ctl("apply 02-4B-58-00-00-01 volume=35 --no-rescan --seconds 2" + to_).code, 1);
  EXPECT_EQ(Ctl("apply 02-4B-58-00-00-01 firmware=9 --no-rescan --seconds 2" + to_).code, 1);
  EXPECT_EQ(Ctl("show 02-4B-58-00-00" + to_).code, 2);
  EXPECT_EQ(Ctl("scan --to 300.1.1.1").code, 2);
  EXPECT_EQ(Ctl("frobnicate").code, 2);
  for (const auto& r : Settled().Received()) EXPECT_NE(r.command, config::kSetConfig);
  const CtlRun help = Ctl("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("usage: kx25ctl COMMAND"), std::string::npos) << help.out;
}

TEST_F(CtlTest, SaveOnOneTerminalApplyToAllKeepsEachAddress) {
  Start(3, "02.10");
  const std::string file = (dir_ / "front.KX25").string();
  ASSERT_EQ(Ctl("apply 02-4B-58-00-00-01 device-name=Template subnet-mask=255.255.255.0 --pause-ms 0 "
                "--no-rescan --seconds 2" + to_).code, 0);
  const CtlRun saved = Ctl("save 02-4B-58-00-00-01 " + file + " --seconds 2" + to_);
  ASSERT_EQ(saved.code, 0) << saved.out;
  ASSERT_TRUE(std::filesystem::exists(file));

  const CtlRun all = Ctl("apply --all " + file + " --pause-ms 0 --seconds 1" + to_);
  EXPECT_EQ(all.code, 0) << all.out;
  EXPECT_NE(all.out.find("Nr of units found: 3"), std::string::npos) << all.out;
  for (int i = 0; i < 3; ++i) {
    const config::Configuration c = Terminal(i);
    EXPECT_EQ(c.device_name, "Template") << i;
    EXPECT_EQ(c.subnet_mask, 0xFFFFFF00u) << i;
    EXPECT_EQ(c.ip_address, 0x0A010001u + i) << i;  // each keeps its own
  }
  EXPECT_EQ(Ctl("apply --all " + file + " ip-address=10.0.0.1 --seconds 1" + to_).code, 2);

  // A damaged file is refused and nothing is sent.
  std::filesystem::resize_file(file, 40);
  const std::size_t before = Settled().Received().size();
  const CtlRun bad = Ctl("apply 02-4B-58-00-00-02 " + file + " --no-rescan --seconds 2" + to_);
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.out.find("front.KX25: settings file"), std::string::npos) << bad.out;
  const std::vector<sim::ReceivedCommand> received = Settled().Received();
  for (std::size_t i = before; i < received.size(); ++i) {
    EXPECT_NE(received[i].command, config::kSetConfig);
  }
}

// Waits (generously) for the simulated terminals to have handled what kx25ctl sent.
template <typename Pred>
bool Eventually(Pred done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

int SetCommands(const sim::UdpTerminals& sim) {
  int n = 0;
  for (const auto& r : sim.Received()) {
    n += r.command == config::kSetConfig || r.command == config::kSetWireless ||
         r.command == config::kSetLongMessages || r.command == config::kSetRetalixActivation;
  }
  return n;
}

TEST_F(CtlTest, ApplyRefusesWhenAReplyWasLostAndWritesNothing) {
  Start(1, "03.10");
  sim_->LoseReplies(0, config::kRequestWireless);
  const std::vector<std::byte> wireless = sim_->Wireless(0);
  const CtlRun r = Ctl("apply 02-4B-58-00-00-01 device-name=Front --pause-ms 0 --no-rescan --seconds 2" + to_);
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("kx25ctl: 02:4B:58:00:00:01: not applied: the wireless record"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("read the terminal again"), std::string::npos) << r.out;
  EXPECT_EQ(SetCommands(*sim_), 0);
  EXPECT_EQ(Settled().Wireless(0), wireless);
  EXPECT_EQ(Terminal(0).device_name, "KX25-0001");
  // Nor is a file saved with stand-in wireless values; show says its values are incomplete.
  const std::string file = (dir_ / "partial.KX25").string();
  const CtlRun save = Ctl("save 02-4B-58-00-00-01 " + file + " --seconds 2" + to_);
  EXPECT_EQ(save.code, 1) << save.out;
  EXPECT_NE(save.out.find("not saved: the wireless record"), std::string::npos) << save.out;
  EXPECT_FALSE(std::filesystem::exists(file));
  const CtlRun show = Ctl("show 02-4B-58-00-00-01 --seconds 2" + to_);
  EXPECT_EQ(show.code, 1) << show.out;
  EXPECT_NE(show.out.find("incomplete: the wireless record"), std::string::npos) << show.out;

  // A lost long-message reply: refused too, unless the user enters the cut line anew.
  sim_->LoseReplies(0, config::kRequestWireless, false);
  sim_->EditRecord(0, [](std::vector<std::byte>& rec) { std::memset(rec.data() + 81, 'B', 20); });
  sim_->LoseReplies(0, config::kRequestLongMessages);
  const CtlRun cut = Ctl("apply 02-4B-58-00-00-01 device-name=Front --pause-ms 0 --no-rescan --seconds 2" + to_);
  EXPECT_EQ(cut.code, 1) << cut.out;
  EXPECT_NE(cut.out.find("message lines idle2 are known only by their first 20 bytes"), std::string::npos) << cut.out;
  EXPECT_EQ(SetCommands(*sim_), 0);
  const CtlRun entered = Ctl("apply 02-4B-58-00-00-01 idle2=Fresh --pause-ms 0 --no-rescan --seconds 2" + to_);
  EXPECT_EQ(entered.code, 0) << entered.out;
  EXPECT_TRUE(Eventually([&] { return Terminal(0).lines[config::kIdle2].text == "Fresh"; }));
}

TEST_F(CtlTest, ApplyAllChecksEveryTerminalFirstAndSkipsThoseThatDoNotFit) {
  Start(3, "03.10");
  const std::string file = (dir_ / "fleet.KX25").string();
  ASSERT_EQ(Ctl("save 02-4B-58-00-00-01 " + file + " --seconds 2" + to_).code, 0);
  // The middle terminal has a Retalix record (its page set differs from the file's); the last
  // one loses its wireless reply.
  sim_->EditRecord(1, [](std::vector<std::byte>& rec) { rec[5] = std::byte{3}; });
  sim_->LoseReplies(2, config::kRequestWireless);
  const CtlRun r = Ctl("apply --all " + file + " device-name=Fleet --pause-ms 0 --no-rescan --seconds 1" + to_);
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("applied to 02:4B:58:00:00:01: commands 9 (363 bytes), 2 (288 bytes)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("kx25ctl: skipped 02:4B:58:00:00:02: " + file + ": settings file"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("kx25ctl: skipped 02:4B:58:00:00:03: not applied: the wireless record"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Nr of units configured: 1\n"), std::string::npos) << r.out;
  EXPECT_TRUE(Eventually([&] { return Terminal(0).device_name == "Fleet"; }));
  EXPECT_EQ(SetCommands(*sim_), 2);  // commands 9 and 2 to the first terminal only
  EXPECT_EQ(Terminal(1).device_name, "KX25-0002");
  EXPECT_EQ(Terminal(2).device_name, "KX25-0003");

  // Every terminal fits: all are written and the run succeeds.
  sim_->EditRecord(1, [](std::vector<std::byte>& rec) { rec[5] = std::byte{2}; });
  sim_->LoseReplies(2, config::kRequestWireless, false);
  const CtlRun ok = Ctl("apply --all " + file + " device-name=Fleet --pause-ms 0 --no-rescan --seconds 1" + to_);
  EXPECT_EQ(ok.code, 0) << ok.out;
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Eventually([&] { return Terminal(i).device_name == "Fleet"; })) << i;
  }
}

TEST_F(CtlTest, RetailChainModeActivatesRetalixOnAVersion3Terminal) {
  Start(1, "02.50", 3);
  const CtlRun r = Ctl("apply 02-4B-58-00-00-01 retalix-active=on currency=USD pos-station=4 "
                       "round-off=100 transport=tcp --marlo --pause-ms 0 --no-rescan --seconds 2" + to_);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("commands 3 (15 bytes), 2 (287 bytes)"), std::string::npos) << r.out;
  const std::vector<std::byte> record = Settled().Record(0);
  EXPECT_EQ(static_cast<int>(record[14]), 1);  // activation, from command 3
  const config::Configuration c = Terminal(0);
  EXPECT_EQ(c.retalix.currency, "USD");
  EXPECT_EQ(c.retalix.pos_station, 4);
  EXPECT_EQ(c.retalix.round_off, 100);
  EXPECT_EQ(static_cast<int>(record[277]) & 0xC0, 0xC0);  // still a UDP server

  const std::string file = (dir_ / "retalix.KX25").string();
  ASSERT_EQ(Ctl("save 02-4B-58-00-00-01 " + file + " --rs232 --seconds 2" + to_).code, 0);
  ASSERT_EQ(Ctl("apply 02-4B-58-00-00-01 currency=GBP --pause-ms 0 --no-rescan --seconds 2" + to_).code, 0);
  EXPECT_EQ(Terminal(0).retalix.currency, "GBP");
  ASSERT_EQ(Ctl("apply 02-4B-58-00-00-01 " + file + " --rs232 --pause-ms 0 --no-rescan --seconds 2" + to_).code,
            0);
  EXPECT_EQ(Terminal(0).retalix.currency, "USD");
}

TEST(ConfigFields, EveryWritableFieldRoundTripsThroughItsText) {
  config::Configuration c;
  c.version = 3;
  c.firmware_version = "03.10";
  c.retalix.round_off = 10;
  for (const auto& [name, value] : FormatConfiguration(c)) {
    config::Configuration copy = c;
    const Status st = SetField(copy, name, value);
    if (st.ok()) {
      EXPECT_EQ(copy, c) << name << "=" << value;
    } else {
      EXPECT_NE(st.message().find("read-only"), std::string::npos) << name << ": " << st.message();
    }
  }
  EXPECT_FALSE(SetField(c, "offline", "x").ok());  // no offline line in a version-3 record
  EXPECT_FALSE(SetField(c, "device-name", std::string(27, 'n')).ok());
  EXPECT_FALSE(SetField(c, "tcp-port", "65536").ok());
  EXPECT_FALSE(ApplyAssignment(c, "novalue").ok());
  EXPECT_TRUE(ApplyAssignment(c, "security=wpa-enterprise").ok());
  EXPECT_EQ(config::SecurityModeOf(c.wireless, 310), config::SecurityMode::kWpaEnterprise);
}

}  // namespace
}  // namespace kt::ctl
