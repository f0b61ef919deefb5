#pragma once

#include <QEvent>
#include <QObject>

namespace vexalo::bench {

// Counts the paints of the widget it filters the events of.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace vexalo::bench
