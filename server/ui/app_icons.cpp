#include "server/ui/app_icons.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace kt::ui {
namespace {

// A rounded tile with a short mark, at the sizes trays and title bars ask for.
QIcon DrawIcon(const QColor& fill, const QString& mark) {
  QIcon icon;
  for (int size : {16, 22, 32, 48}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(fill.darker(160), size / 16.0));
    p.setBrush(fill);
    const qreal m = size / 16.0;
    p.drawRoundedRect(QRectF(m, m, size - 2 * m, size - 2 * m), size / 5.0, size / 5.0);
    QFont f;
    f.setBold(true);
    f.setPixelSize(mark.size() > 1 ? size * 9 / 20 : size * 3 / 4);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, mark);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace

QIcon AppIcon() {
  static const QIcon icon = DrawIcon(QColor(0x1f, 0x5f, 0xbf), QStringLiteral("KT"));
  return icon;
}

QIcon StateIcon3() {
  static const QIcon icon = DrawIcon(QColor(0xd0, 0x30, 0x20), QStringLiteral("!"));
  return icon;
}

}  // namespace kt::ui
