#include <QApplication>
#include <QIcon>
#include <exception>

#include "app/MainForm.h"
#include "app/MessageBoxes.h"
#include "settings/ProgramDir.h"

// The desktop program: no arguments. Returns when the main window has closed.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(vexalo::kApplicationTitle));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vexalo.svg")));
  std::string dataDir;
  try {
    dataDir = vexalo::DataDir();
  } catch (const std::exception& error) {
    vexalo::ShowErrorBox(nullptr, error.what());
    return 1;
  }
  // The settings dialog is created with the main window, hidden; both live
  // until the program ends.
  vexalo::TMainForm mainForm(dataDir);
  mainForm.show();
  return QApplication::exec();
}
