#include "tool/ui/main_window.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include "tool/adapters/adapter_list.h"
#include "tool/discovery/discovery_reply.h"
#include "tool/ui/adapter_dialogs.h"
#include "tool/ui/skin.h"

#include "tool/firmware/firmware_upload.h"

#ifndef KX25_VERSION
#define KX25_VERSION "0.0.0"
#endif

namespace kt::ui {
namespace {

using discovery::SortColumn;

// Marks a change of the list made by the window, not by the user.
class ListChange {
 public:
  explicit ListChange(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
  ~ListChange() { flag_ = before_; }
  ListChange(const ListChange&) = delete;
  ListChange& operator=(const ListChange&) = delete;

 private:
  bool& flag_;
  const bool before_;
};

constexpr int kClassicWidthDu = 356;
constexpr int kClassicHeightDu = 186;

const char* const kHeaderTexts[4] = {"IP Address", "MAC Address", "Firmware", "Device Name"};

// Dialog units of the classic layout, turned into pixels from the dialog font's average
// character width (x: a quarter of it) and height (y: an eighth), as dialog templates are.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int alphabet = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    base_x_ = (alphabet / 26 + 1) / 2;
    base_y_ = fm.height();
  }
  QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(x + w) - X(x), Y(y + h) - Y(y)); }
  int X(int du) const { return (du * base_x_ + 2) / 4; }
  int Y(int du) const { return (du * base_y_ + 4) / 8; }

 private:
  int base_x_ = 6;
  int base_y_ = 13;
};

QString AmberStyle() { return QStringLiteral("color: rgb(255,204,0); background: transparent;"); }
QString WhiteStyle() { return QStringLiteral("color: rgb(255,255,255); background: transparent;"); }

}  // namespace

QString ProgramVersion() { return QStringLiteral(KX25_VERSION); }

MainWindow::MainWindow(ToolState& state, UiServices& services, bool recreated, QWidget* parent)
    : QDialog(parent), state_(state), services_(services), runner_(state.table) {
  setObjectName(QStringLiteral("kx25MainWindow"));
  // The system menu's About item has no counterpart on every desktop: About is in the context
  // menu and on F1.
  ChooseAdapterAtStartup(recreated);
  graphical_ = state_.settings.graphical_ui;
  setWindowIcon(ProgramIcon());
  if (graphical_) {
    BuildGraphical();
  } else {
    BuildClassic();
  }
  ConnectCommands();
  CheckDpi();
  // First start: nothing found yet. Re-created: the terminals of the last scan come back.
  UpdateActionButtons(false);
  if (recreated) QTimer::singleShot(200, this, [this] { RebuildFromTable(); });
}

MainWindow::~MainWindow() {
  StopScanAndWait();
  upload_.reset();
}

void MainWindow::ChooseAdapterAtStartup(bool recreated) {
  Result<std::vector<config::AdapterInfo>> adapters = services_.list_adapters();
  if (!adapters.ok()) return;  // no choice; the settings in memory stay
  const config::AdapterChoice choice = config::ChooseAdapterAtStartup(
      *adapters, [this] { return services_.settings->Load(); }, !recreated);
  if (choice.loaded) state_.settings = choice.settings;
  if (!choice.ask_question) return;
  AdapterQuestion question(state_.settings);
  if (services_.run_modal(question) == QDialog::Accepted) {
    AdapterDialog dialog(state_.settings, services_);
    services_.run_modal(dialog);
  }
}

void MainWindow::BuildClassic() {
  QFont dialog_font = font();
  dialog_font.setPointSize(8);
  setFont(dialog_font);
  const DialogUnits du(dialog_font);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLatin1(kWindowTitle) + QStringLiteral("   v") + ProgramVersion());
  setFixedSize(du.X(kClassicWidthDu), du.Y(kClassicHeightDu));

  frame_ = new QGroupBox(this);
  frame_->setGeometry(du.Rect(59, 5, 287, 160));
  auto button = [&](const QString& text, QRect r, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(r);
    b->setAutoDefault(false);
    return b;
  };
  scan_ = button(QStringLiteral("Scan"), du.Rect(7, 11, 44, 22), "scan");
  configure_ = button(QStringLiteral("Configure"), du.Rect(7, 43, 44, 22), "configure");
  firmware_ = button(QStringLiteral("Firmware"), du.Rect(7, 76, 44, 22), "firmware");
  terminal_ = button(QStringLiteral("Terminal"), du.Rect(7, 111, 44, 22), "terminal");
  clone_ = button(QStringLiteral("Clone\nSelection"), du.Rect(7, 146, 44, 22), "clone");
  clone_->hide();
  list_ = new DeviceList(this);
  list_->setGeometry(du.Rect(70, 29, 263, 117));
  status_ = new QLabel(QString::fromLatin1(discovery::kStatusIdle), this);
  status_->setGeometry(du.Rect(71, 151, 260, 10));
  const int header_x[4] = {79, 155, 215, 259};
  const int header_w[4] = {35, 44, 29, 44};
  const int marker_x[4] = {68, 145, 207, 248};
  for (int i = 0; i < 4; ++i) {
    headers_[i] = new HeaderLabel(QString::fromLatin1(kHeaderTexts[i]), this);
    headers_[i]->setGeometry(du.Rect(header_x[i], 18, header_w[i], 8));
    markers_[i] = new SortMarker(this);
    markers_[i]->setGeometry(du.Rect(marker_x[i], 18, 8, 8));
    markers_[i]->SetColour(palette().color(QPalette::WindowText));
  }
}

void MainWindow::BuildGraphical() {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  setFixedSize(kSkinWidth, kSkinHeight);
  const QImage skin = SkinBackground();
  background_ = QPixmap::fromImage(skin);
  shape_ = OpaqueRegion(skin);
  // The offscreen platform (tests, screenshots) has no window shapes and says so every time.
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) setMask(shape_);

  auto skin_button = [&](ButtonFaces faces, QRect r, const char* name, const QString& tip) {
    auto* b = new SkinButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->SetFaces(std::move(faces));
    b->setGeometry(r);
    b->setToolTip(tip);
    return b;
  };
  const bool search_only = state_.flags.search_only;
  scan_ = skin_button(TextButtonFaces(QStringLiteral("Scan")), QRect(170, 65, 92, 36), "scan",
                      QStringLiteral("Search the network..."));
  configure_ = skin_button(TextButtonFaces(QStringLiteral("Configure")), QRect(170, 109, 92, 36), "configure",
                           QStringLiteral("Configure the selected Corvane..."));
  firmware_ = skin_button(TextButtonFaces(QStringLiteral("Firmware")), QRect(170, 153, 92, 36), "firmware",
                          QStringLiteral("\nUpload firmware using TFTP.\n\nMake sure the Corvane is in the same "
                                         "IP-subnet as your PC !\n"));
  terminal_ = skin_button(TextButtonFaces(QStringLiteral("Terminal")), QRect(170, 197, 92, 36), "terminal",
                          QStringLiteral("\nOpen the TCP Terminal.\n\nMake sure the Corvane is in the same IP-subnet "
                                         "as your PC\nand configured as TCP Server !\n"));
  if (search_only) {
    for (QAbstractButton* b : {configure_, firmware_, terminal_}) {
      static_cast<SkinButton*>(b)->SetFaces({});
      b->setToolTip(QString());
    }
  }
  clone_ = new QPushButton(QStringLiteral("Clone\nSelection"), this);
  clone_->setObjectName(QStringLiteral("clone"));
  for (QAbstractButton* b : {configure_, firmware_, terminal_, clone_}) b->hide();
  network_ = skin_button(NetworkButtonFaces(), QRect(64, 194, 33, 35), "network",
                         QStringLiteral("Select local network adapter"));
  minimize_ = skin_button(MinimizeButtonFaces(), QRect(550, 14, 21, 17), "minimize",
                          QStringLiteral("Minimize this window..."));
  exit_ = skin_button(ExitButtonFaces(), QRect(572, 14, 21, 17), "exit", QStringLiteral("Exit this program..."));

  version_ = new QLabel(ProgramVersion(), this);
  version_->setGeometry(490, 15, 60, 20);
  version_->setStyleSheet(WhiteStyle());
  list_ = new DeviceList(this);
  list_->setGeometry(265, 70, 410, 195);
  list_->SetSkinned(true);
  status_ = new QLabel(QString::fromLatin1(discovery::kStatusIdle), this);
  status_->setGeometry(270, 265, 400, 20);
  status_->setStyleSheet(AmberStyle());
  const QRect marker_rects[4] = {{258, 51, 10, 20}, {375, 51, 10, 20}, {490, 51, 10, 20}, {557, 51, 10, 20}};
  const QRect header_rects[4] = {{268, 51, 90, 20}, {385, 51, 90, 20}, {500, 51, 50, 20}, {567, 51, 70, 20}};
  for (int i = 0; i < 4; ++i) {
    headers_[i] = new HeaderLabel(QString::fromLatin1(kHeaderTexts[i]), this);
    headers_[i]->setGeometry(header_rects[i]);
    headers_[i]->setStyleSheet(AmberStyle() + QStringLiteral(" font-size: 11px;"));
    headers_[i]->setCursor(Qt::PointingHandCursor);
    markers_[i] = new SortMarker(this);
    markers_[i]->setGeometry(marker_rects[i]);
    markers_[i]->SetColour(QColor::fromRgb(kAmber));
  }
}

void MainWindow::ConnectCommands() {
  setTabOrder(scan_, configure_);
  setTabOrder(configure_, firmware_);
  setTabOrder(firmware_, terminal_);
  setTabOrder(terminal_, list_);
  connect(scan_, &QAbstractButton::clicked, this, [this] { ScanPressed(); });
  connect(firmware_, &QAbstractButton::clicked, this, [this] { FirmwareCommand(); });
  connect(configure_, &QAbstractButton::clicked, this, [this] { ConfigureCommand(); });
  connect(terminal_, &QAbstractButton::clicked, this, [this] { TerminalCommand(); });
  if (network_) connect(network_, &QAbstractButton::clicked, this, [this] { SelectAdapter(); });
  if (minimize_) connect(minimize_, &QAbstractButton::clicked, this, [this] { showMinimized(); });
  if (exit_) connect(exit_, &QAbstractButton::clicked, this, [this] { ExitProgram(); });
  for (int i = 0; i < 4; ++i) {
    connect(headers_[i], &HeaderLabel::clicked, this, [this, i] { SortBy(static_cast<SortColumn>(i)); });
  }
  connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
    if (!scanning_ || changing_list_) return;
    // A selection during a scan ends it at the next tick, and the list keeps arrival order.
    user_selected_during_scan_ = true;
    runner_.EndAtNextTick();
  });
}

void MainWindow::CheckDpi() {
  const int dpi = services_.logical_dpi.value_or(logicalDpiX());
  if (dpi <= 120) return;
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kWindowTitle), QString::fromLatin1(kDpiMessage),
                  QMessageBox::Ok, this);
  services_.run_modal(box);
}

void MainWindow::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  scan_->setFocus();
}

void MainWindow::paintEvent(QPaintEvent* e) {
  if (!graphical_) return QDialog::paintEvent(e);
  QPainter p(this);
  p.drawPixmap(0, 0, background_);
}

void MainWindow::SetStatus(const QString& text) {
  status_->setText(text);
  if (graphical_) status_->repaint();
}

void MainWindow::SetScanFace(bool stop) {
  if (auto* skin = qobject_cast<SkinButton*>(scan_)) {
    skin->SetFaces(stop ? TextButtonFaces(QStringLiteral("Stop"), FaceStyle::kStop) : TextButtonFaces(QStringLiteral("Scan")));
  } else {
    scan_->setText(stop ? QStringLiteral("Stop") : QStringLiteral("Scan"));
  }
}

void MainWindow::UpdateActionButtons(bool show_in_graphical) {
  const bool any = list_->count() > 0 && !scanning_;
  configure_->setEnabled(any);
  terminal_->setEnabled(any);
  firmware_->setEnabled(any);
  clone_->setEnabled(any);
  if (!graphical_) return;
  const bool show = any && show_in_graphical && !state_.flags.search_only;
  for (QAbstractButton* b : {configure_, firmware_, terminal_}) {
    if (show) b->show();
    if (!any) b->hide();
  }
}

void MainWindow::ShowMarkers() {
  for (SortMarker* m : markers_) m->SetDirection(SortMarker::Direction::kNone);
  markers_[static_cast<int>(discovery::SortColumnOf(state_.sort_mode))]->SetDirection(
      discovery::IsDescending(state_.sort_mode) ? SortMarker::Direction::kDown : SortMarker::Direction::kUp);
}

void MainWindow::SortBy(SortColumn column) {
  state_.sort_mode = discovery::SortModeAfterClick(state_.sort_mode, column);
  ShowMarkers();
  {
    ListChange change(changing_list_);
    list_->Sort(state_.sort_mode);
  }
  if (graphical_) repaint();
}

discovery::ScanOptions MainWindow::MakeScanOptions() const {
  discovery::ScanOptions o;
  o.bind_address = config::BindAddressOf(state_.settings);
  o.bind_port = state_.settings.broadcast_port;
  o.countdown_seconds = state_.scan_seconds;
  if (state_.discovery_to) {
    o.destination = *state_.discovery_to;
  } else if (o.bind_address == net::kAnyAddress && services_.broadcast_interfaces) {
    // No adapter chosen: every LAN of the PC hears the request, not only the default route's.
    o.send_interfaces = services_.broadcast_interfaces();
  }
  return o;
}

void MainWindow::ScanPressed() {
  if (scanning_) {
    runner_.RequestStop();
    return;
  }
  StartScan();
}

void MainWindow::StartScan() {
  if (scanning_ || upload_) return;
  runner_.Wait();
  scanning_ = true;
  user_selected_during_scan_ = false;
  state_.clone_source.reset();
  SetStatus(QStringLiteral("Status: Scanning for devices"));
  {
    ListChange change(changing_list_);
    list_->clear();
  }
  for (SortMarker* m : markers_) m->SetDirection(SortMarker::Direction::kNone);
  UpdateActionButtons(false);
  for (QAbstractButton* b : {configure_, firmware_, terminal_, clone_}) {
    b->setEnabled(false);
    if (graphical_) b->hide();
  }
  SetScanFace(true);
  ScanCallbacks cb;
  cb.status = [this](const QString& t) { SetStatus(t); };
  cb.line_added = [this](const std::string& line, const config::Mac& mac, uint32_t ip) {
    ListChange change(changing_list_);
    list_->AddLine(line, mac, ip);
  };
  cb.line_removed = [this](const std::string& line) {
    ListChange change(changing_list_);
    list_->RemoveLine(line);
  };
  cb.send_error = [this](const QString& text) {
    ShowMessage(QStringLiteral("An error has occurred..."), text, QMessageBox::Information);
  };
  cb.finished = [this](int found) { OnScanFinished(found); };
  runner_.Start(MakeScanOptions(), this, std::move(cb));
}

void MainWindow::OnScanFinished(int found) {
  runner_.Wait();
  scanning_ = false;
  SetScanFace(false);
  UpdateActionButtons(true);
  if (!user_selected_during_scan_ && list_->count() > 0) {
    ShowMarkers();
    ListChange change(changing_list_);
    list_->Sort(state_.sort_mode);
  }
  if (graphical_) repaint();
  emit ScanEnded(found);
}

void MainWindow::RebuildFromTable() {
  if (scanning_) return;
  ListChange change(changing_list_);
  list_->clear();
  for (const discovery::DeviceEntry& e : state_.table.entries()) {
    list_->AddLine(discovery::DeviceListLine(e.summary), e.summary.mac, e.summary.ip);
  }
  if (list_->count() > 0) {
    ShowMarkers();
    list_->Sort(state_.sort_mode);
  }
  // The buttons come back enabled; the skin shows them again after the next scan.
  UpdateActionButtons(false);
}

void MainWindow::StopScanAndWait() {
  if (!runner_.running()) return;
  runner_.RequestStop();
  SetStatus(QStringLiteral("Status: Exiting program"));
  runner_.Wait();
  scanning_ = false;
}

void MainWindow::done(int result) {
  // Enter, Escape, the close box, Exit and the mode toggle all end here: a running scan is
  // stopped and its thread waited for before the window goes.
  StopScanAndWait();
  upload_.reset();  // a running upload is cancelled and waited for
  QDialog::done(result);
}

void MainWindow::ExitProgram() {
  runner_.RequestStop();
  SetStatus(QStringLiteral("Status: Exiting program"));
  StopScanAndWait();
  services_.settings->Save(state_.settings);
  done(QDialog::Rejected);
}

void MainWindow::ToggleMode() {
  if (scanning_ || upload_) return;
  state_.settings.graphical_ui = !state_.settings.graphical_ui;
  services_.settings->Save(state_.settings);
  done(kToggleResult);
}

void MainWindow::SelectAdapter() {
  AdapterDialog dialog(state_.settings, services_, this);
  services_.run_modal(dialog);
}

void MainWindow::ShowAbout() {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("About..."), QStringLiteral("Corvane KX25 Configuration Utility"),
                  QMessageBox::Ok, this);
  box.setIconPixmap(ProgramIcon().pixmap(48, 48));
  services_.run_modal(box);
}

void MainWindow::ShowMessage(const QString& caption, const QString& text, int icon) {
  QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, text, QMessageBox::Ok, this);
  services_.run_modal(box);
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_F1) {
    ShowAbout();
    return;
  }
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    done(QDialog::Accepted);  // as a dialog's OK: closes without saving
    return;
  }
  QDialog::keyPressEvent(e);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* e) {
  if (scanning_ || upload_) return;  // no menu during a scan
  QMenu menu(this);
  QAction* toggle = menu.addAction(QStringLiteral("Toggle User Interface mode"));
  QAction* adapter = menu.addAction(QStringLiteral("Select local network adapter"));
  menu.addSeparator();
  QAction* about = menu.addAction(QStringLiteral("About..."));
  QAction* chosen = services_.run_menu(menu, e->globalPos());
  if (chosen == toggle) {
    ToggleMode();
  } else if (chosen == adapter) {
    SelectAdapter();
  } else if (chosen == about) {
    ShowAbout();
  }
}

void MainWindow::mousePressEvent(QMouseEvent* e) {
  if (graphical_ && e->button() == Qt::LeftButton) {
    drag_offset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
  }
  QDialog::mousePressEvent(e);
}

void MainWindow::mouseMoveEvent(QMouseEvent* e) {
  if (drag_offset_ && (e->buttons() & Qt::LeftButton)) move(e->globalPosition().toPoint() - *drag_offset_);
  QDialog::mouseMoveEvent(e);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (drag_offset_ && e->button() == Qt::LeftButton) {
    drag_offset_.reset();
    scan_->setFocus();
  }
  QDialog::mouseReleaseEvent(e);
}

}  // namespace kt::ui
