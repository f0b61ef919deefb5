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
  const int width = contentsRect().width();
  const QString elided = fontMetrics().elidedText(full_, Qt::ElideRight, width);
  if (elided == full_ || !elided.endsWith(kEllipsis)) {
    setText(elided);
    return;
  }
  // A count cut after some of its digits reads as a smaller count ("120…"
  // of "12034"), and one right before "…" as a larger one ("2000…"): a
  // number is shown only with the gap that follows it.
  qsizetype kept = elided.size() - 1;
  while (kept > 0 && full_[kept - 1].isDigit() && full_[kept].isDigit()) --kept;
  if (kept > 0 && full_[kept - 1].isDigit()) {
    if (full_[kept].isSpace() &&
        fontMetrics().horizontalAdvance(full_.left(kept + 1) + kEllipsis) <= width) {
      ++kept;
    } else {
      while (kept > 0 && full_[kept - 1].isDigit()) --kept;
    }
  }
  setText(full_.left(kept) + kEllipsis);
}

}  // namespace vexalo
