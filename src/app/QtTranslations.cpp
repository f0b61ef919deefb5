#include "app/QtTranslations.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vexalo {

void InstallJapaneseQtTexts(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                       QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace vexalo
