#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

namespace vexalo {

// The find box under the grid: hidden until opened, Enter asks for the next
// match of what is typed, Esc closes it again.
class FindBar final : public QWidget {
  Q_OBJECT

 public:
  explicit FindBar(QWidget* parent = nullptr);

  // Shows the box with its text selected, ready to type.
  void Open();
  // Says that the text is in no cell (or clears that note).
  void ShowNotFound(bool notFound);

  QLineEdit* Edit() const { return edit_; }

 signals:
  void FindNext(const QString& text);
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Close();

  QLineEdit* edit_;
  QLabel* note_;
};

}  // namespace vexalo
