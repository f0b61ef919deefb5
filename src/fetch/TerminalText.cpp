#include "fetch/TerminalText.h"

#include <cstdio>

namespace vexalo {

namespace {

// UTF-8 of U+0080-U+009F: this lead byte, then 0x80-0x9F.
constexpr unsigned char kC1Lead = 0xC2;

bool IsC0OrDelete(unsigned char byte) {
  return (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F;
}

bool IsC1Follower(unsigned char byte) { return byte >= 0x80 && byte <= 0x9F; }

}  // namespace

std::string EscapeControls(std::string_view utf8) {
  std::string shown;
  shown.reserve(utf8.size());
  char escape[8];
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (IsC0OrDelete(byte)) {
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    } else if (byte == kC1Lead && i + 1 < utf8.size() &&
               IsC1Follower(static_cast<unsigned char>(utf8[i + 1]))) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(utf8[++i]));
      shown += escape;
    } else {
      shown.push_back(utf8[i]);
    }
  }
  return shown;
}

}  // namespace vexalo
