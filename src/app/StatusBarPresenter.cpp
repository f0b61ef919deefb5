#include "app/StatusBarPresenter.h"

namespace vexalo {

namespace {

// A fetch a day or more away shows its date as well.
QString TimeText(const QDateTime& when) {
  const QString format =
      when.date() == QDate::currentDate() ? QStringLiteral("H:mm") : QStringLiteral("M/d H:mm");
  return when.toString(format);
}

}  // namespace

StatusBarPresenter::StatusBarPresenter(QStatusBar* bar)
    : text_(new ElidingLabel(bar)), newRows_(new QLabel(bar)), nextFetch_(new QLabel(bar)) {
  text_->setObjectName(QStringLiteral("StatusText"));
  newRows_->setObjectName(QStringLiteral("NewRowsText"));
  newRows_->setToolTip(
      QStringLiteral("表の下に新しい行が届いています。一番下までスクロールすると表示が消えます。"));
  nextFetch_->setObjectName(QStringLiteral("NextFetchText"));
  bar->addWidget(text_, 1);
  bar->addPermanentWidget(newRows_);
  bar->addPermanentWidget(nextFetch_);
  newRows_->hide();
  nextFetch_->hide();
}

void StatusBarPresenter::ShowNewRows(int count) {
  newRows_->setText(QStringLiteral("↓新着 %1 件").arg(count));
  newRows_->setVisible(count > 0);
}

void StatusBarPresenter::ShowText(const QString& text) { text_->SetFullText(text); }

void StatusBarPresenter::ShowFailure(const QDateTime& when) {
  ShowText(QStringLiteral("前回の受信は失敗しました（%1）").arg(TimeText(when)));
}

void StatusBarPresenter::ShowNextFetch(const QDateTime& when) {
  if (!when.isValid()) {
    nextFetch_->clear();
    nextFetch_->hide();
    return;
  }
  nextFetch_->setText(QStringLiteral("次の自動受信 %1").arg(TimeText(when)));
  nextFetch_->show();
}

}  // namespace vexalo
