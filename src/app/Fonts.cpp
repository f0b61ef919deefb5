#include "app/Fonts.h"

#include <QStringList>

namespace vexalo {

namespace {

QFont MakeFont(const QString& family, int pixelSize, bool bold) {
  QFont font;
  font.setFamilies({family, QStringLiteral("Noto Sans CJK JP")});
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

}  // namespace

QFont GothicFont(int pixelSize, bool bold) {
  return MakeFont(QStringLiteral("ＭＳ ゴシック"), pixelSize, bold);
}

QFont ProportionalGothicFont(int pixelSize, bool bold) {
  return MakeFont(QStringLiteral("ＭＳ Ｐゴシック"), pixelSize, bold);
}

}  // namespace vexalo
