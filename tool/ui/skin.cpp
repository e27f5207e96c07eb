#include "tool/ui/skin.h"

#include <QBitmap>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kt::ui {
namespace {

const QColor kPanelTop(0x34, 0x3d, 0x48);
const QColor kPanelBottom(0x1c, 0x22, 0x2a);
const QColor kInset(0x10, 0x15, 0x1b);
const QColor kEdge(0x5b, 0x67, 0x75);
const QColor kText(0xe6, 0xe9, 0xec);

QImage KeyImage(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(QColor::fromRgb(kKeyColour));
  return img;
}

// The outline is filled without antialiasing, so no blend of key and panel colour is left at the
// edge; the insides are drawn smooth.
void FillShape(QPainter& p, const QPainterPath& path, const QBrush& brush) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillPath(path, brush);
  p.restore();
}

QPainterPath Rounded(const QRectF& r, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  return path;
}

QImage Face(int w, int h, const QColor& top, const QColor& bottom, const QColor& edge) {
  QImage img = KeyImage(w, h);
  QPainter p(&img);
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  const QPainterPath shape = Rounded(QRectF(0, 0, w, h), 6);
  FillShape(p, shape, g);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(edge, 1.5));
  p.drawRoundedRect(QRectF(1.5, 1.5, w - 3, h - 3), 5, 5);
  return img;
}

void Caption(QImage& img, const QString& text, const QColor& colour) {
  QPainter p(&img);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont f;
  f.setPixelSize(14);
  f.setBold(true);
  p.setFont(f);
  p.setPen(colour);
  p.drawText(img.rect(), Qt::AlignCenter, text);
}

// A small network mark: three linked boxes.
void NetworkMark(QImage& img, const QColor& colour) {
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(colour, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(12, 5, 9, 7));
  p.drawRect(QRectF(4, 22, 9, 7));
  p.drawRect(QRectF(20, 22, 9, 7));
  p.drawLine(QPointF(16.5, 12), QPointF(16.5, 17));
  p.drawLine(QPointF(8.5, 17), QPointF(24.5, 17));
  p.drawLine(QPointF(8.5, 17), QPointF(8.5, 22));
  p.drawLine(QPointF(24.5, 17), QPointF(24.5, 22));
}

}  // namespace

bool IsKeyColour(QRgb px) {
  const QRgb key = kKeyColour;
  auto near = [](int v, int k) { return v >= k && v <= k + 1; };
  return near(qRed(px), qRed(key)) && near(qGreen(px), qGreen(key)) && near(qBlue(px), qBlue(key));
}

QRegion OpaqueRegion(const QImage& image) {
  QImage mask(image.size(), QImage::Format_MonoLSB);
  mask.setColor(0, qRgb(255, 255, 255));  // color0: outside the region
  mask.setColor(1, qRgb(0, 0, 0));        // color1: inside
  mask.fill(0);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!IsKeyColour(image.pixel(x, y))) mask.setPixel(x, y, 1);
    }
  }
  return QRegion(QBitmap::fromImage(mask));
}

QPixmap Keyed(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      if (IsKeyColour(line[x])) line[x] = 0;
    }
  }
  return QPixmap::fromImage(out);
}

QImage SkinBackground() {
  QImage img = KeyImage(kSkinWidth, kSkinHeight);
  QPainter p(&img);
  // The panel, and the terminal standing out above and below it on the left.
  QLinearGradient panel(0, 6, 0, 316);
  panel.setColorAt(0, kPanelTop);
  panel.setColorAt(1, kPanelBottom);
  FillShape(p, Rounded(QRectF(8, 6, 674, 310), 22), panel);
  QLinearGradient body(20, 0, 140, 0);
  body.setColorAt(0, QColor(0x4a, 0x52, 0x5c));
  body.setColorAt(0.5, QColor(0x60, 0x6a, 0x76));
  body.setColorAt(1, QColor(0x3a, 0x41, 0x4a));
  FillShape(p, Rounded(QRectF(22, 0, 118, 322), 26), body);

  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(kEdge, 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(9, 7, 672, 308), 21, 21);
  p.drawRoundedRect(QRectF(23, 1, 116, 320), 25, 25);

  // The terminal's display, its scan window and its speaker grille.
  p.setPen(QPen(QColor(0x22, 0x28, 0x30), 2));
  p.setBrush(QColor(0x0d, 0x2a, 0x2e));
  p.drawRoundedRect(QRectF(36, 36, 90, 70), 6, 6);
  QFont f;
  f.setPixelSize(15);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor::fromRgb(kAmber));
  p.drawText(QRectF(36, 44, 90, 24), Qt::AlignCenter, QStringLiteral("KX25"));
  f.setPixelSize(11);
  f.setBold(false);
  p.setFont(f);
  p.setPen(QColor(0x9f, 0xe0, 0xd8));
  p.drawText(QRectF(36, 70, 90, 24), Qt::AlignCenter, QStringLiteral("12.500,00"));
  p.setPen(QPen(QColor(0x22, 0x28, 0x30), 2));
  QLinearGradient scan(0, 124, 0, 160);
  scan.setColorAt(0, QColor(0x6b, 0x10, 0x10));
  scan.setColorAt(1, QColor(0x2c, 0x06, 0x06));
  p.setBrush(scan);
  p.drawRoundedRect(QRectF(44, 124, 74, 36), 8, 8);
  p.setPen(QPen(QColor(0xff, 0x40, 0x30, 160), 1.2));
  p.drawLine(QPointF(50, 142), QPointF(112, 142));
  p.setPen(QPen(QColor(0x2a, 0x30, 0x38), 2));
  for (int i = 0; i < 4; ++i) p.drawLine(QPointF(54, 250 + 9 * i), QPointF(108, 250 + 9 * i));
  // The network port the Network button sits on.
  p.setPen(QPen(QColor(0x22, 0x28, 0x30), 1.5));
  p.setBrush(QColor(0x2a, 0x31, 0x39));
  p.drawRoundedRect(QRectF(60, 190, 41, 43), 6, 6);

  // The button column and the list's well.
  p.setPen(QPen(QColor(0x12, 0x17, 0x1d), 1.5));
  p.setBrush(QColor(0x25, 0x2c, 0x35));
  p.drawRoundedRect(QRectF(160, 55, 112, 190), 10, 10);
  p.setBrush(kInset);
  p.setPen(QPen(QColor(0x0a, 0x0d, 0x11), 2));
  p.drawRoundedRect(QRectF(254, 46, 428 - 2, 246), 10, 10);
  p.setPen(QPen(QColor(0x3a, 0x44, 0x50), 1));
  p.drawLine(QPointF(262, 70), QPointF(674, 70));

  // Title.
  f.setPixelSize(15);
  f.setBold(true);
  p.setFont(f);
  p.setPen(kText);
  p.drawText(QRectF(166, 13, 320, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Corvane KX25 Configuration Tool"));
  return img;
}

ButtonFaces TextButtonFaces(const QString& caption, FaceStyle style) {
  const bool stop = style == FaceStyle::kStop;
  QImage normal = stop ? Face(92, 36, QColor(0x86, 0x2d, 0x24), QColor(0x5a, 0x1a, 0x14), QColor(0xb0, 0x4a, 0x3c))
                       : Face(92, 36, QColor(0x44, 0x50, 0x5e), QColor(0x2a, 0x32, 0x3c), kEdge);
  QImage hover = stop ? Face(92, 36, QColor(0xa8, 0x3a, 0x2e), QColor(0x72, 0x22, 0x1a), QColor::fromRgb(kAmber))
                      : Face(92, 36, QColor(0x58, 0x68, 0x7a), QColor(0x36, 0x40, 0x4c), QColor::fromRgb(kAmber));
  Caption(normal, caption, kText);
  Caption(hover, caption, QColor::fromRgb(kAmber));
  return {Keyed(hover), Keyed(normal)};
}

ButtonFaces NetworkButtonFaces() {
  QImage normal = Face(33, 35, QColor(0x44, 0x50, 0x5e), QColor(0x2a, 0x32, 0x3c), kEdge);
  QImage hover = Face(33, 35, QColor(0x58, 0x68, 0x7a), QColor(0x36, 0x40, 0x4c), QColor::fromRgb(kAmber));
  NetworkMark(normal, kText);
  NetworkMark(hover, QColor::fromRgb(kAmber));
  return {Keyed(hover), Keyed(normal)};
}

namespace {

ButtonFaces SmallFaces(bool exit) {
  QImage normal = Face(21, 17, QColor(0x44, 0x50, 0x5e), QColor(0x2a, 0x32, 0x3c), kEdge);
  QImage hover = exit ? Face(21, 17, QColor(0xb8, 0x3a, 0x2e), QColor(0x80, 0x22, 0x1a), QColor::fromRgb(kAmber))
                      : Face(21, 17, QColor(0x58, 0x68, 0x7a), QColor(0x36, 0x40, 0x4c), QColor::fromRgb(kAmber));
  for (QImage* img : {&normal, &hover}) {
    QPainter p(img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(img == &hover ? QColor(Qt::white) : kText, 1.8));
    if (exit) {
      p.drawLine(QPointF(7, 5), QPointF(14, 12));
      p.drawLine(QPointF(14, 5), QPointF(7, 12));
    } else {
      p.drawLine(QPointF(6, 11.5), QPointF(15, 11.5));
    }
  }
  return {Keyed(hover), Keyed(normal)};
}

}  // namespace

ButtonFaces MinimizeButtonFaces() { return SmallFaces(false); }
ButtonFaces ExitButtonFaces() { return SmallFaces(true); }

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    p.setPen(QPen(QColor(0x22, 0x28, 0x30), u * 0.8));
    p.setBrush(QColor(0x5a, 0x64, 0x70));
    p.drawRoundedRect(QRectF(3 * u, 0.5 * u, 10 * u, 15 * u), 2.5 * u, 2.5 * u);
    p.setBrush(QColor::fromRgb(kAmber));
    p.drawRoundedRect(QRectF(4.5 * u, 2 * u, 7 * u, 5 * u), u, u);
    p.setBrush(QColor(0x8a, 0x18, 0x14));
    p.drawRoundedRect(QRectF(5 * u, 9 * u, 6 * u, 2.5 * u), u, u);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

}  // namespace kt::ui
