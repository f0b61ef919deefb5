#include "jconv/Cp932Repair.h"

#include "text/ByteScan.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

bool IsSingleByte(unsigned char byte) { return byte < 0x80 || (byte >= 0xA1 && byte <= 0xDF); }

// The length of the character at text[pos], or 0 when no character starts there.
size_t CharacterLength(const std::string& text, size_t pos) {
  const auto byte = static_cast<unsigned char>(text[pos]);
  if (IsSingleByte(byte)) return 1;
  if (IsSjisLeadByte(byte) && pos + 1 < text.size() &&
      IsSjisTrailByte(static_cast<unsigned char>(text[pos + 1]))) {
    return 2;
  }
  return 0;
}

}  // namespace

void RepairCp932(std::string& text) {
  size_t pos = 0;
  while ((pos = AsciiRunEnd(text, pos)) < text.size()) {
    const size_t length = CharacterLength(text, pos);
    if (length == 0) break;
    pos += length;
  }
  if (pos == text.size()) return;  // the usual case: nothing copied
  std::string repaired = text.substr(0, pos);
  while (pos < text.size()) {
    const size_t length = CharacterLength(text, pos);
    if (length == 0) {
      repaired += "\x81\xAC";
      ++pos;
    } else {
      repaired.append(text, pos, length);
      pos += length;
    }
  }
  text = std::move(repaired);
}

}  // namespace vexalo
