#pragma once

#include <QFont>

namespace vexalo {

// The program's two typefaces, asked for by their Japanese Windows names
// first; where those are missing (the normal case on Linux) fontconfig's
// Japanese choice, Noto Sans CJK JP, stands in at the same pixel size.
QFont GothicFont(int pixelSize, bool bold);              // "ＭＳ ゴシック"
QFont ProportionalGothicFont(int pixelSize, bool bold);  // "ＭＳ Ｐゴシック"

}  // namespace vexalo
