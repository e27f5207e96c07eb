// The main window's Configure command: the terminal's record from the device table completed with
// its extension records (read off the window's thread), the configuration dialog, and the apply
// sequence (off the window's thread, the main buttons hidden) followed by a new scan. Also the
// clone's mark in the device list.
#include <QListWidget>
#include <QMessageBox>
#include <QStandardPaths>

#include <mutex>

#include "tool/config/config_record.h"
#include "tool/config/exchange.h"
#include "tool/ui/config_dialog.h"
#include "tool/ui/main_window.h"
#include "tool/ui/off_thread.h"

namespace kt::ui {

namespace {

inline constexpr const char* kUnknownDeviceText =
    "The device you are trying to configure is not an\n"
    "KX25, or it's an KX25 with older firmware.\n\n"
    "Please update to the latest firmware version.";

// Collects the exchanges' error texts on the worker thread; the window shows them afterwards.
class CollectedErrors : public config::ExchangeErrors {
 public:
  void ShowError(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(text);
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(texts_);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;  // guarded by mutex_
};

}  // namespace

std::filesystem::path MainWindow::CloneFile() const {
  std::filesystem::path folder = state_.clone_folder;
  if (folder.empty()) {
    folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
  }
  return folder / std::string(config::kCloneFileName);
}

config::ExchangeOptions MainWindow::MakeExchangeOptions() const {
  config::ExchangeOptions o;
  o.bind_address = config::BindAddressOf(state_.settings);
  o.bind_port = state_.settings.broadcast_port;
  if (state_.discovery_to) o.destination = *state_.discovery_to;
  return o;
}

void MainWindow::MarkCloneSource() {
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem* item = list_->item(i);
    const QByteArray m = item->data(DeviceList::kMacRole).toByteArray();
    const bool source = state_.clone_source &&
                        m == QByteArray(reinterpret_cast<const char*>(state_.clone_source->data()), 6);
    item->setBackground(source ? QColor(0, 200, 0) : (graphical_ ? QBrush() : QBrush(Qt::white)));
  }
}

void MainWindow::ConfigureCommand() {
  config::Mac mac{};
  uint32_t ip = 0;
  if (!list_->FocusedTerminal(mac, ip)) {
    ShowMessage(QStringLiteral("Error"), QStringLiteral("Error"), QMessageBox::Warning);
    return;
  }
  ConfigureTerminal(mac);
}

void MainWindow::ConfigureTerminal(const config::Mac& mac) {
  if (scanning_ || upload_) return;
  const discovery::DeviceEntry* entry = state_.table.Find(mac);
  if (!entry) {
    ShowMessage(QStringLiteral("Unknown Device"), QString::fromLatin1(kUnknownDeviceText), QMessageBox::Warning);
    return;
  }
  Result<config::Configuration> decoded = config::DecodeConfigRecord(entry->slot);
  if (!decoded.ok()) {
    ShowMessage(QStringLiteral("Unknown Device"), QString::fromStdString(decoded.status().message()),
                QMessageBox::Warning);
    return;
  }
  const config::ExchangeOptions exchange = MakeExchangeOptions();
  CollectedErrors errors;
  config::Configuration read = std::move(*decoded);
  SetStatus(QStringLiteral("Status: Reading configuration"));
  RunOffWindowThread(this, QStringLiteral("Reading the terminal's configuration..."),
                     [&] { read = config::CompleteConfiguration(std::move(read), exchange, errors); });
  SetStatus(QStringLiteral("Status: Idle"));
  for (const std::string& e : errors.Take()) {
    ShowMessage(QString::fromLatin1(config::kErrorCaption), QString::fromStdString(e), QMessageBox::Information);
  }

  ConfigDialogOptions options;
  options.rs232_word = state_.flags.rs232;
  options.retail_chain_word = state_.flags.marlo;
  options.clone_file = CloneFile();
  options.clone_present = state_.clone_source.has_value();
  options.on_clone = [this, mac] {
    state_.clone_source = mac;
    MarkCloneSource();
  };
  ConfigDialog dialog(read, std::move(options), services_, this);
  if (services_.run_modal(dialog) != QDialog::Accepted) return;

  const config::Configuration applied = dialog.applied();
  config::ApplyOptions apply;
  apply.retail_chain_mode = state_.flags.marlo;
  SetMainButtonsVisible(false);
  SetStatus(QStringLiteral("Status: Applying configuration"));
  RunOffWindowThread(this, QStringLiteral("Applying the configuration..."),
                     [&] { config::ApplyConfiguration(applied, apply, exchange, errors); });
  SetStatus(QStringLiteral("Status: Idle"));
  SetMainButtonsVisible(true);
  for (const std::string& e : errors.Take()) {
    ShowMessage(QString::fromLatin1(config::kErrorCaption), QString::fromStdString(e), QMessageBox::Information);
  }
  if (graphical_) repaint();
  StartScan();  // shows the terminal as it now is; forgets the clone
}

}  // namespace kt::ui
