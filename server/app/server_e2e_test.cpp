// The whole server on loopback: settings table, demo data, real lookups, real sockets.
#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "common/display/emulator.h"
#include "common/net/tcp_socket.h"
#include "common/testing/os.h"
#include "server/app/server_core.h"
#include "server/data/demo/demo_data.h"

namespace kt::app {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::string kComConn = "\x1B\x25\x1B\x42\x31\x1B\x2E\x34" "CONNECTED\x03";

class RecordingSink : public EventSink {
 public:
  void ConnectedInfo(std::string_view t) override { Add("conn: " + std::string(t)); }
  void ScanInfo(std::string_view t) override { Add("scan: " + std::string(t)); }
  void ErrorBox(std::string_view t) override { Add("box: " + std::string(t)); }
  bool WaitFor(const std::string& prefix, std::chrono::milliseconds wait = 5000ms) {
    std::unique_lock lock(mu_);
    return cv_.wait_for(lock, wait, [&] {
      for (auto& l : lines_)
        if (l.rfind(prefix, 0) == 0) return true;
      return false;
    });
  }

 private:
  void Add(std::string l) {
    {
      std::scoped_lock lock(mu_);
      lines_.push_back(std::move(l));
    }
    cv_.notify_all();
  }
  std::mutex mu_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
};

// A reply of the default templates ends with 0x03 (found) or 0x0D (failed) or is "###".
bool ReplyComplete(const std::string& r) {
  return r == "###" || (r.size() > 2 && (r.back() == '\x03' || r.back() == '\x0D'));
}

std::string ReadReply(const net::SocketHandle& s, std::size_t exact = 0) {
  std::string got;
  std::array<char, 4096> buf;
  const auto deadline = Clock::now() + 5000ms;
  while (Clock::now() < deadline) {
    if (exact ? got.size() >= exact : ReplyComplete(got)) break;
    auto n = net::RecvSome(s, buf, 50ms);
    if (n.ok()) got.append(buf.data(), *n);
    else if (!n.status().IsUnavailable()) break;
  }
  return got;
}

std::vector<std::string> Shown(const std::string& stream) {
  display::DisplayEmulator d;
  d.Feed(stream);
  return d.TrimmedRows();
}

class ServerE2E : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = fs::temp_directory_path() / ("kt_e2e_data_" + std::to_string(::getpid()));
    ASSERT_TRUE(data::demo::WriteDemoDataSet(data_).ok());
  }
  static void TearDownTestSuite() { fs::remove_all(data_); }

  void SetUp() override {
    workdir_ = fs::temp_directory_path() /
               ("kt_e2e_work_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(workdir_);
  }
  void TearDown() override {
    if (core_) core_->Stop();
    fs::remove_all(workdir_);
  }
  void Start(std::optional<std::string> location) {
    CoreOptions o;
    o.workdir = workdir_;
    o.port = 0;
    o.bind_ip = "127.0.0.1";
    o.data_location = std::move(location);
    o.verdict_wait = 20s;  // returns as soon as the self-test passed; generous for slow machines
    core_ = std::make_unique<ServerCore>(o, sink_);
    ASSERT_TRUE(core_->Start().ok());
    ASSERT_TRUE(core_->flags().selftest_passed);
    EXPECT_EQ(core_->RETURNTEXTFIREWALL(), "");
  }
  net::SocketHandle Terminal() {
    auto c = net::TcpConnect("127.0.0.1", core_->Port(), 2000ms);
    EXPECT_TRUE(c.ok());
    return c.ok() ? std::move(*c) : net::SocketHandle();
  }
  std::string Scan(const net::SocketHandle& t, const std::string& line) {
    EXPECT_TRUE(net::SendAll(t, line + "\r", 1000ms).ok());
    return ReadReply(t);
  }

  static inline fs::path data_;
  fs::path workdir_;
  RecordingSink sink_;
  std::unique_ptr<ServerCore> core_;
};

TEST_F(ServerE2E, GreetsAndAnswersFoundAndFailedCodesOnTheDisplay) {
  Start(data_.string());
  EXPECT_TRUE(fs::exists(workdir_ / "KTVISTRD.DAT"));  // settings created with the defaults
  net::SocketHandle t = Terminal();
  EXPECT_EQ(ReadReply(t, kComConn.size()), kComConn);

  const std::string found = Scan(t, "FAQ600");
  EXPECT_EQ(found.substr(0, 5), "\x1B%\x1B" "B0");
  auto rows = Shown(found);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0], " Air Mineral 600ml");
  EXPECT_NE(rows[7].find(" / 1 BTL"), std::string::npos) << rows[7];

  // 33-character name: 18 characters, then the other 15, then nothing.
  rows = Shown(Scan(t, "FMGS2L"));
  EXPECT_EQ(rows[0], " Minyak Goreng Sawi");
  EXPECT_EQ(rows[1], "  t Pouch 2 Liter");
  EXPECT_EQ(rows[2], "");

  EXPECT_EQ(Shown(Scan(t, "FNOPE123")), (std::vector<std::string>{"NOPE123, Kode tidak", "ketemu !"}));
  EXPECT_EQ(Shown(Scan(t, "FLAMA01"))[0], "LAMA01, Item ini");
  EXPECT_EQ(Scan(t, "F"), "###");
  EXPECT_TRUE(sink_.WaitFor("scan: ###ERR### : NOPE123, Kode tidak ketemu !"));
  EXPECT_TRUE(sink_.WaitFor("scan: 127.0.0.1 Received Data: FAQ600"));
}

TEST_F(ServerE2E, WithoutADatabaseTerminalsAreDroppedUnanswered) {
  Start(std::nullopt);  // the new settings table has an empty location
  EXPECT_TRUE(sink_.WaitFor("box: Lokasi belum diset !"));
  net::SocketHandle t = Terminal();
  EXPECT_EQ(ReadReply(t, 1), "");
}

TEST_F(ServerE2E, GreetingComesEvenWhenTheSessionTablesDoNotOpen) {
  // A copy of the demo data without S_PELANG: the main open succeeds, the session's fails.
  const fs::path copy = workdir_ / "data";
  kt::test_support::CopyTree(data_, copy);
  for (auto& e : fs::directory_iterator(copy / "ST_DB"))
    if (e.path().stem() == "S_PELANG") fs::remove(e.path());
  Start(copy.string());
  net::SocketHandle t = Terminal();
  EXPECT_EQ(ReadReply(t, kComConn.size()), kComConn);
  EXPECT_TRUE(sink_.WaitFor("scan: ### Gagal buke file S_PELANG !"));
}

TEST_F(ServerE2E, APortInUseGivesThePortText) {
  auto taken = net::TcpListen("", 0, 5);
  ASSERT_TRUE(taken.ok());
  const uint16_t port = *net::LocalPort(*taken);
  CoreOptions o;
  o.workdir = workdir_;
  o.port = port;
  o.verdict_wait = 100ms;
  core_ = std::make_unique<ServerCore>(o, sink_);
  ASSERT_TRUE(core_->Start().ok());
  EXPECT_EQ(core_->RETURNTEXTFIREWALL(), "Port: " + std::to_string(port) + " telah dipakai oleh aplikasi lain !");
}

}  // namespace
}  // namespace kt::app
