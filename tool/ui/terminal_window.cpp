#include "tool/ui/terminal_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QFontMetrics>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace kt::ui {

namespace {

QColor ColourOf(terminal::LogKind kind) {
  switch (kind) {
    case terminal::LogKind::kReceived: return QColor(0x80, 0xC8, 0xFF);
    case terminal::LogKind::kSent: return QColor(0xFF, 0x40, 0x40);
    case terminal::LogKind::kTyped: return QColor(Qt::white);
    case terminal::LogKind::kNotice: break;
  }
  return QColor(0xFF, 0xD0, 0x60);
}

}  // namespace

TerminalLogView::TerminalLogView(QWidget* parent) : QTextEdit(parent) {
  setObjectName(QStringLiteral("log"));
  setAcceptRichText(false);
  setUndoRedoEnabled(false);
  setStyleSheet(QStringLiteral("QTextEdit { background: #101418; color: white; }"));
  QFont f(QStringLiteral("Monospace"));
  f.setStyleHint(QFont::TypeWriter);
  setFont(f);
}

void TerminalLogView::Append(terminal::LogKind kind, const QString& text) {
  QTextCursor c(document());
  c.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(ColourOf(kind));
  // The log's own lines stand on a line of their own.
  const bool own_line = kind == terminal::LogKind::kNotice;
  if (own_line && !document()->isEmpty() && !toPlainText().endsWith(QChar('\n'))) c.insertText(QStringLiteral("\n"));
  c.insertText(text, format);
  if (own_line) c.insertText(QStringLiteral("\n"));
  if (document()->characterCount() > kLimit - 500) {
    QTextCursor head(document());
    head.setPosition(0);
    head.setPosition(document()->characterCount() / 2, QTextCursor::KeepAnchor);
    head.removeSelectedText();
  }
  moveCursor(QTextCursor::End);
  ensureCursorVisible();
}

void TerminalLogView::keyPressEvent(QKeyEvent* e) {
  if (!session_) return;
  if (e->matches(QKeySequence::Paste)) {
    session_->Paste(QApplication::clipboard()->text().toStdString());
    return;
  }
  if (e->key() == Qt::Key_Escape) {
    session_->TypeEscape();
    return;
  }
  const QString text = e->text();
  if (text.isEmpty()) {
    // Moving around the log is allowed; nothing is sent.
    QTextEdit::keyPressEvent(e);
    return;
  }
  for (char32_t c : text.toStdU32String()) session_->TypeKey(c);
}

void TerminalLogView::insertFromMimeData(const QMimeData* source) {
  if (session_ && source->hasText()) session_->Paste(source->text().toStdString());
}

DisplayView::DisplayView(const display::DisplayEmulator& emulator, QWidget* parent)
    : QWidget(parent), emulator_(emulator) {
  setObjectName(QStringLiteral("display"));
  setToolTip(QStringLiteral("What the terminal's display shows now"));
}

QSize DisplayView::sizeHint() const {
  const QFontMetrics m(QFont(QStringLiteral("Monospace"), 11));
  return QSize(m.horizontalAdvance(QChar('M')) * display::DisplayEmulator::kColumns + 24,
               m.height() * (display::DisplayEmulator::kRows + 4) + 24);
}

void DisplayView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(40, 44, 52));
  const QRect glass = rect().adjusted(8, 8, -8, -8);
  p.fillRect(glass, QColor(24, 64, 40));
  QFont small(QStringLiteral("Monospace"));
  small.setStyleHint(QFont::TypeWriter);
  const int rows = display::DisplayEmulator::kRows;
  // A large row takes the height of two small ones.
  int units = 0;
  for (int r = 0; r < rows; ++r) units += emulator_.row_font(r) == display::Font::kLarge ? 2 : 1;
  const double unit = static_cast<double>(glass.height() - 8) / std::max(units, rows);
  small.setPixelSize(std::max(6, static_cast<int>(unit * 0.8)));
  QFont large = small;
  large.setBold(true);
  large.setPixelSize(std::max(8, static_cast<int>(unit * 1.6)));
  p.setPen(QColor(150, 240, 170));
  double y = glass.top() + 4;
  for (int r = 0; r < rows; ++r) {
    const bool big = emulator_.row_font(r) == display::Font::kLarge;
    const double h = unit * (big ? 2 : 1);
    p.setFont(big ? large : small);
    const QRectF line(glass.left() + 6, y, glass.width() - 12, h);
    const QString text = QString::fromLatin1(emulator_.rows()[static_cast<std::size_t>(r)].c_str());
    // The row is laid out over the glass's width, a character per column.
    const double cell = line.width() / display::DisplayEmulator::kColumns;
    for (int col = 0; col < text.size(); ++col) {
      p.drawText(QRectF(line.left() + col * cell, line.top(), cell, h), Qt::AlignCenter, text.mid(col, 1));
    }
    y += h;
  }
}

TerminalWindow::TerminalWindow(const terminal::TerminalTarget& target, terminal::SessionOptions options,
                               QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), codepage_(target.codepage_index) {
  setObjectName(QStringLiteral("tcp_terminal"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Corvane TCP Terminal : ") + QString::fromStdString(target.ip));

  ip_ = new QLineEdit(QString::fromStdString(target.ip), this);
  ip_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("^((25[0-5]|2[0-4]\\d|1?\\d?\\d)\\.){0,3}(25[0-5]|2[0-4]\\d|1?\\d?\\d)?$")), ip_));
  port_ = new QSpinBox(this);
  port_->setRange(0, 65535);
  port_->setValue(target.port);
  hex_ = new QCheckBox(QStringLiteral("Hex input"), this);
  respond_ = new QCheckBox(QStringLiteral("Respond to barcodes\n(For demonstration purposes)"), this);
  auto* connect_button = new QPushButton(QStringLiteral("Connect"), this);
  connect_button->setObjectName(QStringLiteral("connect"));
  connect_ = connect_button;
  connect_->setToolTip(QString::fromLatin1(kConnectTip));
  auto* hide_button = new QPushButton(QStringLiteral("Hide"), this);
  hide_button->setObjectName(QStringLiteral("hide"));
  hide_ = hide_button;
  hide_->setToolTip(QStringLiteral("Hide this window..."));
  log_ = new TerminalLogView(this);
  log_->setEnabled(false);
  display_ = new DisplayView(emulator_, this);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("IP Address"), this));
  top->addWidget(ip_);
  top->addWidget(new QLabel(QStringLiteral("Port"), this));
  top->addWidget(port_);
  top->addWidget(connect_);
  top->addStretch();
  top->addWidget(hide_);
  auto* checks = new QHBoxLayout;
  checks->addWidget(hex_);
  checks->addWidget(respond_);
  checks->addStretch();
  auto* body = new QHBoxLayout;
  body->addWidget(log_, 1);
  auto* side = new QVBoxLayout;
  side->addWidget(new QLabel(QStringLiteral("Terminal display"), this));
  side->addWidget(display_);
  side->addStretch();
  body->addLayout(side);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(checks);
  layout->addLayout(body, 1);
  resize(900, 420);

  session_ = std::make_unique<terminal::TerminalSession>(target, *this, std::move(options));
  log_->set_session(session_.get());
  connect(hex_, &QCheckBox::toggled, this, [this](bool on) { session_->SetHexInput(on); });
  connect(respond_, &QCheckBox::toggled, this, [this](bool on) { session_->SetRespondToBarcodes(on); });
  connect(connect_, &QAbstractButton::clicked, this, [this] {
    if (session_->active()) {
      Disconnect();
    } else {
      Connect();
    }
  });
  connect(hide_, &QAbstractButton::clicked, this, &QWidget::hide);
}

TerminalWindow::~TerminalWindow() {
  session_->Disconnect();
  session_->WaitUntilDisconnected();
  session_.reset();
}

void TerminalWindow::Connect() {
  if (session_->active()) return;
  log_->clear();
  connect_->setEnabled(false);
  terminal::TerminalTarget t;
  t.ip = ip_->text().toStdString();
  t.port = static_cast<uint16_t>(port_->value());
  t.codepage_index = codepage_;
  session_->Connect(t);
}

void TerminalWindow::Disconnect() { session_->Disconnect(); }

void TerminalWindow::SetConnectedFace(bool connected) {
  connect_->setEnabled(true);
  connect_->setText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
  connect_->setToolTip(QString::fromLatin1(connected ? kDisconnectTip : kConnectTip));
  log_->setEnabled(connected);
  if (connected) {
    setWindowTitle(QStringLiteral("Corvane TCP Terminal : ") + ip_->text());
    log_->setFocus();
  }
  emit ConnectedChanged(connected);
}

void TerminalWindow::OnLog(const terminal::LogPiece& piece) {
  QMetaObject::invokeMethod(
      this, [this, kind = piece.kind, text = QString::fromStdString(piece.text)] { log_->Append(kind, text); },
      Qt::QueuedConnection);
}

void TerminalWindow::OnSent(std::string_view bytes) {
  QMetaObject::invokeMethod(
      this,
      [this, sent = std::string(bytes)] {
        emulator_.Feed(sent);
        display_->update();
      },
      Qt::QueuedConnection);
}

void TerminalWindow::OnConnected() {
  QMetaObject::invokeMethod(this, [this] { SetConnectedFace(true); }, Qt::QueuedConnection);
}

void TerminalWindow::OnDisconnected() {
  QMetaObject::invokeMethod(this, [this] { SetConnectedFace(false); }, Qt::QueuedConnection);
}

void TerminalWindow::OnCloseRequested() {
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void TerminalWindow::closeEvent(QCloseEvent* e) {
  session_->Disconnect();
  e->accept();
}

}  // namespace kt::ui
