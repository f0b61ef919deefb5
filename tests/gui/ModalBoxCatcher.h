#pragma once

#include <QFileDialog>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

namespace vexalo {

// Stands in for the user in front of modal dialogs: while it lives, every
// message box that appears is noted and closed with its OK button (or the
// answer set, when the box has that button), and every
// file dialog is handed to the file dialog handler (or cancelled), so a
// handler that shows one returns.
class ModalBoxCatcher final : public QObject {
 public:
  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
  };

  ModalBoxCatcher();

  // Runs on each file dialog that appears; it should accept or reject it.
  void OnFileDialog(std::function<void(QFileDialog&)> handler) {
    fileDialogHandler_ = std::move(handler);
  }

  // The button to press in a box that has it, e.g. Yes in a question box.
  void AnswerWith(QMessageBox::StandardButton answer) { answer_ = answer; }

  const std::vector<Box>& Seen() const { return seen_; }
  // The texts seen, joined by "|", for short comparisons.
  QString Texts() const;

 private:
  void CloseOpenBoxes();

  QTimer poll_;
  std::vector<Box> seen_;
  std::function<void(QFileDialog&)> fileDialogHandler_;
  QMessageBox::StandardButton answer_ = QMessageBox::Ok;
};

}  // namespace vexalo
