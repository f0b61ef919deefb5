#include "ModalBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
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
    if (box != nullptr) seen_.push_back({box->windowTitle(), box->text(), box->icon()});
    // Answered from a call of its own: a poll does not fire again while it
    // runs, and an answer may open a box of its own (a question, a nested
    // message) that the next poll must catch.
    answering_.append(widget);
    QTimer::singleShot(0, this, [this, widget, dialog = QPointer<QWidget>(widget), files, box] {
      if (files != nullptr) {
        if (fileDialogHandler_) {
          fileDialogHandler_(*files);
        } else {
          files->reject();
        }
      } else {
        if (whileNextBoxOpen_) {
          const std::function<void()> action = std::move(whileNextBoxOpen_);
          whileNextBoxOpen_ = nullptr;
          action();
        }
        // Clicked, not just closed: the static QMessageBox functions return
        // the button that was clicked.
        QAbstractButton* button = dialog ? box->button(answer_) : nullptr;
        if (button != nullptr) {
          button->click();
        } else if (dialog) {
          box->done(QMessageBox::Ok);
        }
      }
      answering_.removeOne(widget);
    });
  }
}

void TypeFileName(QFileDialog& dialog, const QString& path) {
  auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (name == nullptr) qFatal("the file dialog has no name field");
  name->setText(path);
}

}  // namespace vexalo
