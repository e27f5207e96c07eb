// The configuration tool's main window: the device list and the action buttons, in either of two
// modes, the classic dialog (laid out in dialog units from its font) or the graphical skin.
//
// The window runs as a modal dialog in the host loop (host_loop.h): it ends with kToggleResult
// when the user switches the presentation mode, so that the loop opens it again in the other
// mode; any other result ends the program. What outlives a window (device table, sort mode,
// settings) is in ToolState.
//
// Scans run on a worker thread (ScanRunner); their progress arrives as queued calls. Closing the
// window in any way during a scan stops it and waits for its thread.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <array>
#include <filesystem>
#include <memory>
#include <string>

#include "tool/discovery/sort_mode.h"
#include "tool/ui/scan_runner.h"
#include "tool/ui/tool_state.h"
#include "tool/ui/ui_services.h"
#include "tool/ui/widgets.h"

class QAbstractButton;
class QGroupBox;
class QLabel;

namespace kt::firmware {
class FirmwareUpload;
}
namespace kt::config {
struct ExchangeOptions;
}

namespace kt::ui {

inline constexpr const char* kWindowTitle = "Corvane KX25 Configuration Tool";
inline constexpr const char* kDpiMessage =
    "This program is optimized for a font size of 96dpi.\n"
    "A higher value is detected on this system.\n"
    "It's possible that you don't see all information of this program, if you don't change this.\n\n"
    "For your convenience, check your display settings and change the font size:\n\n"
    "1. Display Properties > Settings > Advanced > Font Size\n"
    "2. Select 'Small Fonts' (96 dpi)";

// Version text shown in the title (classic) or the Version label (graphical).
QString ProgramVersion();

class MainWindow : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kToggleResult = 12345;

  // `recreated`: opened again after a mode toggle (no adapter question; the list is rebuilt from
  // the device table after 200 ms).
  MainWindow(ToolState& state, UiServices& services, bool recreated, QWidget* parent = nullptr);
  ~MainWindow() override;

  bool graphical() const { return graphical_; }
  // Graphical mode: the window's shape, the skin without its key-colour parts.
  const QRegion& shape() const { return shape_; }
  bool scanning() const { return scanning_; }
  bool uploading() const { return upload_ != nullptr; }

  QAbstractButton* scan_button() const { return scan_; }
  QAbstractButton* configure_button() const { return configure_; }
  QAbstractButton* firmware_button() const { return firmware_; }
  QAbstractButton* terminal_button() const { return terminal_; }
  QAbstractButton* clone_button() const { return clone_; }
  QAbstractButton* network_button() const { return network_; }
  QAbstractButton* minimize_button() const { return minimize_; }
  QAbstractButton* exit_button() const { return exit_; }
  DeviceList* device_list() const { return list_; }
  QLabel* status_label() const { return status_; }
  HeaderLabel* header(discovery::SortColumn c) const { return headers_[static_cast<int>(c)]; }
  SortMarker* marker(discovery::SortColumn c) const { return markers_[static_cast<int>(c)]; }

  // The commands, as the buttons and menus run them.
  void ScanPressed();
  void ExitProgram();
  void ToggleMode();
  void SelectAdapter();
  void ShowAbout();
  void FirmwareCommand();
  // Configure (configure_command.cpp) and Terminal (terminal_command.cpp).
  void ConfigureCommand();
  void ConfigureTerminal(const config::Mac& mac);
  void TerminalCommand();
  void SortBy(discovery::SortColumn column);

 signals:
  // The scan worker has ended and the window shows its result.
  void ScanEnded(int found);
  // A firmware upload has ended and its result is shown.
  void UploadEnded();

 public slots:
  void done(int result) override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void showEvent(QShowEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void contextMenuEvent(QContextMenuEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  void ChooseAdapterAtStartup(bool recreated);
  void BuildClassic();
  void BuildGraphical();
  void ConnectCommands();
  void CheckDpi();
  void StartScan();
  void OnScanFinished(int found);
  void SetStatus(const QString& text);
  void ShowMarkers();
  void UpdateActionButtons(bool show_in_graphical);
  void SetScanFace(bool stop);
  void RebuildFromTable();
  void StopScanAndWait();
  void ShowMessage(const QString& caption, const QString& text, int icon);
  discovery::ScanOptions MakeScanOptions() const;
  // Firmware upload (firmware_command.cpp).
  void StartUpload(uint32_t ip, const config::Mac& mac, const std::string& file);
  void OnUploadFinished(int result, const QString& system_text);
  void SetMainButtonsVisible(bool visible);
  // Configuration (configure_command.cpp).
  std::filesystem::path CloneFile() const;
  config::ExchangeOptions MakeExchangeOptions() const;
  // Green background for the line of the terminal the clone was taken from.
  void MarkCloneSource();

  ToolState& state_;
  UiServices& services_;
  bool graphical_ = true;
  bool scanning_ = false;
  bool user_selected_during_scan_ = false;
  // Set while the window itself changes the list (clearing, adding, sorting), whose selection
  // changes are not the user's.
  bool changing_list_ = false;
  ScanRunner runner_;
  std::unique_ptr<firmware::FirmwareUpload> upload_;
  QString firmware_path_;  // offered again while the window lives

  QAbstractButton* scan_ = nullptr;
  QAbstractButton* configure_ = nullptr;
  QAbstractButton* firmware_ = nullptr;
  QAbstractButton* terminal_ = nullptr;
  QAbstractButton* clone_ = nullptr;
  QAbstractButton* network_ = nullptr;
  QAbstractButton* minimize_ = nullptr;
  QAbstractButton* exit_ = nullptr;
  DeviceList* list_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* version_ = nullptr;
  QGroupBox* frame_ = nullptr;
  std::array<HeaderLabel*, 4> headers_{};
  std::array<SortMarker*, 4> markers_{};
  QPixmap background_;
  QRegion shape_;  // graphical mode: the skin without its key colour
  std::optional<QPoint> drag_offset_;
};

}  // namespace kt::ui
