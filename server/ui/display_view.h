// DisplayView: paints a display command stream as the terminal shows it, cell by cell from the
// display emulator of common/display (kColumns x kRows; large-font rows in a larger bold face).
//
// Thread safety: window thread only.
#pragma once

#include <QWidget>

#include <string>
#include <string_view>
#include <vector>

#include "common/display/commands.h"

namespace kt::ui {

class DisplayView : public QWidget {
  Q_OBJECT

 public:
  explicit DisplayView(QWidget* parent = nullptr);

  // Shows `stream` on a freshly cleared display.
  void setStream(std::string_view stream);

  // What is shown: kRows rows of kColumns characters, and each row's font.
  const std::vector<std::string>& rows() const { return rows_; }
  display::Font rowFont(int row) const { return fonts_[static_cast<std::size_t>(row)]; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<std::string> rows_;
  std::vector<display::Font> fonts_;
  QFont small_, large_;
  int cell_w_ = 0, row_h_ = 0;
};

}  // namespace kt::ui
