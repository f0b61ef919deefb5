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
    : text_(new ElidingLabel(bar)), nextFetch_(new QLabel(bar)) {
  text_->setObjectName(QStringLiteral("StatusText"));
  nextFetch_->setObjectName(QStringLiteral("NextFetchText"));
  bar->addWidget(text_, 1);
  bar->addPermanentWidget(nextFetch_);
  nextFetch_->hide();
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
