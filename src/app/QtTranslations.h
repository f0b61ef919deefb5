#pragma once

#include <QCoreApplication>

namespace vexalo {

// Qt's own texts (the file dialog's buttons, its overwrite question, the
// standard button captions) in Japanese, like the rest of the program, when
// the system has Qt's Japanese translations; otherwise Qt's English stays.
void InstallJapaneseQtTexts(QCoreApplication& app);

}  // namespace vexalo
