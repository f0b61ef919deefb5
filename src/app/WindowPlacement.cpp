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

}  // namespace vexalo
