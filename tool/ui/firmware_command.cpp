// The main window's Firmware command: the dialog, the checks before an upload, the upload on its
// own thread (the window stays responsive, its four main buttons hidden), the result, and the
// rescan after a success.
#include <QMessageBox>
#include <QTimer>

#include "tool/config/config_record.h"
#include "tool/discovery/discovery_reply.h"
#include "tool/firmware/firmware_upload.h"
#include "tool/firmware/flash_size.h"
#include "tool/ui/firmware_dialog.h"
#include "tool/ui/main_window.h"
#include "tool/ui/message_box.h"

namespace kt::ui {

void MainWindow::FirmwareCommand() {
  if (scanning_ || upload_) return;
  FirmwareDialog dialog(firmware_path_, services_, this);
  if (services_.run_modal(dialog) != QDialog::Accepted) return;
  firmware_path_ = dialog.path();
  const std::string path = firmware_path_.toStdString();

  config::Mac mac{};
  uint32_t ip = 0;
  if (!list_->FocusedTerminal(mac, ip)) {
    QMessageBox box(QMessageBox::NoIcon, QString(), QString::fromLatin1(firmware::kNoTargetText), QMessageBox::Ok, this);
    services_.run_modal(box);
    return;
  }
  const Result<uint32_t> image_size = firmware::ReadImageFlashSize(path);
  if (!image_size.ok()) {
    ShowBox(services_, this, image_size.status().IsIOError() ? firmware::ErrorOpeningFileBox(path)
                                                             : firmware::ImageTooShortBox(path));
    return;
  }
  const discovery::DeviceEntry* entry = state_.table.Find(mac);
  if (!entry) {
    ShowBox(services_, this, firmware::UnknownDeviceBox());
    return;
  }
  const std::string version(reinterpret_cast<const char*>(entry->slot.data()) + config::config_record::kFirmwareVersion,
                            config::config_record::kFirmwareVersionLength);
  if (*image_size != firmware::FlashSizeForVersion(version)) {
    ShowBox(services_, this, firmware::FlashSizeIncompatibleBox());
    return;
  }
  StartUpload(ip, mac, path);
}

void MainWindow::SetMainButtonsVisible(bool visible) {
  if (!visible) {
    for (QAbstractButton* b : {scan_, configure_, firmware_, terminal_}) b->hide();
    return;
  }
  scan_->show();
  if (graphical_) {
    UpdateActionButtons(true);  // the skin shows them only when there is something to act on
  } else {
    for (QAbstractButton* b : {configure_, firmware_, terminal_}) b->show();
  }
}

void MainWindow::StartUpload(uint32_t ip, const config::Mac& mac, const std::string& file) {
  SetMainButtonsVisible(false);
  firmware::UploadRequest request{ip, mac, file};
  firmware::UploadOptions options;
  if (!services_.tftp_client.empty()) options.client = services_.tftp_client;
  options.tftp_port = services_.tftp_port;
  options.pin_address = services_.pin_arp_entry;
  // The handler runs on the upload's thread and hands everything to the window's thread. The
  // window outlives the upload (it cancels and waits for it when it goes), and calls still queued
  // when the window is destroyed are dropped with it.
  upload_ = firmware::FirmwareUpload::Start(request, options, [this](const firmware::UploadEvent& e) {
    if (e.kind == firmware::UploadEvent::Kind::kStatus) {
      QMetaObject::invokeMethod(this, [this, t = QString::fromStdString(e.text)] { SetStatus(t); }, Qt::QueuedConnection);
    } else if (e.kind == firmware::UploadEvent::Kind::kFinished) {
      const int result = static_cast<int>(e.result);
      QMetaObject::invokeMethod(
          this, [this, result, t = QString::fromStdString(e.system_text)] { OnUploadFinished(result, t); },
          Qt::QueuedConnection);
    }
  });
}

void MainWindow::OnUploadFinished(int result_code, const QString& system_text) {
  const auto result = static_cast<firmware::UploadResult>(result_code);
  if (upload_) upload_->Wait();
  SetStatus(QString::fromLatin1(firmware::ResultStatusLine(result)));
  if (auto box = firmware::ResultBox(result, system_text.toStdString())) ShowBox(services_, this, *box);
  if (result != firmware::UploadResult::kSuccess) {
    upload_.reset();
    SetMainButtonsVisible(true);
    emit UploadEnded();
    return;
  }
  // The terminal programs its flash and restarts; scan again once it had time to.
  emit UploadEnded();
  QTimer::singleShot(firmware::kRescanPauseMs, this, [this] {
    upload_.reset();
    StartScan();
    SetMainButtonsVisible(true);
  });
}

}  // namespace kt::ui
