#pragma once

#include <QDateTime>
#include <QLabel>
#include <QStatusBar>
#include <QString>

namespace vexalo {

// What the main window's status bar says: the run's current text at the left
// (also as its tooltip, should the window be narrowed until it is cut), and in
// a permanent field at the right when the next automatic fetch is due.
class StatusBarPresenter {
 public:
  explicit StatusBarPresenter(QStatusBar* bar);

  // The run's text, replacing whatever was shown.
  void ShowText(const QString& text);
  // After a failed fetch: says so, and when, in place of the run's last text.
  void ShowFailure(const QDateTime& when);
  // The time of the next automatic fetch; an invalid time empties the field.
  void ShowNextFetch(const QDateTime& when);

  QString Text() const { return text_->text(); }
  QString NextFetchText() const { return nextFetch_->text(); }
  const QLabel& TextLabel() const { return *text_; }

 private:
  QLabel* text_;
  QLabel* nextFetch_;
};

}  // namespace vexalo
