#include "app/ElidingLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace vexalo {

namespace {

constexpr QChar kEllipsis(0x2026);

}  // namespace

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {}

void ElidingLabel::SetFullText(const QString& text) {
  full_ = text;
  setToolTip(text);
  Elide();
  updateGeometry();
}

QSize ElidingLabel::sizeHint() const {
  const QSize hint = QLabel::sizeHint();
  return {fontMetrics().horizontalAdvance(full_) + 2 * margin() + 2 * frameWidth(), hint.height()};
}

QSize ElidingLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void ElidingLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void ElidingLabel::Elide() {
  const QString elided = fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width());
  if (elided == full_ || !elided.endsWith(kEllipsis)) {
    setText(elided);
    return;
  }
  // A count cut after some of its digits reads as a smaller count ("120…"
  // of "12034"): the cut moves back before the whole number.
  qsizetype kept = elided.size() - 1;
  while (kept > 0 && full_[kept].isDigit() && full_[kept - 1].isDigit()) --kept;
  setText(full_.left(kept) + kEllipsis);
}

}  // namespace vexalo
