// Discovery against simulated terminals on loopback.
#include "tool/discovery/scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "common/coding.h"
#include "sim/udp/udp_terminals.h"
#include "tool/config/config_record.h"
#include "tool/config/text_codec.h"
#include "tool/discovery/destination.h"
#include "tool/discovery/pending_replies.h"
#include "tool/discovery/sort_mode.h"

#include <net/if.h>
#include <cstdlib>

namespace kt::discovery {
namespace {

using namespace std::chrono_literals;

struct Event {
  char kind;  // '+' line added, '-' line removed, 's' status
  std::string text;
};

class Recorder : public ScanObserver {
 public:
  void OnStatus(const std::string& t) override { Add('s', t); }
  void OnLineAdded(const std::string& line, const DeviceEntry&) override { Add('+', line); }
  void OnLineRemoved(const std::string& line) override { Add('-', line); }
  void OnScanEnded(int found) override { ended = found; }
  std::vector<Event> Events() {
    std::scoped_lock lock(mutex);
    return events;
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (const Event& e : Events()) {
      if (e.kind == '+') out.push_back(e.text);
      if (e.kind == '-') out.erase(std::find(out.begin(), out.end(), e.text));
    }
    return out;
  }
  std::string LastStatus() {
    std::string s;
    for (const Event& e : Events()) if (e.kind == 's') s = e.text;
    return s;
  }
  int ended = -2;

 private:
  void Add(char k, const std::string& t) {
    std::scoped_lock lock(mutex);
    events.push_back({k, t});
  }
  std::mutex mutex;
  std::vector<Event> events;
};

std::unique_ptr<sim::UdpTerminals> StartSim(int count) {
  sim::UdpTerminalOptions o;
  o.count = count;
  o.listen_port = 0;
  auto s = sim::UdpTerminals::Start(o);
  EXPECT_TRUE(s.ok());
  return std::move(*s);
}

ScanOptions Fast(net::UdpEndpoint to, int seconds = 1) {
  ScanOptions o;
  o.bind_address = 0x7F000001;
  o.destination = to;
  o.countdown_seconds = seconds;
  o.pass_pause = 150ms;
  return o;
}

TEST(Scanner, TerminalsAnsweringEveryRequestAreListedOnce) {
  auto sim = StartSim(3);
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  const int found = scanner.Run(Fast(sim->endpoint(), 2), rec);
  EXPECT_EQ(found, 3);
  EXPECT_EQ(rec.ended, 3);
  EXPECT_EQ(table.size(), 3u);
  EXPECT_EQ(rec.Lines().size(), 3u);
  EXPECT_GE(sim->Received().size(), 4u);  // two at once, then one per pass
  EXPECT_EQ(rec.LastStatus(), "Nr of units found: 3");
  EXPECT_FALSE(scanner.scanning());
  std::vector<std::string> lines = rec.Lines();
  SortDeviceLines(lines, 2);
  EXPECT_EQ(lines[0], "10.1.0.1         02-4B-58-00-00-01  03.10  KX25-0001                 ");
  // The table survives the scan and is searchable by MAC.
  const DeviceEntry* e = table.Find(sim->MacOf(2));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->summary.ip, 0x0A010003u);
  EXPECT_EQ(config::DecodeConfigRecord(e->slot)->device_name, "KX25-0003");
}

TEST(Scanner, MovedTerminalGoesToTheEndWithItsNewAddress) {
  auto sim = StartSim(2);
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  std::thread mover([&] {
    while (rec.Lines().size() < 2) std::this_thread::sleep_for(5ms);
    sim->EditRecord(0, [](std::vector<std::byte>& r) {
      EncodeFixedBE32(r.data() + config::config_record::kCurrentIp, 0x0A0100FE);
    });
  });
  const int found = scanner.Run(Fast(sim->endpoint(), 2), rec);
  mover.join();
  EXPECT_EQ(found, 2);
  const std::vector<std::string> lines = rec.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 15), "10.1.0.2       ");
  EXPECT_EQ(lines[1].substr(0, 15), "10.1.0.254     ");
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(table.entries()[0].summary.ip, 0x0A0100FEu);  // replaced in place in the table
}

// Answers every discovery request with a set of bad datagrams and one good one.
class JunkTerminal {
 public:
  JunkTerminal() {
    socket_ = net::UdpSocket::Open().value();
    EXPECT_TRUE(socket_.Bind(0x7F000001, 0).ok());
    EXPECT_TRUE(socket_.SetReceiveTimeout(100ms).ok());
    endpoint_ = *socket_.LocalEndpoint();
    thread_ = std::thread([this] { Run(); });
  }
  ~JunkTerminal() {
    running_ = false;
    thread_.join();
  }
  net::UdpEndpoint endpoint() const { return endpoint_; }

  static std::vector<std::byte> Reply(uint8_t id, std::size_t size) {
    std::vector<std::byte> d(size, std::byte{0});
    std::memcpy(d.data(), "KVMP", 4);
    d[5] = std::byte{2};
    d[6] = std::byte{1};
    d[8] = std::byte{0x0A};
    d[13] = std::byte{id};
    if (size > 31) d[31] = std::byte{id};
    return d;
  }

 private:
  void Run() {
    std::vector<std::byte> buf(64);
    while (running_) {
      auto got = socket_.Receive(buf);
      if (!got.ok() || got->length != 7) continue;
      std::vector<std::vector<std::byte>> replies;
      auto bad = [&](uint8_t id, auto change) {
        auto d = Reply(id, 287);
        change(d);
        replies.push_back(d);
      };
      bad(1, [](auto& d) { d[5] = std::byte{1}; });  // version 1
      bad(2, [](auto& d) { d[5] = std::byte{6}; });  // version 6
      bad(3, [](auto& d) { d[0] = std::byte{'X'}; });
      bad(4, [](auto& d) { d[6] = std::byte{0}; });  // a request, not a reply
      replies.push_back(Reply(5, 400));              // longer than a slot
      replies.push_back(Reply(6, 289));
      replies.push_back(Reply(7, 288));              // exactly a slot: fine
      replies.push_back(Reply(8, 60));               // short: zero-padded, fine
      auto v5 = Reply(9, 287);
      v5[5] = std::byte{5};
      replies.push_back(v5);
      for (const auto& d : replies) {
        Result<std::size_t> ignored = socket_.SendTo(got->sender, d);
        (void)ignored;
      }
    }
  }
  net::UdpSocket socket_;
  net::UdpEndpoint endpoint_;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

TEST(Scanner, RepliesReceivedWhenTheCountdownEndsStillCount) {
  sim::UdpTerminalOptions so;
  so.count = 5;
  so.listen_port = 0;
  so.reply_delay = 300ms;  // arrives while the worker pauses for the last time
  auto sim = sim::UdpTerminals::Start(so).value();
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  ScanOptions o = Fast(sim->endpoint(), 1);
  o.pass_pause = 1000ms;
  EXPECT_EQ(scanner.Run(o, rec), 5);
}

TEST(Scanner, OnlyWellFormedRepliesAreListed) {
  JunkTerminal junk;
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  EXPECT_EQ(scanner.Run(Fast(junk.endpoint()), rec), 3);
  std::vector<int> ids;
  for (const DeviceEntry& e : table.entries()) ids.push_back(e.summary.mac[5]);
  EXPECT_EQ(ids, (std::vector<int>{7, 8, 9}));
}

uint16_t FreePort() {
  auto s = net::UdpSocket::Open();
  EXPECT_TRUE(s->Bind(0x7F000001, 0).ok());
  return s->LocalEndpoint()->port;
}

TEST(Scanner, OwnRequestHeardBackIsIgnored) {
  const uint16_t port = FreePort();
  ScanOptions o = Fast({0x7F000001, port});
  o.bind_port = port;  // the request goes to the scanner's own socket
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  EXPECT_EQ(scanner.Run(o, rec), 0);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(rec.LastStatus(), "Nr of units found: 0");
}

TEST(Scanner, LocalPortInUseStillScansFromAnotherPort) {
  auto sim = StartSim(1);
  auto blocker = net::UdpSocket::Open();
  ASSERT_TRUE(blocker->Bind(0, 0).ok());
  ScanOptions o = Fast(sim->endpoint());
  o.bind_address = 0;
  o.bind_port = blocker->LocalEndpoint()->port;
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  EXPECT_EQ(scanner.Run(o, rec), 1);
}

TEST(Scanner, StopRightAfterStartEndsWithinASecond) {
  auto sim = StartSim(1);
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  ScanOptions o = Fast(sim->endpoint(), kCountdownStart);
  o.pass_pause = 1000ms;
  int found = -5;
  const auto start = std::chrono::steady_clock::now();
  std::thread worker([&] { found = scanner.Run(o, rec); });
  while (!scanner.scanning()) std::this_thread::sleep_for(1ms);
  scanner.RequestStop();
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_GE(found, 0);
  EXPECT_EQ(rec.LastStatus(), "Nr of units found: " + std::to_string(found));
}

TEST(Scanner, StopBetweenBeginAndRunIsKept) {
  auto sim = StartSim(1);
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  scanner.Begin();
  scanner.RequestStop();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(scanner.Run(Fast(sim->endpoint(), kCountdownStart), rec), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(rec.LastStatus(), "Nr of units found: 0");
}

TEST(Scanner, CountdownTicksThenWaitsAndStops) {
  DeviceTable table;
  Scanner scanner(table);
  Recorder rec;
  scanner.SetCountdown(3);
  EXPECT_TRUE(scanner.Tick(rec));
  EXPECT_TRUE(scanner.Tick(rec));
  EXPECT_FALSE(scanner.Tick(rec));
  EXPECT_TRUE(scanner.stop_requested());
  std::vector<std::string> statuses;
  for (const Event& e : rec.Events()) statuses.push_back(e.text);
  EXPECT_EQ(statuses, (std::vector<std::string>{"Searching...(3)    Press STOP to interrupt",
                                                "Searching...(2)    Press STOP to interrupt",
                                                "Searching...(1)    Press STOP to interrupt",
                                                "Wait..."}));
  scanner.SetCountdown(5);
  rec.OnStatus("");
  scanner.Tick(rec);
  EXPECT_EQ(rec.LastStatus(), "Aborting...");
}

TEST(Scanner, RequestsSentThroughEachInterfaceFindEveryTerminalOnce) {
  auto sim = StartSim(2);
  DeviceTable table;
  Scanner scanner(table);
  ScanOptions o = Fast(sim->endpoint(), 2);
  o.bind_address = 0;
  // The loopback interface twice, and an index no interface has: the good sends carry the scan,
  // the bad one is not reported as a failed first request.
  const unsigned lo = if_nametoindex("lo");
  ASSERT_NE(lo, 0u);
  o.send_interfaces = {lo, 999999u, lo};
  bool send_error = false;
  class : public Recorder {
   public:
    bool* flag = nullptr;
    void OnSendError(const std::string&) override { *flag = true; }
  } r2;
  r2.flag = &send_error;
  EXPECT_EQ(scanner.Run(o, r2), 2);
  EXPECT_FALSE(send_error);
  EXPECT_EQ(r2.Lines().size(), 2u);
  EXPECT_GE(sim->Received().size(), 4u);  // the two requests at the start, once per good interface
}

TEST(Scanner, AllInterfacesFailingReportsTheFirstRequest) {
  auto sim = StartSim(1);
  DeviceTable table;
  Scanner scanner(table);
  class : public Recorder {
   public:
    std::string error;
    void OnSendError(const std::string& text) override { error = text; }
  } rec;
  ScanOptions o = Fast(sim->endpoint(), 1);
  o.bind_address = 0;
  o.send_interfaces = {999999u};
  EXPECT_EQ(scanner.Run(o, rec), 0);
  EXPECT_FALSE(rec.error.empty());
}

TEST(SortMode, HeaderClicksToggleTheClickedColumnOnly) {
  struct Case {
    int mode;
    SortColumn clicked;
    int expect;
  };
  const Case cases[] = {
      {kInitialSortMode, SortColumn::kMac, 3}, {3, SortColumn::kMac, 2},   {3, SortColumn::kIp, 0},
      {0, SortColumn::kIp, 1},                 {1, SortColumn::kIp, 0},    {1, SortColumn::kFirmware, 4},
      {4, SortColumn::kFirmware, 5},           {5, SortColumn::kName, 6},  {6, SortColumn::kName, 7},
      {7, SortColumn::kName, 6},               {7, SortColumn::kMac, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SortModeAfterClick(c.mode, c.clicked), c.expect) << c.mode << " " << static_cast<int>(c.clicked);
  }
  for (int mode = 0; mode < 8; ++mode) {
    EXPECT_EQ(static_cast<int>(SortColumnOf(mode)), mode / 2);
    EXPECT_EQ(IsDescending(mode), mode % 2 == 1);
  }
}

TEST(Destination, ParsedFromTextAndEnvironment) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t address;
    uint16_t port;
  };
  const Case cases[] = {
      {"127.0.0.1", true, 0x7F000001, 10004}, {"127.0.0.2:40000", true, 0x7F000002, 40000},
      {"10.1.2.3:65535", true, 0x0A010203, 65535}, {"127.0.0.1:", false, 0, 0},
      {"127.0.0.1:0", false, 0, 0},            {"127.0.0.1:65536", false, 0, 0},
      {"127.0.0.1:12x", false, 0, 0},          {"localhost", false, 0, 0},
      {"300.1.1.1", false, 0, 0},              {"", false, 0, 0},
  };
  for (const Case& c : cases) {
    Result<net::UdpEndpoint> r = ParseDestination(c.text);
    ASSERT_EQ(r.ok(), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(r->address, c.address) << c.text;
    EXPECT_EQ(r->port, c.port) << c.text;
  }
  ::unsetenv(kDestinationVariable);
  ASSERT_TRUE(DestinationFromEnvironment().ok());
  EXPECT_FALSE(DestinationFromEnvironment()->has_value());
  ::setenv(kDestinationVariable, "127.0.0.9:1234", 1);
  ASSERT_TRUE(DestinationFromEnvironment().ok());
  EXPECT_EQ((*DestinationFromEnvironment())->port, 1234);
  ::setenv(kDestinationVariable, "255.255.255.255x", 1);
  EXPECT_FALSE(DestinationFromEnvironment().ok());  // a typo never falls back to a broadcast
  ::unsetenv(kDestinationVariable);
}

TEST(DeviceList, LineFormatAndSorting) {
  DeviceSummary d;
  d.ip = 0x0A00000A;
  d.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  d.firmware = "02.10";
  d.name = "Checker";
  EXPECT_EQ(DeviceListLine(d), "10.0.0.10        00-1A-2B-3C-4D-5E  02.10  Checker                   ");

  Slot slot{};
  std::memcpy(slot.data(), "KVMP", 4);
  std::memcpy(slot.data() + 41, "  3.1xyz", 8);
  const std::string long_name = "   Caf\xE9 checker with a name far too long";
  std::memcpy(slot.data() + 203, long_name.data(), long_name.size());
  const DeviceSummary s = Summarize(slot);
  EXPECT_EQ(s.firmware, "3.1xy");
  EXPECT_EQ(s.name, "Caf\xC3\xA9 checker with a name f");
  EXPECT_EQ(config::CountCharacters(DeviceListLine(s)), 69u);

  std::vector<std::string> lines;
  for (auto [ip, last, fw, name] : {std::tuple{0x0A000014u, 3, "02.10", "b"}, {0x0A000064u, 1, "03.10", "c"},
                                    {0x0A000002u, 2, "01.00", "a"}}) {
    DeviceSummary x;
    x.ip = ip;
    x.mac[5] = static_cast<uint8_t>(last);
    x.firmware = fw;
    x.name = name;
    lines.push_back(DeviceListLine(x));
  }
  auto order = [&](int mode) {
    std::vector<std::string> l = lines;
    SortDeviceLines(l, mode);
    std::string names;
    for (const auto& x : l) names += x[43];
    return names;
  };
  EXPECT_EQ(order(0), "cab");  // IP as text: 10.0.0.100 < 10.0.0.2 < 10.0.0.20
  EXPECT_EQ(order(1), "bac");
  EXPECT_EQ(order(2), "cab");
  EXPECT_EQ(order(3), "bac");
  EXPECT_EQ(order(4), "abc");
  EXPECT_EQ(order(7), "cba");
}

TEST(PendingReplies, SlotsAreZeroPaddedAndTakenInOrder) {
  PendingReplies p;
  EXPECT_FALSE(p.Take().has_value());
  const std::vector<std::byte> a(10, std::byte{0xAA}), b(288, std::byte{0xBB});
  p.Append(a);
  p.Append(b);
  EXPECT_TRUE(p.HasData());
  std::optional<Slot> s = p.Take();
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ((*s)[9], std::byte{0xAA});
  EXPECT_EQ((*s)[10], std::byte{0});
  EXPECT_EQ((*s)[287], std::byte{0});
  s = p.Take();
  EXPECT_EQ((*s)[287], std::byte{0xBB});
  EXPECT_FALSE(p.Take().has_value());
  EXPECT_FALSE(p.HasData());
}

TEST(DeviceTable, CursorOperations) {
  DeviceTable t;
  EXPECT_FALSE(t.First().has_value());
  for (uint8_t i = 1; i <= 3; ++i) {
    DeviceEntry e;
    e.summary.mac[5] = i;
    e.summary.ip = i;
    t.Append(e);
  }
  EXPECT_EQ(t.First()->summary.ip, 1u);
  EXPECT_EQ(t.Next()->summary.ip, 2u);
  DeviceEntry changed;
  changed.summary.mac[5] = 2;
  changed.summary.ip = 20;
  t.ReplaceAtCursor(changed);
  EXPECT_EQ(t.Next()->summary.ip, 3u);
  EXPECT_FALSE(t.Next().has_value());
  config::Mac two{};
  two[5] = 2;
  EXPECT_EQ(t.Find(two)->summary.ip, 20u);
  config::Mac none{};
  EXPECT_EQ(t.Find(none), nullptr);
  t.Clear();
  EXPECT_TRUE(t.empty());
}

}  // namespace
}  // namespace kt::discovery
