#include "app/ElidingLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace vexalo {

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
  setText(fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width()));
}

}  // namespace vexalo
