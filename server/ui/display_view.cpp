#include "server/ui/display_view.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "common/display/emulator.h"

namespace kt::ui {
namespace {

using display::DisplayEmulator;

constexpr int kMargin = 8;
const QColor kGlass(0x9c, 0xb8, 0x6c);
const QColor kInk(0x1e, 0x2a, 0x14);
const QColor kBezel(0x3a, 0x3f, 0x44);

}  // namespace

DisplayView::DisplayView(QWidget* parent) : QWidget(parent) {
  small_ = QFont(QStringLiteral("Monospace"));
  small_.setStyleHint(QFont::TypeWriter);
  small_.setPixelSize(12);
  large_ = small_;
  large_.setBold(true);
  large_.setPixelSize(15);
  const QFontMetrics small_metrics(small_), large_metrics(large_);
  cell_w_ = std::max({small_metrics.horizontalAdvance(QLatin1Char('M')),
                      large_metrics.horizontalAdvance(QLatin1Char('M')), 8}) + 1;
  row_h_ = std::max(small_metrics.height(), large_metrics.height()) + 1;
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setStream({});
}

void DisplayView::setStream(std::string_view stream) {
  DisplayEmulator emulator;
  emulator.Feed(stream);
  rows_ = emulator.rows();
  fonts_.resize(DisplayEmulator::kRows);
  for (int r = 0; r < DisplayEmulator::kRows; ++r) fonts_[static_cast<std::size_t>(r)] = emulator.row_font(r);
  updateGeometry();
  update();
}

QSize DisplayView::sizeHint() const {
  // Room for every row in the large font, so the size never changes while typing.
  return {2 * kMargin + DisplayEmulator::kColumns * cell_w_, 2 * kMargin + DisplayEmulator::kRows * row_h_};
}

void DisplayView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kBezel);
  const QRect glass = rect().adjusted(kMargin / 2, kMargin / 2, -kMargin / 2, -kMargin / 2);
  p.fillRect(glass, kGlass);
  p.setPen(kInk);
  // Rows keep fixed places (a large row is as tall as every row's slot), so a font change never
  // moves the rows below it.
  const int slot = row_h_;
  for (int r = 0; r < DisplayEmulator::kRows; ++r) {
    const bool large = fonts_[static_cast<std::size_t>(r)] == display::Font::kLarge;
    p.setFont(large ? large_ : small_);
    const std::string& row = rows_[static_cast<std::size_t>(r)];
    const int y = kMargin + r * slot;
    for (int c = 0; c < DisplayEmulator::kColumns; ++c) {
      const char ch = row[static_cast<std::size_t>(c)];
      if (ch == ' ') continue;
      const QRect cell(kMargin + c * cell_w_, y, cell_w_, slot);
      p.drawText(cell, Qt::AlignCenter, QString(QChar::fromLatin1(ch)));
    }
  }
}

}  // namespace kt::ui
