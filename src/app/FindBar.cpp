#include "app/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>

namespace vexalo {

FindBar::FindBar(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), note_(new QLabel(this)) {
  setObjectName(QStringLiteral("FindBar"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(new QLabel(QStringLiteral("検索："), this));
  edit_->setObjectName(QStringLiteral("FindEdit"));
  edit_->setToolTip(QStringLiteral("Enterで次に見つかったセルへ移ります。Escで閉じます。"));
  layout->addWidget(edit_, 1);
  layout->addWidget(note_);
  edit_->installEventFilter(this);
  connect(edit_, &QLineEdit::returnPressed, this, [this] { emit FindNext(edit_->text()); });
  connect(edit_, &QLineEdit::textEdited, this, [this] { ShowNotFound(false); });
  hide();
}

void FindBar::Open() {
  show();
  edit_->setFocus(Qt::ShortcutFocusReason);
  edit_->selectAll();
}

void FindBar::ShowNotFound(bool notFound) {
  note_->setText(notFound ? QStringLiteral("見つかりません") : QString());
}

void FindBar::Close() {
  ShowNotFound(false);
  hide();
  emit Closed();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  // Esc belongs to the box while it has the focus, before any window
  // shortcut on the same key.
  if (watched == edit_ &&
      (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      event->accept();
      if (event->type() == QEvent::KeyPress) Close();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vexalo
