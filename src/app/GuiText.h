#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vexalo {

// The one place where the program's CP932 text meets Qt's Unicode strings.
// Neither direction fails: what does not convert becomes a stand-in character
// (see jconv/Cp932Codec.h).

QString FromCp932(std::string_view cp932);
std::string ToCp932(const QString& text);

// Lines inside the program's texts end with CR LF; a Qt label breaks at LF and
// would show the CR, so a text meant for a message box goes through here.
QString FromCp932Lines(std::string_view cp932);

}  // namespace vexalo
