#include "app/MessageBoxes.h"

#include <QMessageBox>
#include <exception>

#include "app/GuiText.h"

namespace vexalo {

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace

std::string ErrorBoxText(std::string_view message) {
  std::string text(message);
  // Either byte of a double-byte character is above ".", so the last byte
  // decides as well as the last character would.
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

void ShowMessageBox(QWidget* parent, std::string_view cp932Text) {
  ShowBox(parent, QMessageBox::NoIcon, FromCp932Lines(cp932Text));
}

bool AskYesNo(QWidget* parent, std::string_view cp932Text) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationTitle),
                  FromCp932Lines(cp932Text), QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void ShowErrorBox(QWidget* parent, std::string_view cp932Message) {
  ShowBox(parent, QMessageBox::Critical, FromCp932Lines(ErrorBoxText(cp932Message)));
}

void CallShowingErrors(QWidget* parent, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowErrorBox(parent, error.what());
  } catch (...) {
    ShowErrorBox(parent, "Unknown error");
  }
}

}  // namespace vexalo
