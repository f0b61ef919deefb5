#pragma once

#include <QDateTime>
#include <QLabel>
#include <QStatusBar>
#include <QString>

#include "app/ElidingLabel.h"

namespace vexalo {

// What the main window's status bar says: the run's current text at the left
// (cut with "…" when the bar is too narrow, the whole text its tooltip), and in
// permanent fields at the right how many rows arrived out of sight and when
// the next automatic fetch is due.
class StatusBarPresenter {
 public:
  explicit StatusBarPresenter(QStatusBar* bar);

  // The run's text, replacing whatever was shown.
  void ShowText(const QString& text);
  // After a failed fetch: says so, and when, in place of the run's last text.
  void ShowFailure(const QDateTime& when);
  // Rows that arrived below the part of the grid in sight; 0 hides the field.
  void ShowNewRows(int count);
  // The time of the next automatic fetch; an invalid time empties the field.
  void ShowNextFetch(const QDateTime& when);

  QString Text() const { return text_->FullText(); }
  QString NextFetchText() const { return nextFetch_->text(); }
  // Empty while the field is hidden.
  QString NewRowsText() const { return newRows_->isHidden() ? QString() : newRows_->text(); }
  const ElidingLabel& TextLabel() const { return *text_; }

 private:
  ElidingLabel* text_;
  QLabel* newRows_;
  QLabel* nextFetch_;
};

}  // namespace vexalo
