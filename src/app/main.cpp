#include <QApplication>
#include <QIcon>
#include <csignal>
#include <exception>

#include "app/MainForm.h"
#include "app/MessageBoxes.h"
#include "app/QtTranslations.h"
#include "platform/CoreDumps.h"
#include "platform/ProgramDir.h"

// The desktop program: no arguments. Returns when the main window has closed.
int main(int argc, char** argv) {
  vexalo::DisableCoreDumps();
  // A data file at the file-size limit fails its write, which is reported;
  // the signal would end the program instead.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QString::fromLatin1(vexalo::kApplicationTitle));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/vexalo.svg")));
  vexalo::InstallJapaneseQtTexts(app);
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
