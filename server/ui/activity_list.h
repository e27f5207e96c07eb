// One of the main window's two report lists (column "Info"), fed from any thread.
//
// Add() never blocks its caller: it takes the list's busy lock only if it is free; when another
// thread holds it, the line is dropped from the list (the activity log keeps it, see
// window_sink.h). Lines queue until the window thread appends them; before a line is appended
// the oldest is deleted while the list is full, so the list never holds more than `capacity`
// lines. The new line is selected and scrolled into view.
//
// Thread safety: Add() from any thread while the widget lives; everything else on its thread.
#pragma once

#include <QTreeWidget>

#include <mutex>
#include <string_view>
#include <vector>

namespace kt::ui {

class ActivityList : public QTreeWidget {
  Q_OBJECT

 public:
  // `capacity`: 51 for the connection list, 101 for the scan list.
  ActivityList(int capacity, QWidget* parent = nullptr);

  // Queues `text` (bytes taken as Latin-1). False when the list was busy and the line dropped.
  bool Add(std::string_view text);

  int capacity() const { return capacity_; }
  QStringList Lines() const;

 private:
  void Flush();

  const int capacity_;
  std::mutex busy_;
  // State below is protected by `busy_`.
  std::vector<QString> pending_;
  bool flush_posted_ = false;
};

}  // namespace kt::ui
