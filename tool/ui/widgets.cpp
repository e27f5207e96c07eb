#include "tool/ui/widgets.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <map>

#include "tool/discovery/discovery_reply.h"

namespace kt::ui {

SkinButton::SkinButton(QWidget* parent) : QAbstractButton(parent) {
  setAttribute(Qt::WA_Hover);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void SkinButton::SetFaces(ButtonFaces faces) {
  faces_ = std::move(faces);
  update();
}

QSize SkinButton::sizeHint() const { return faces_.normal.isNull() ? QSize(20, 20) : faces_.normal.size(); }

void SkinButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!isEnabled()) p.setOpacity(0.35);
  const QPixmap& face = underMouse() && isEnabled() ? faces_.hover : faces_.normal;
  p.drawPixmap(rect(), face);
  if (hasFocus()) {
    p.setOpacity(1);
    p.setPen(QPen(QColor::fromRgb(kAmber), 1, Qt::DotLine));
    p.drawRoundedRect(QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5), 3, 3);
  }
}

void SkinButton::enterEvent(QEnterEvent* e) {
  update();
  QAbstractButton::enterEvent(e);
}

void SkinButton::leaveEvent(QEvent* e) {
  update();
  QAbstractButton::leaveEvent(e);
}

void HeaderLabel::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
  QLabel::mouseReleaseEvent(e);
}

void SortMarker::SetDirection(Direction d) {
  direction_ = d;
  update();
}

void SortMarker::SetColour(const QColor& c) {
  colour_ = c;
  update();
}

void SortMarker::paintEvent(QPaintEvent*) {
  if (direction_ == Direction::kNone) return;
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal side = qMin(width(), height()) * 0.7;
  const QPointF c = QRectF(rect()).center();
  QPainterPath tri;
  if (direction_ == Direction::kUp) {
    tri.moveTo(c.x() - side / 2, c.y() + side / 3);
    tri.lineTo(c.x() + side / 2, c.y() + side / 3);
    tri.lineTo(c.x(), c.y() - side / 2.5);
  } else {
    tri.moveTo(c.x() - side / 2, c.y() - side / 3);
    tri.lineTo(c.x() + side / 2, c.y() - side / 3);
    tri.lineTo(c.x(), c.y() + side / 2.5);
  }
  tri.closeSubpath();
  p.fillPath(tri, colour_);
}

DeviceList::DeviceList(QWidget* parent) : QListWidget(parent) {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setFamilies({QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                 QStringLiteral("monospace")});
  f.setStyleHint(QFont::TypeWriter);
  f.setFixedPitch(true);
  f.setPixelSize(12);
  f.setWeight(QFont::Normal);
  setFont(f);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setUniformItemSizes(true);
}

void DeviceList::SetSkinned(bool skinned) {
  if (!skinned) return;
  setFrameShape(QFrame::NoFrame);
  setAttribute(Qt::WA_TranslucentBackground);
  viewport()->setAutoFillBackground(false);
  setStyleSheet(QStringLiteral(
      "QListWidget { background: transparent; color: rgb(255,255,255); }"
      "QListWidget::item:selected { background: rgba(255,204,0,70); color: rgb(255,255,255); }"));
}

void DeviceList::AddLine(const std::string& line, const config::Mac& mac, uint32_t ip) {
  auto* item = new QListWidgetItem(QString::fromStdString(line));
  item->setData(kMacRole, QByteArray(reinterpret_cast<const char*>(mac.data()), static_cast<int>(mac.size())));
  item->setData(kIpRole, static_cast<uint>(ip));
  addItem(item);
}

void DeviceList::RemoveLine(const std::string& line) {
  const QString text = QString::fromStdString(line);
  for (int i = 0; i < count(); ++i) {
    if (item(i)->text() == text) {
      delete takeItem(i);
      return;
    }
  }
}

std::vector<std::string> DeviceList::Lines() const {
  std::vector<std::string> out;
  for (int i = 0; i < count(); ++i) out.push_back(item(i)->text().toStdString());
  return out;
}

void DeviceList::Sort(int mode) {
  constexpr int kMaxSorted = 1000;
  std::vector<std::string> lines;
  std::multimap<std::string, QListWidgetItem*> items;
  std::vector<QListWidgetItem*> rest;
  while (count() > 0) {
    QListWidgetItem* it = takeItem(0);
    if (static_cast<int>(lines.size()) < kMaxSorted) {
      lines.push_back(it->text().toStdString());
      items.emplace(lines.back(), it);
    } else {
      rest.push_back(it);
    }
  }
  discovery::SortDeviceLines(lines, mode);
  for (const std::string& line : lines) {
    auto it = items.find(line);
    addItem(it->second);
    items.erase(it);
  }
  for (QListWidgetItem* it : rest) addItem(it);
  if (count() > 0) {
    setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
  }
}

bool DeviceList::FocusedTerminal(config::Mac& mac, uint32_t& ip) const {
  const QListWidgetItem* it = currentItem();
  if (!it) return false;
  const QByteArray m = it->data(kMacRole).toByteArray();
  if (m.size() != static_cast<int>(mac.size())) return false;
  std::copy(m.begin(), m.end(), reinterpret_cast<char*>(mac.data()));
  ip = it->data(kIpRole).toUInt();
  return true;
}

}  // namespace kt::ui
