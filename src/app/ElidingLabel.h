#pragma once

#include <QLabel>
#include <QString>

namespace vexalo {

// One line of text that, when the label is narrower than it, is shown cut at
// its end with "…": the reader sees that more follows instead of a count cut
// off without a sign ("200" of "2000"). A number is never cut, nor shown
// right before the "…": the cut keeps the gap after the number, or else
// moves back before the number. The whole text is its tooltip.
class ElidingLabel : public QLabel {
 public:
  explicit ElidingLabel(QWidget* parent);

  void SetFullText(const QString& text);
  const QString& FullText() const { return full_; }

  // As wide as the whole text would like, but content with any width.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();

  QString full_;
};

}  // namespace vexalo
