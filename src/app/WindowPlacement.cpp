#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

namespace vexalo {

void CentreOnScreen(QWidget* window) {
  QScreen* screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

bool RestorePlace(QWidget* window, const QRect& geometry) {
  // A screen unplugged since, or a smaller one, must not leave the window
  // out of reach.
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().intersects(geometry)) {
      window->setGeometry(geometry);
      return true;
    }
  }
  return false;
}

}  // namespace vexalo
