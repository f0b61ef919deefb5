#pragma once

#include <QWidget>

namespace vexalo {

// Moves a top-level window so that its frame sits in the middle of the screen
// it is on (the primary screen before it has one).
void CentreOnScreen(QWidget* window);

// Gives a top-level window the place `geometry` (its client area in screen
// coordinates) when that lies at least partly on one of the screens now
// present; returns false, leaving the window alone, when it lies on none.
bool RestorePlace(QWidget* window, const QRect& geometry);

}  // namespace vexalo
