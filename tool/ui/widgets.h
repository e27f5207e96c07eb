// Small widgets of the main window: the skin button with its image pair, the clickable column
// header, the sort marker and the device list.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>

#include <string>
#include <vector>

#include "tool/config/configuration.h"
#include "tool/ui/skin.h"

namespace kt::ui {

// A button drawn from two images: `hover` while the mouse is over it, `normal` otherwise. Focus
// shows as a dotted frame, so the window can be used from the keyboard; a disabled button is
// drawn faded.
class SkinButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit SkinButton(QWidget* parent = nullptr);
  void SetFaces(ButtonFaces faces);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  ButtonFaces faces_;
};

// A static text that reports a click of the left mouse button.
class HeaderLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* e) override;
};

// The marker in front of a column header: empty, an upward or a downward triangle.
class SortMarker : public QWidget {
  Q_OBJECT
 public:
  enum class Direction { kNone, kUp, kDown };
  explicit SortMarker(QWidget* parent = nullptr) : QWidget(parent) {}
  void SetDirection(Direction d);
  Direction direction() const { return direction_; }
  void SetColour(const QColor& c);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  Direction direction_ = Direction::kNone;
  QColor colour_ = Qt::black;
};

// The device list: one fixed-width line per terminal in a 12-pixel fixed-pitch font. Each line
// keeps its terminal's MAC and IP address as item data, so actions never parse the text back.
class DeviceList : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int kMacRole = Qt::UserRole;      // QByteArray of 6 bytes
  static constexpr int kIpRole = Qt::UserRole + 1;   // uint, host order

  explicit DeviceList(QWidget* parent = nullptr);
  // White text on a transparent background, for the skin.
  void SetSkinned(bool skinned);

  void AddLine(const std::string& line, const config::Mac& mac, uint32_t ip);
  void RemoveLine(const std::string& line);
  std::vector<std::string> Lines() const;
  // Reorders the lines as the sort mode says (at most 1000 lines take part: the rest keep their
  // order after them) and selects the first line.
  void Sort(int mode);

  // The focused line's terminal, if any.
  bool FocusedTerminal(config::Mac& mac, uint32_t& ip) const;
};

}  // namespace kt::ui
