// The read and apply exchanges against simulated terminals on loopback.
#include "tool/config/exchange.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "common/coding.h"
#include "sim/udp/udp_terminals.h"
#include "tool/config/config_record.h"
#include "tool/config/text_codec.h"
#include "tool/config/wireless_record.h"

namespace kt::config {
namespace {

using sim::UdpTerminalOptions;
using sim::UdpTerminals;
using namespace std::chrono_literals;

class Collect : public ExchangeErrors {
 public:
  void ShowError(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

std::unique_ptr<UdpTerminals> StartSim(const std::string& firmware, uint16_t version, int count = 1) {
  UdpTerminalOptions o;
  o.count = count;
  o.listen_port = 0;
  o.firmware = firmware;
  o.record_version = version;
  auto sim = UdpTerminals::Start(o);
  EXPECT_TRUE(sim.ok()) << sim.status().ToString();
  return std::move(*sim);
}

ExchangeOptions To(const UdpTerminals& sim) {
  ExchangeOptions o;
  o.bind_address = 0x7F000001;
  o.destination = sim.endpoint();
  o.fetch_round_pause = 50ms;
  // A fetch ends at the first reply; a busy machine may take long to give one.
  o.fetch_rounds = 200;
  o.apply_pause = 30ms;
  return o;
}

Configuration ReadFromSim(const UdpTerminals& sim, int index) {
  Result<Configuration> c = DecodeConfigRecord(sim.Record(index));
  EXPECT_TRUE(c.ok());
  return *c;
}

int CountCommands(const UdpTerminals& sim, uint8_t command) {
  int n = 0;
  for (const auto& r : sim.Received()) n += r.command == command ? 1 : 0;
  return n;
}

int CountSets(const UdpTerminals& sim) {
  return CountCommands(sim, kSetConfig) + CountCommands(sim, kSetLongMessages) +
         CountCommands(sim, kSetWireless) + CountCommands(sim, kSetRetalixActivation);
}

// Waits (generously) until the terminal has handled `n` set commands.
bool WaitForSets(const UdpTerminals& sim, int n) {
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (CountSets(sim) < n) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// Fills idle line 1 of the short record to all 20 bytes and gives the long record a 45-byte line.
void GiveLongLine(UdpTerminals& sim, int index) {
  sim.EditRecord(index, [](std::vector<std::byte>& r) { std::memset(r.data() + 57, 'A', 20); });
  sim.EditLongMessages(index, [](std::vector<std::byte>& r) {
    std::memset(r.data() + 14, 'A', 45);
    std::memcpy(r.data() + 334, "Long offline text", 17);
  });
}

TEST(Exchange, FetchesBothRecordsByMac) {
  auto sim = StartSim("03.10", 2, 3);
  Collect errors;
  auto m = FetchLongMessages(To(*sim), sim->MacOf(1), 1, errors);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->mac, sim->MacOf(1));
  EXPECT_EQ(m->lines[kIdle2].text, "Scan a barcode");
  auto w = FetchWireless(To(*sim), sim->MacOf(2), errors);
  ASSERT_TRUE(w.has_value());
  EXPECT_EQ(w->mac, sim->MacOf(2));
  EXPECT_EQ(w->settings.ssid, "shopfloor");
  EXPECT_TRUE(errors.texts.empty());
}

TEST(Exchange, CompleteFollowsFirmwareAndFullLines) {
  struct Case {
    const char* firmware;
    bool full_line;
    int long_requests, wireless_requests;
  };
  const Case cases[] = {
      {"02.09", true, 0, 0},   // below 2.10: never asks for long messages
      {"02.10", false, 0, 0},  // no line filled its 20 bytes
      {"02.10", true, 1, 0},
      {"03.00", false, 0, 1},
      {"03.10", true, 1, 1},
  };
  for (const Case& k : cases) {
    auto sim = StartSim(k.firmware, 2);
    if (k.full_line) GiveLongLine(*sim, 0);
    Collect errors;
    const Configuration c = CompleteConfiguration(ReadFromSim(*sim, 0), To(*sim), errors);
    EXPECT_GE(CountCommands(*sim, kRequestLongMessages), k.long_requests) << k.firmware;
    if (k.long_requests == 0) {
      EXPECT_EQ(CountCommands(*sim, kRequestLongMessages), 0) << k.firmware;
    }
    if (k.wireless_requests == 0) {
      EXPECT_EQ(CountCommands(*sim, kRequestWireless), 0) << k.firmware;
    } else {
      EXPECT_GE(CountCommands(*sim, kRequestWireless), 1) << k.firmware;
    }
    if (k.long_requests) {
      EXPECT_EQ(c.lines[kIdle1].text, std::string(45, 'A')) << k.firmware;
      EXPECT_EQ(c.lines[kOffline].text, "Long offline text") << k.firmware;  // version-2 reply
    } else if (k.full_line) {
      EXPECT_EQ(c.lines[kIdle1].text, std::string(20, 'A')) << k.firmware;
    }
  }
}

TEST(Exchange, LongMessageReplyOfVersion4KeepsTheOfflineLine) {
  auto sim = StartSim("03.10", 4);
  GiveLongLine(*sim, 0);
  Collect errors;
  const Configuration c = CompleteConfiguration(ReadFromSim(*sim, 0), To(*sim), errors);
  EXPECT_EQ(c.lines[kIdle1].text, std::string(45, 'A'));
  EXPECT_EQ(c.lines[kOffline].text, "Offline");
  EXPECT_EQ(c.version, 4);
}

// A WPA-Enterprise terminal: key, EAP user and password in its wireless record.
void MakeWpaEnterprise(UdpTerminals& sim, int index) {
  namespace wr = wireless_record;
  sim.EditWireless(index, [](std::vector<std::byte>& r) {
    r[wr::kWpaPsk + 1] = std::byte{1};
    r[wr::kWpaEap + 1] = std::byte{1};
    std::memcpy(r.data() + wr::kPsk, "correct horse", 13);
    std::memcpy(r.data() + wr::kEapUser, "till7", 5);
    std::memcpy(r.data() + wr::kEapPassword, "s3cret", 6);
    std::memcpy(r.data() + wr::kExtraText, "kept as is", 10);
  });
}

// A reply lost during the read leaves the configuration without that record's values: the
// apply refuses, names what is missing and sends nothing; a new read makes it whole again.
TEST(Exchange, ALostReplyNeverLetsAnApplyWipeTheTerminal) {
  struct Case {
    const char* name;
    const char* firmware;
    uint8_t lost_request;
    const char* named;  // in the refusal
  } cases[] = {
      {"wireless", "03.10", kRequestWireless, "wireless record"},
      {"long messages", "02.10", kRequestLongMessages, "message lines idle1 are known only"},
      {"long messages on 3.10", "03.10", kRequestLongMessages, "long-message record"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    auto sim = StartSim(k.firmware, 2);
    MakeWpaEnterprise(*sim, 0);
    GiveLongLine(*sim, 0);
    const std::vector<std::byte> wireless_before = sim->Wireless(0);
    const std::vector<std::byte> long_before = sim->LongMessages(0);
    const std::vector<std::byte> record_before = sim->Record(0);
    const ExchangeOptions o = To(*sim);

    sim->LoseReplies(0, k.lost_request);
    Collect errors;
    ExchangeOptions lost = o;
    lost.fetch_rounds = 10;  // the rounds a real read waits; no reply comes anyway
    Configuration c = CompleteConfiguration(ReadFromSim(*sim, 0), lost, errors);
    EXPECT_TRUE(errors.texts.empty()) << "a lost reply is not reported during the read";
    c.device_name = "Renamed";
    const std::string missing = MissingForApply(c);
    EXPECT_NE(missing.find(k.named), std::string::npos) << missing;
    EXPECT_TRUE(ApplyConfiguration(c, {}, o, errors).empty());
    ASSERT_EQ(errors.texts, std::vector<std::string>{missing});
    EXPECT_NE(missing.find("read the terminal again"), std::string::npos) << missing;
    EXPECT_EQ(CountSets(*sim), 0);
    EXPECT_EQ(sim->Wireless(0), wireless_before);
    EXPECT_EQ(sim->LongMessages(0), long_before);
    EXPECT_EQ(sim->Record(0), record_before);

    // The reply comes through on the next read: the apply goes out and keeps what the
    // terminal had (the security settings, the 45-byte line).
    sim->LoseReplies(0, k.lost_request, false);
    errors.texts.clear();
    c = CompleteConfiguration(ReadFromSim(*sim, 0), o, errors);
    EXPECT_EQ(MissingForApply(c), "");
    c.device_name = "Renamed";
    const std::vector<SentDatagram> sent = ApplyConfiguration(c, {}, o, errors);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().command, kSetConfig);
    EXPECT_TRUE(errors.texts.empty());
    ASSERT_TRUE(WaitForSets(*sim, static_cast<int>(sent.size())));
    EXPECT_EQ(ReadFromSim(*sim, 0).device_name, "Renamed");
    const Configuration after = CompleteConfiguration(ReadFromSim(*sim, 0), o, errors);
    EXPECT_EQ(after.lines[kIdle1].text, std::string(45, 'A'));
    if (after.firmware_number() >= kFirmwareWirelessRecord) {
      EXPECT_EQ(SecurityModeOf(after.wireless, after.firmware_number()), SecurityMode::kWpaEnterprise);
      EXPECT_EQ(after.wireless.psk, "correct horse");
      EXPECT_EQ(after.wireless.eap_password, "s3cret");
      EXPECT_EQ(std::memcmp(after.wireless.extra_text.data(), "kept as is", 10), 0);
    }
  }
}

// With code page 9 the short copy of a long line is cut at a character boundary, so byte 20 may
// be NUL; the read still fetches the long record and an apply carries the line back whole.
TEST(Exchange, Utf8LongLineSurvivesReadAndApply) {
  auto sim = StartSim("02.10", 2);
  std::string line = "A";
  for (int i = 0; i < 15; ++i) line += "\xC3\xA9";  // 31 bytes; byte 20 is inside a character
  sim->EditRecord(0, [&](std::vector<std::byte>& r) {
    r[201] = std::byte{static_cast<uint8_t>((static_cast<uint8_t>(r[201]) & 0x1F) | (1 << 5))};
    r[40] = std::byte{static_cast<uint8_t>(static_cast<uint8_t>(r[40]) | 0x80)};  // index 9
    std::memset(r.data() + 57, 0, 20);
    std::memcpy(r.data() + 57, line.data(), 19);  // what the terminal keeps of it
  });
  sim->EditLongMessages(0, [&](std::vector<std::byte>& r) {
    std::memset(r.data() + 14, 0, 60);
    std::memcpy(r.data() + 14, line.data(), line.size());
  });
  const ExchangeOptions o = To(*sim);
  Collect errors;
  Configuration c = CompleteConfiguration(ReadFromSim(*sim, 0), o, errors);
  ASSERT_EQ(c.codepage, kUtf8CodePageIndex);
  EXPECT_GE(CountCommands(*sim, kRequestLongMessages), 1);
  EXPECT_EQ(c.lines[kIdle1].text, line);

  c.device_name = "Renamed";
  const std::vector<SentDatagram> sent = ApplyConfiguration(c, {}, o, errors);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].command, kSetLongMessages);
  ASSERT_TRUE(WaitForSets(*sim, 2));
  const std::vector<std::byte> long_after = sim->LongMessages(0);
  EXPECT_EQ(std::memcmp(long_after.data() + 14, line.data(), line.size()), 0);
  const Configuration again = CompleteConfiguration(ReadFromSim(*sim, 0), o, errors);
  EXPECT_EQ(again.lines[kIdle1].text, line);
  EXPECT_EQ(again.device_name, "Renamed");
}

// A terminal that answers a request first with another terminal's MAC (and other junk), then
// with the right one, if `then_right` is set.
class TrickyResponder {
 public:
  explicit TrickyResponder(bool then_right) : then_right_(then_right) {
    auto s = net::UdpSocket::Open();
    socket_ = std::move(*s);
    EXPECT_TRUE(socket_.Bind(0x7F000001, 0).ok());
    EXPECT_TRUE(socket_.SetReceiveTimeout(100ms).ok());
    endpoint_ = *socket_.LocalEndpoint();
    thread_ = std::thread([this] { Run(); });
  }
  ~TrickyResponder() {
    running_ = false;
    thread_.join();
  }
  net::UdpEndpoint endpoint() const { return endpoint_; }
  int requests() const { return requests_.load(); }

 private:
  void Run() {
    std::vector<std::byte> buf(512);
    while (running_) {
      auto got = socket_.Receive(buf);
      if (!got.ok() || got->length != 14) continue;
      ++requests_;
      Mac asked;
      std::memcpy(asked.data(), buf.data() + 8, 6);
      Configuration c;
      c.mac = asked;
      c.mac[5] ^= 0xFF;  // someone else
      c.firmware_version = "02.10";
      c.lines[kIdle1].text = "foreign";
      std::vector<std::byte> foreign = EncodeLongMessages(c);
      foreign[6] = std::byte{kLongMessagesReply};
      std::vector<std::byte> wrong_version = foreign;
      std::memcpy(wrong_version.data() + 8, asked.data(), 6);
      wrong_version[5] = std::byte{5};
      std::vector<std::byte> wrong_command = wrong_version;
      wrong_command[5] = std::byte{2};
      wrong_command[6] = std::byte{kWirelessReply};
      for (auto* d : {&foreign, &wrong_version, &wrong_command}) {
        Result<std::size_t> ignored = socket_.SendTo(got->sender, *d);
        (void)ignored;
      }
      if (then_right_ && requests_ >= 3) {
        c.mac = asked;
        c.lines[kIdle1].text = "mine";
        std::vector<std::byte> right = EncodeLongMessages(c);
        right[6] = std::byte{kLongMessagesReply};
        Result<std::size_t> ignored = socket_.SendTo(got->sender, right);
        (void)ignored;
      }
    }
  }
  const bool then_right_;
  net::UdpSocket socket_;
  net::UdpEndpoint endpoint_;
  std::atomic<bool> running_{true};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

TEST(Exchange, ForeignMacOtherVersionsAndCommandsNeverEndAFetch) {
  const Mac mac = {0x02, 0x4B, 0x58, 0, 0, 9};
  ExchangeOptions o;
  o.bind_address = 0x7F000001;
  o.fetch_round_pause = 20ms;
  Collect errors;
  {
    TrickyResponder responder(true);
    o.destination = responder.endpoint();
    auto m = FetchLongMessages(o, mac, 1, errors);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->lines[kIdle1].text, "mine");
  }
  {
    TrickyResponder responder(false);
    o.destination = responder.endpoint();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(FetchLongMessages(o, mac, 1, errors).has_value());
    EXPECT_EQ(responder.requests(), 11);  // the first request and one per round
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  }
  EXPECT_TRUE(errors.texts.empty());  // no answer is not an error
}

TEST(Exchange, SocketFailureIsReportedThroughTheSink) {
  ExchangeOptions o;
  o.bind_address = 0xCB007101;  // 203.0.113.1: not an address of this machine
  o.destination = {0x7F000001, 9};
  Collect errors;
  EXPECT_FALSE(FetchWireless(o, Mac{}, errors).has_value());
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_NE(errors.texts[0].find("bind"), std::string::npos) << errors.texts[0];
  EXPECT_TRUE(ApplyConfiguration(Configuration{}, {}, o, errors).empty());
  EXPECT_EQ(errors.texts.size(), 2u);
}

struct ApplyCase {
  const char* firmware;
  bool long_line;
  bool marlo;
  std::vector<std::pair<uint8_t, std::size_t>> expected;  // command, size
};

void PrintTo(const ApplyCase& k, std::ostream* os) { *os << "firmware " << k.firmware; }

class ApplySequence : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplySequence, SendsTheGatedDatagramsAndTheTerminalTakesThem) {
  const ApplyCase& k = GetParam();
  auto sim = StartSim(k.firmware, 2);
  Collect errors;
  const ExchangeOptions o = To(*sim);
  Configuration c = CompleteConfiguration(ReadFromSim(*sim, 0), o, errors);
  c.device_name = "Renamed";
  c.ip_address = 0x0A630001;  // 10.99.0.1
  c.lines[kIdle3].text = k.long_line ? std::string(60, 'Z') : "short";
  const auto start = std::chrono::steady_clock::now();
  const std::vector<SentDatagram> sent = ApplyConfiguration(c, {k.marlo}, o, errors);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  ASSERT_EQ(sent.size(), k.expected.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].command, k.expected[i].first) << i;
    EXPECT_EQ(sent[i].size, k.expected[i].second) << i;
    EXPECT_TRUE(sent[i].complete);
  }
  EXPECT_GE(elapsed, o.apply_pause * static_cast<int>(sent.size() - 1));  // a pause after each but 2
  EXPECT_TRUE(errors.texts.empty());

  // The terminal checked sizes and checksums and took every datagram; a rescan shows it.
  ASSERT_TRUE(WaitForSets(*sim, static_cast<int>(k.expected.size())));
  int applied = 0;
  for (const auto& r : sim->Received()) {
    if (r.command == kSetConfig || r.command == kSetLongMessages || r.command == kSetWireless ||
        r.command == kSetRetalixActivation) {
      EXPECT_TRUE(r.applied) << "command " << int(r.command);
      ++applied;
    }
  }
  EXPECT_EQ(applied, static_cast<int>(k.expected.size()));
  const Configuration after = ReadFromSim(*sim, 0);
  EXPECT_EQ(after.device_name, "Renamed");
  EXPECT_EQ(after.current_ip, 0x0A630001u);
  const std::string idle3 = after.lines[kIdle3].text;
  EXPECT_EQ(idle3, k.long_line ? std::string(20, 'Z') : "short");  // the short record holds 20
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, ApplySequence,
    ::testing::Values(
        // 2.09 never sends command 6; the 60-character line is cut to 20 bytes in command 2.
        ApplyCase{"02.09", true, false, {{kSetConfig, 287}}},
        ApplyCase{"02.10", true, false, {{kSetLongMessages, 398}, {kSetConfig, 287}}},
        ApplyCase{"02.10", false, false, {{kSetConfig, 287}}},
        // 3.00 without long lines: 9, one pause, then 2 with 288 bytes.
        ApplyCase{"03.00", false, false, {{kSetWireless, 363}, {kSetConfig, 288}}},
        ApplyCase{"03.10", true, true,
                  {{kSetLongMessages, 399}, {kSetWireless, 363}, {kSetRetalixActivation, 15},
                   {kSetConfig, 288}}}),
    [](const auto& info) {
      std::string fw = info.param.firmware;
      fw.erase(2, 1);
      return "Firmware" + fw + (info.param.long_line ? "LongLine" : "") + (info.param.marlo ? "Marlo" : "");
    });

// Fails the Retalix activation and lets everything else through.
class FailingActivation : public DatagramSender {
 public:
  Result<std::size_t> Send(std::span<const std::byte> d) override {
    commands.push_back(static_cast<uint8_t>(d[6]));
    if (d[6] == std::byte{kSetRetalixActivation}) return Status::IOError("sendto: No buffer space available");
    return d.size();
  }
  std::vector<uint8_t> commands;
};

TEST(ApplySequenceFailure, FailedRetalixActivationStopsBeforeTheRecord) {
  Configuration c;
  c.firmware_version = "03.10";
  FailingActivation sender;
  Collect errors;
  const auto sent = RunApplySequence(c, {true}, sender, 0ms, errors);
  EXPECT_EQ(sender.commands, (std::vector<uint8_t>{kSetWireless, kSetRetalixActivation}));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_FALSE(sent[1].complete);
  ASSERT_EQ(errors.texts.size(), 1u);
  EXPECT_EQ(errors.texts[0], "sendto: No buffer space available");
}

// A failed long-message send is reported, and the record still says it was sent.
class FailingLongMessages : public DatagramSender {
 public:
  Result<std::size_t> Send(std::span<const std::byte> d) override {
    if (d[6] == std::byte{kSetLongMessages}) return std::size_t{10};
    if (d[6] == std::byte{kSetConfig}) record.assign(d.begin(), d.end());
    return d.size();
  }
  std::vector<std::byte> record;
};

TEST(ApplySequenceFailure, FailedLongMessagesStillMarkedAndSequenceGoesOn) {
  Configuration c;
  c.firmware_version = "02.50";
  c.lines[kError1].text = std::string(30, 'e');
  FailingLongMessages sender;
  Collect errors;
  const auto sent = RunApplySequence(c, {}, sender, 0ms, errors);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_FALSE(sent[0].complete);
  EXPECT_TRUE(sent[1].complete);
  EXPECT_EQ(errors.texts.size(), 1u);
  ASSERT_EQ(sender.record.size(), 287u);
  EXPECT_EQ(static_cast<int>(sender.record[18]) & 1, 1);
}

}  // namespace
}  // namespace kt::config
