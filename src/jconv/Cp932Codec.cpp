#include "jconv/Cp932Codec.h"

#include <algorithm>

#include "jconv/IconvText.h"
#include "text/CommFuncs.h"

namespace vexalo {

namespace {

constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kGetaMark = "\x81\xAC";

// A well-formed pair that has no character (0x81 0xAD, say) is one unknown
// character; a lead byte whose partner cannot be a trail byte is a stray byte
// and the byte after it is read again (it may well be ASCII).
IconvSkip SkipCp932(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  if (rest.size() >= 2 && IsSjisLeadByte(lead) &&
      IsSjisTrailByte(static_cast<unsigned char>(rest[1]))) {
    return {2, kReplacementChar};
  }
  return {1, kReplacementChar};
}

// The length of the UTF-8 sequence that starts `rest` when its lead and
// continuation bytes are in place, or of what the end of the text left of it;
// 1 for a byte that starts none.
size_t Utf8SequenceLength(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  size_t length = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  }
  length = std::min(length, rest.size());
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

IconvSkip SkipUtf8(std::string_view rest) { return {Utf8SequenceLength(rest), kGetaMark}; }

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
  // Every ASCII byte is the same character in both, and most cells are ASCII.
  if (IsAscii(cp932)) return std::string(cp932);
  thread_local const IconvHandle handle("UTF-8", "CP932");
  return IconvConvert(handle, cp932, SkipCp932);
}

std::string Utf8ToCp932(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local const IconvHandle handle("CP932", "UTF-8");
  return IconvConvert(handle, utf8, SkipUtf8);
}

}  // namespace vexalo
