#include "server/ui/activity_list.h"

#include <QHeaderView>
#include <QThread>

namespace kt::ui {

ActivityList::ActivityList(int capacity, QWidget* parent) : QTreeWidget(parent), capacity_(capacity) {
  setColumnCount(1);
  setHeaderLabels({QStringLiteral("Info")});
  // The column starts 63 dialog units wide and grows with its longest line; a horizontal scroll
  // bar shows the rest rather than cutting lines off.
  header()->setStretchLastSection(false);
  header()->setMinimumSectionSize(63 * 7 / 4);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  setTextElideMode(Qt::ElideNone);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

bool ActivityList::Add(std::string_view text) {
  QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  const bool here = QThread::currentThread() == thread();
  {
    std::unique_lock lock(busy_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    pending_.push_back(std::move(line));
    // Lines beyond the capacity would be deleted again at once.
    if (pending_.size() > static_cast<std::size_t>(capacity_)) pending_.erase(pending_.begin());
    if (!here && !flush_posted_) {
      flush_posted_ = true;
      QMetaObject::invokeMethod(this, &ActivityList::Flush, Qt::QueuedConnection);
    }
  }
  if (here) Flush();
  return true;
}

void ActivityList::Flush() {
  std::vector<QString> lines;
  {
    std::scoped_lock lock(busy_);
    lines.swap(pending_);
    flush_posted_ = false;
  }
  QTreeWidgetItem* last = nullptr;
  for (QString& text : lines) {
    while (topLevelItemCount() >= capacity_) delete takeTopLevelItem(0);
    last = new QTreeWidgetItem(this, QStringList{std::move(text)});
  }
  if (last != nullptr) {
    setCurrentItem(last);
    scrollToItem(last);
  }
}

QStringList ActivityList::Lines() const {
  QStringList out;
  for (int i = 0; i < topLevelItemCount(); ++i) out << topLevelItem(i)->text(0);
  return out;
}

}  // namespace kt::ui
