// Firmware upload against the real TFTP server (in.tftpd) on loopback, with the real client.
#include "tool/firmware/firmware_upload.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/net/udp_socket.h"
#include "common/testing/files.h"
#include "sim/tftp/tftp_receiver.h"

namespace kt::firmware {
namespace {

using namespace std::chrono_literals;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

constexpr uint32_t kLoopback = 0x7F000001;

TEST(TftpClient, ArgumentsPassThePathUnchanged) {
  TftpPut put;
  put.host = "10.0.0.7";
  put.file = "C:\\fw\\new image.bin";
  EXPECT_EQ(TftpPutArguments(put), (std::vector<std::string>{"atftp", "--put", "--local-file",
                                                             "C:\\fw\\new image.bin", "--remote-file", "/",
                                                             "10.0.0.7"}));
  put.port = 6969;
  put.file = "/tmp/a \"b\".bin";
  EXPECT_EQ(TftpPutArguments(put).back(), "6969");
  EXPECT_EQ(TftpPutArguments(put)[3], "/tmp/a \"b\".bin");
}

// Collects the events of one upload.
struct Recorder {
  std::mutex mutex;
  std::vector<UploadEvent> events;
  std::thread::id thread;
  FirmwareUpload::EventHandler Handler() {
    return [this](const UploadEvent& e) {
      std::scoped_lock lock(mutex);
      events.push_back(e);
      thread = std::this_thread::get_id();
    };
  }
  std::vector<UploadEvent::Kind> Kinds() {
    std::scoped_lock lock(mutex);
    std::vector<UploadEvent::Kind> k;
    for (const auto& e : events) {
      if (e.kind != UploadEvent::Kind::kClientOutput) k.push_back(e.kind);
    }
    return k;
  }
  UploadEvent Last() {
    std::scoped_lock lock(mutex);
    return events.empty() ? UploadEvent{} : events.back();
  }
};

class UploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::make_unique<test_support::ScratchFolder>("kx_firmware_upload", "");
    std::filesystem::create_directories(received());
    image_ = (dir_->path() / "image.bin").string();
    std::string bytes(150000, '\0');  // several hundred blocks, CR LF and NUL among them
    std::mt19937 rng(7);
    for (char& c : bytes) c = static_cast<char>(rng());
    bytes.replace(100, 4, "\r\n\r\n");
    WriteFileBytes(image_, bytes);
  }

  std::filesystem::path received() const { return dir_->path() / "received"; }

  std::unique_ptr<sim::TftpReceiver> StartServer(bool allow_create) {
    sim::TftpReceiverOptions o;
    o.folder = received().string();
    o.allow_create = allow_create;
    auto r = sim::TftpReceiver::Start(o);
    if (!r.ok()) {
      ADD_FAILURE() << r.status().ToString();
      return nullptr;
    }
    return std::move(*r);
  }

  UploadRequest Request() const { return {kLoopback, {0x02, 0x4B, 0x58, 0, 0, 1}, image_}; }

  std::unique_ptr<test_support::ScratchFolder> dir_;
  std::string image_;
};

#define REQUIRE_ROOT() \
  if (::geteuid() != 0) GTEST_SKIP() << "in.tftpd needs root; skipped"

TEST_F(UploadTest, SuccessStoresTheImageByteForByte) {
  REQUIRE_ROOT();
  auto server = StartServer(true);
  ASSERT_TRUE(server);
  Recorder rec;
  UploadOptions o;
  o.tftp_port = server->endpoint().port;
  auto upload = FirmwareUpload::Start(Request(), o, rec.Handler());
  EXPECT_EQ(upload->Wait(), UploadResult::kSuccess) << rec.Last().text;
  EXPECT_EQ(ReadFileBytes(server->stored_path()), ReadFileBytes(image_));
  using K = UploadEvent::Kind;
  EXPECT_EQ(rec.Kinds(), (std::vector<K>{K::kArpEntry, K::kStatus, K::kFinished}));
  std::scoped_lock lock(rec.mutex);
  EXPECT_EQ(rec.events[0].arp.outcome, ArpEntryResult::Outcome::kSkipped) << rec.events[0].text;
  EXPECT_EQ(rec.events[1].text, "Status: Uploading firmware");
  EXPECT_EQ(rec.events.back().text,
            "Status: Firmware upload successful. It takes a few seconds to program and reboot");
  EXPECT_NE(rec.thread, std::this_thread::get_id());
}

TEST_F(UploadTest, RefusedWriteIsAServerError) {
  REQUIRE_ROOT();
  auto server = StartServer(false);
  ASSERT_TRUE(server);
  Recorder rec;
  UploadOptions o;
  o.tftp_port = server->endpoint().port;
  o.pin_address = false;
  auto upload = FirmwareUpload::Start(Request(), o, rec.Handler());
  EXPECT_EQ(upload->Wait(), UploadResult::kServerError);
  EXPECT_EQ(rec.Last().text, "Error uploading firmware. Try resetting the KX25");
  EXPECT_FALSE(std::filesystem::exists(server->stored_path()));
  auto box = ResultBox(UploadResult::kServerError);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "TFTP Error on Server");
}

// A client that records its process id, then becomes the real client.
std::string PidRecordingClient(const std::filesystem::path& dir) {
  const std::string script = (dir / "client.sh").string();
  WriteFileBytes(script, "#!/bin/sh\necho $$ > \"" + (dir / "client.pid").string() + "\"\nexec atftp \"$@\"\n");
  ::chmod(script.c_str(), 0755);
  return script;
}

bool ProcessGone(pid_t pid) {
  // Reaped children vanish; a recycled pid would have to be ours again within the test.
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

TEST_F(UploadTest, SilentServerTimesOutAndTheClientIsEnded) {
  // A socket that takes the requests and never answers: "no server" without waiting for the
  // client's own retries. No root needed.
  auto silent = net::UdpSocket::Open();
  ASSERT_TRUE(silent.ok());
  ASSERT_TRUE(silent->Bind(kLoopback, 0).ok());
  auto where = silent->LocalEndpoint();
  ASSERT_TRUE(where.ok());

  Recorder rec;
  UploadOptions o;
  o.tftp_port = where->port;
  o.limit = 1500ms;
  o.pin_address = false;
  o.client = PidRecordingClient(dir_->path());
  const auto start = std::chrono::steady_clock::now();
  auto upload = FirmwareUpload::Start(Request(), o, rec.Handler());
  EXPECT_FALSE(upload->finished());  // Start() does not wait for the client
  EXPECT_EQ(upload->Wait(), UploadResult::kTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1500ms);
  EXPECT_EQ(rec.Last().text, "Status: Firmware upload timed out");
  const std::string pid_text = ReadFileBytes(dir_->path() / "client.pid");
  ASSERT_FALSE(pid_text.empty());
  EXPECT_TRUE(ProcessGone(std::stoi(pid_text))) << "the TFTP client was left running";
}

TEST_F(UploadTest, MissingClientIsStartFailed) {
  Recorder rec;
  UploadOptions o;
  o.client = "kx25-no-such-tftp-client";
  o.pin_address = false;
  auto upload = FirmwareUpload::Start(Request(), o, rec.Handler());
  EXPECT_EQ(upload->Wait(), UploadResult::kStartFailed);
  const UploadEvent last = rec.Last();
  EXPECT_EQ(last.text, "Error starting tftp");
  EXPECT_NE(last.system_text.find("No such file"), std::string::npos) << last.system_text;
  auto box = ResultBox(last.result, last.system_text);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "An error has occurred...");
  EXPECT_EQ(box->text, last.system_text);
}

TEST_F(UploadTest, DestroyingARunningUploadEndsTheClient) {
  auto silent = net::UdpSocket::Open();
  ASSERT_TRUE(silent.ok());
  ASSERT_TRUE(silent->Bind(kLoopback, 0).ok());
  UploadOptions o;
  o.tftp_port = silent->LocalEndpoint()->port;
  o.pin_address = false;
  o.client = PidRecordingClient(dir_->path());
  auto upload = FirmwareUpload::Start(Request(), o, {});
  // Wait until the client has started (its request reaches the silent socket).
  ASSERT_TRUE(silent->SetReceiveTimeout(20s).ok());
  std::array<std::byte, 600> buf{};
  ASSERT_TRUE(silent->Receive(buf).ok());
  const std::string pid_text = ReadFileBytes(dir_->path() / "client.pid");
  ASSERT_FALSE(pid_text.empty());
  const auto start = std::chrono::steady_clock::now();
  upload.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(ProcessGone(std::stoi(pid_text)));
}

}  // namespace
}  // namespace kt::firmware
