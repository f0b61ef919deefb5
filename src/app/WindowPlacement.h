#pragma once

#include <QWidget>

namespace vexalo {

// Moves a top-level window so that its frame sits in the middle of the screen
// it is on (the primary screen before it has one).
void CentreOnScreen(QWidget* window);

}  // namespace vexalo
