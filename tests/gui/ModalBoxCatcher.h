#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

namespace vexalo {

// Stands in for the user in front of message boxes: while it lives, every
// message box that appears is noted and closed with its OK button, so a
// handler that shows one returns.
class ModalBoxCatcher final : public QObject {
 public:
  struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon;
  };

  ModalBoxCatcher();

  const std::vector<Box>& Seen() const { return seen_; }
  // The texts seen, joined by "|", for short comparisons.
  QString Texts() const;

 private:
  void CloseOpenBoxes();

  QTimer poll_;
  std::vector<Box> seen_;
};

}  // namespace vexalo
