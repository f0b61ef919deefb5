#include "app/GuiText.h"

#include "jconv/Cp932Codec.h"

namespace vexalo {

QString FromCp932(std::string_view cp932) {
  const std::string utf8 = Cp932ToUtf8(cp932);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToCp932(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToCp932(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString FromCp932Lines(std::string_view cp932) {
  QString text = FromCp932(cp932);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

}  // namespace vexalo
