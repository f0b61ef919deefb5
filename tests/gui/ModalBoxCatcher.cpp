#include "ModalBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
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
    auto* files = qobject_cast<QFileDialog*>(widget);
    if (files != nullptr && files->isVisible()) {
      if (fileDialogHandler_) {
        fileDialogHandler_(*files);
      } else {
        files->reject();
      }
      continue;
    }
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (box == nullptr || !box->isVisible()) continue;
    seen_.push_back({box->windowTitle(), box->text(), box->icon()});
    if (QAbstractButton* answer = box->button(answer_); answer != nullptr) {
      answer->click();
    } else {
      box->done(QMessageBox::Ok);
    }
  }
}

}  // namespace vexalo
