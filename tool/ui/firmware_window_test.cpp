// The Firmware command of the main window: the dialog's checks, the checks before an upload, and
// uploads to a simulated terminal through the real TFTP client and the real TFTP server on
// loopback.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "common/testing/files.h"
#include "sim/tftp/tftp_receiver.h"
#include "tool/ui/firmware_dialog.h"
#include "tool/ui/main_window.h"
#include "tool/ui/sim_fixture.h"
#include "tool/ui/test_app.h"

namespace kt::ui {
namespace {

using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

constexpr int kBoundMs = 60000;

// An image built for `flash_size` bytes of flash (bytes 21-23, big-endian), with some payload.
std::string Image(uint32_t flash_size, std::size_t length = 40000) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  bytes[21] = static_cast<char>(flash_size >> 16);
  bytes[22] = static_cast<char>(flash_size >> 8);
  bytes[23] = static_cast<char>(flash_size);
  return bytes;
}

class FirmwareWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::TestApp();
    // A terminal with firmware 03.10 (8 MiB flash) whose address is loopback, where the TFTP
    // server of the test listens.
    sim_ = testing::StartTerminals({{"127.0.0.1", "03.10", "Kasir depan"}, {"10.0.0.2", "02.10", "Gudang"}});
    ASSERT_TRUE(sim_);
    state_.discovery_to = sim_->endpoint();
    state_.scan_seconds = 2;
    fake_.store.stored.key_existed = true;
    fake_.store.stored.graphical_ui = 1;
    fake_.adapters = {testing::MakeAdapter("eth0", 1, {"192.168.1.20"})};
    WriteFileBytes(Path("good.bin"), Image(8388608));
    WriteFileBytes(Path("small.bin"), Image(1048576));
    WriteFileBytes(Path("short.bin"), "KX25");
    window_ = std::make_unique<MainWindow>(state_, fake_.services, false);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    QSignalSpy ended(window_.get(), &MainWindow::ScanEnded);
    window_->ScanPressed();
    ASSERT_TRUE(ended.wait(kBoundMs));
    ASSERT_EQ(window_->device_list()->count(), 2);
    window_->device_list()->setCurrentRow(0);  // sorted by MAC: the 127.0.0.1 terminal
  }

  std::string Path(const std::string& name) const { return (folder_.path() / name).string(); }

  // Answers the firmware dialog with `path` (OK pressed); message boxes are recorded.
  void AnswerDialogWith(const QString& path) {
    fake_.on_modal = [this, path](QDialog& d) {
      if (auto* f = qobject_cast<FirmwareDialog*>(&d)) {
        f->path_edit()->setText(path);
        f->ok()->click();
        if (f->result() != QDialog::Accepted) f->reject();  // the dialog stayed open: give up
        return f->result();
      }
      if (auto* box = qobject_cast<QMessageBox*>(&d)) fake_.boxes << box->windowTitle() + "|" + box->text();
      return static_cast<int>(QMessageBox::Ok);
    };
  }

  std::unique_ptr<sim::TftpReceiver> StartServer(bool allow_create) {
    std::filesystem::create_directories(folder_.path() / "received");
    sim::TftpReceiverOptions o;
    o.folder = (folder_.path() / "received").string();
    o.allow_create = allow_create;
    auto r = sim::TftpReceiver::Start(o);
    if (!r.ok()) {
      ADD_FAILURE() << r.status().ToString();
      return nullptr;
    }
    fake_.services.tftp_port = (*r)->endpoint().port;
    return std::move(*r);
  }

  test_support::ScratchFolder folder_{"kx25config_firmware", ""};
  std::unique_ptr<sim::UdpTerminals> sim_;
  ToolState state_;
  testing::FakeServices fake_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(FirmwareWindowTest, ChecksBeforeAnUploadStopWithTheirMessage) {
  struct Case {
    std::string path;
    int row;
    const char* box;  // "caption|start of text"
  };
  const Case cases[] = {
      {"", 0, "No file selected|Please enter a file to load"},
      {Path("missing.bin"), 0, "File error|Could not open file\nBe sure file exists and try again"},
      {Path("small.bin"), 0, "Flash size incompatibility|The selected file is not compatible"},
      {Path("good.bin"), 1, "Flash size incompatibility|"},  // 02.10 needs 1 MiB
  };
  for (const Case& c : cases) {
    fake_.boxes.clear();
    window_->device_list()->setCurrentRow(c.row);
    AnswerDialogWith(QString::fromStdString(c.path));
    window_->FirmwareCommand();
    ASSERT_EQ(fake_.boxes.size(), 1) << c.path;
    EXPECT_TRUE(fake_.boxes[0].startsWith(QString::fromUtf8(c.box))) << fake_.boxes[0].toStdString();
    EXPECT_FALSE(window_->uploading());
    EXPECT_TRUE(window_->scan_button()->isVisible());
  }
  // A file too short to hold the flash size is refused too.
  fake_.boxes.clear();
  AnswerDialogWith(QString::fromStdString(Path("short.bin")));
  window_->FirmwareCommand();
  EXPECT_EQ(fake_.boxes.size(), 1);
  EXPECT_FALSE(window_->uploading());
}

TEST_F(FirmwareWindowTest, UploadRunsBesideTheWindowAndScansAgain) {
  if (::geteuid() != 0) GTEST_SKIP() << "in.tftpd needs root; skipped";
  auto server = StartServer(true);
  ASSERT_TRUE(server);
  AnswerDialogWith(QString::fromStdString(Path("good.bin")));
  QSignalSpy upload_ended(window_.get(), &MainWindow::UploadEnded);
  QSignalSpy scan_ended(window_.get(), &MainWindow::ScanEnded);
  window_->FirmwareCommand();
  // The command returns at once: the window stays responsive, its main buttons hidden.
  EXPECT_TRUE(window_->uploading());
  for (QAbstractButton* b : {window_->scan_button(), window_->configure_button(), window_->firmware_button(),
                             window_->terminal_button()}) {
    EXPECT_TRUE(b->isHidden());
  }
  ASSERT_TRUE(upload_ended.wait(kBoundMs));
  EXPECT_EQ(window_->status_label()->text(),
            "Status: Firmware upload successful. It takes a few seconds to program and reboot");
  EXPECT_TRUE(fake_.boxes.isEmpty());
  EXPECT_EQ(ReadFileBytes(server->stored_path()), ReadFileBytes(Path("good.bin")));
  // After the pause a new scan starts, and its end brings the buttons back.
  QTRY_VERIFY_WITH_TIMEOUT(window_->scanning(), kBoundMs);
  EXPECT_TRUE(window_->scan_button()->isVisible());
  EXPECT_TRUE(window_->firmware_button()->isHidden());
  ASSERT_TRUE(scan_ended.wait(kBoundMs));
  EXPECT_TRUE(window_->firmware_button()->isVisible());
  EXPECT_EQ(window_->device_list()->count(), 2);
}

TEST_F(FirmwareWindowTest, FailedUploadsReportTheirResult) {
  if (::geteuid() != 0) GTEST_SKIP() << "in.tftpd needs root; skipped";
  auto refusing = StartServer(false);
  ASSERT_TRUE(refusing);
  struct Case {
    std::string client;
    const char* status;
    const char* box_caption;
  };
  const Case cases[] = {
      {"", "Error uploading firmware. Try resetting the KX25", "TFTP Error on Server"},
      {Path("no-such-client"), "Error starting tftp", "An error has occurred..."},
  };
  for (const Case& c : cases) {
    fake_.boxes.clear();
    fake_.services.tftp_client = c.client;
    AnswerDialogWith(QString::fromStdString(Path("good.bin")));
    QSignalSpy upload_ended(window_.get(), &MainWindow::UploadEnded);
    window_->FirmwareCommand();
    ASSERT_TRUE(upload_ended.wait(kBoundMs)) << c.status;
    EXPECT_EQ(window_->status_label()->text(), c.status);
    ASSERT_EQ(fake_.boxes.size(), 1) << c.status;
    EXPECT_TRUE(fake_.boxes[0].startsWith(QString(c.box_caption) + "|")) << fake_.boxes[0].toStdString();
    EXPECT_FALSE(window_->uploading());
    EXPECT_FALSE(window_->scanning());  // no rescan after a failure
    EXPECT_TRUE(window_->scan_button()->isVisible());
    EXPECT_TRUE(window_->firmware_button()->isVisible());
  }
}

TEST_F(FirmwareWindowTest, TheDialogOffersTheLastPathAgain) {
  QString offered;
  fake_.on_modal = [&](QDialog& d) {
    if (auto* f = qobject_cast<FirmwareDialog*>(&d)) {
      offered = f->path();
      EXPECT_EQ(f->windowTitle(), "Firmware Upgrade");
      f->path_edit()->setText(QString::fromStdString(Path("small.bin")));
      f->ok()->click();
      return f->result();
    }
    return static_cast<int>(QMessageBox::Ok);
  };
  window_->FirmwareCommand();
  EXPECT_TRUE(offered.isEmpty());
  window_->FirmwareCommand();
  EXPECT_EQ(offered.toStdString(), Path("small.bin"));
}

}  // namespace
}  // namespace kt::ui
