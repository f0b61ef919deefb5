#include "ModalBoxCatcher.h"

#include <QApplication>
#include <QPointer>
#include <QStringList>

namespace vexalo {

ModalBoxCatcher::ModalBoxCatcher() {
  poll_.setInterval(5);
  connect(&poll_, &QTimer::timeout, this, &ModalBoxCatcher::CloseOpenBoxes);
  poll_.start();
}

QString ModalBoxCatcher::Texts() const {
  QStringList texts;
  for (const Box& box : seen_) texts << box.text;
  return texts.join(QLatin1Char('|'));
}

void ModalBoxCatcher::CloseOpenBoxes() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!widget->isVisible() || answering_.contains(widget)) continue;
    auto* files = qobject_cast<QFileDialog*>(widget);
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (files == nullptr && box == nullptr) continue;
    QPointer<QWidget> alive(widget);
    answering_.append(widget);
    if (files != nullptr) {
      if (fileDialogHandler_) {
        fileDialogHandler_(*files);
      } else {
        files->reject();
      }
    } else {
      seen_.push_back({box->windowTitle(), box->text(), box->icon()});
      if (whileNextBoxOpen_) {
        const std::function<void()> action = std::move(whileNextBoxOpen_);
        whileNextBoxOpen_ = nullptr;
        action();
      }
      if (alive) box->done(answer_);
    }
    answering_.removeOne(widget);
    return;  // the list of windows may have changed meanwhile
  }
}

}  // namespace vexalo
