#pragma once

#include <string>

namespace vexalo {

// Text taken as it stands (mail declared Shift-JIS, text without a charset,
// the bytes ISO-2022-JP and EUC-JP lines copy) may hold bytes that are no
// CP932: 0x80, 0xA0, 0xFD-0xFF, a lead byte without its trail byte. Each such
// byte becomes the geta mark, so a row never holds a broken character that
// would swallow the byte after it. Well-formed text is left untouched.
void RepairCp932(std::string& text);

}  // namespace vexalo
