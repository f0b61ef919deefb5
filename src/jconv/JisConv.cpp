#include "jconv/JisConv.h"

namespace vexalo {

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kSingleShift2 = 0x8E;  // EUC-JP: a half-width katakana follows
constexpr unsigned char kSingleShift3 = 0x8F;  // EUC-JP: a JIS X 0212 character follows
constexpr char kGetaMark[] = "\x81\xAC";       // stands in for a character CP932 lacks

bool IsJisByte(unsigned char byte) { return byte >= 0x21 && byte <= 0x7E; }

// The arithmetic of the Shift_JIS annex of JIS X 0208; both bytes must be
// JIS bytes. Writes two bytes at `out`.
void WriteSjisPair(unsigned char first, unsigned char second, char* out) {
  const unsigned char lead = ((first + 1) >> 1) + (first < 0x5F ? 0x70 : 0xB0);
  unsigned char trail;
  if (first & 1) {
    trail = second + (second < 0x60 ? 0x1F : 0x20);
  } else {
    trail = second + 0x7E;
  }
  out[0] = static_cast<char>(lead);
  out[1] = static_cast<char>(trail);
}

enum class JisMode { single, doubleByte, kana };

// The mode an escape sequence at `p` selects, or false when the three bytes
// there are no designation we read.
bool ReadDesignation(const unsigned char* p, const unsigned char* end, JisMode& mode) {
  if (end - p < 3 || p[0] != kEsc) return false;
  if (p[1] == '$' && (p[2] == 'B' || p[2] == '@')) {
    mode = JisMode::doubleByte;
    return true;
  }
  if (p[1] == '(' && (p[2] == 'B' || p[2] == 'J')) {
    mode = JisMode::single;
    return true;
  }
  if (p[1] == '(' && p[2] == 'I') {
    mode = JisMode::kana;
    return true;
  }
  return false;
}

}  // namespace

std::string TJisConv::JisPairToSjis(unsigned char first, unsigned char second) {
  if (!IsJisByte(first) || !IsJisByte(second)) return {};
  std::string sjis(2, '\0');
  WriteSjisPair(first, second, sjis.data());
  return sjis;
}

// No step makes the text longer (a pair stays two bytes, an escape vanishes),
// so the result is written into a buffer of the line's size and cut to length.
std::string TJisConv::ConvertJisToSjis(std::string_view line) const {
  std::string result(line.size(), '\0');
  char* out = result.data();
  const auto* p = reinterpret_cast<const unsigned char*>(line.data());
  const unsigned char* const end = p + line.size();
  JisMode mode = JisMode::single;
  while (p < end) {
    if (*p == kEsc && ReadDesignation(p, end, mode)) {
      p += 3;
      continue;
    }
    switch (mode) {
      case JisMode::single:
        *out++ = static_cast<char>(*p++);
        break;
      case JisMode::kana:
        *out++ = static_cast<char>(*p >= 0x21 && *p <= 0x5F ? *p + 0x80 : *p);
        ++p;
        break;
      case JisMode::doubleByte:
        // A byte that cannot start a character, or whose partner cannot end
        // one, goes alone: pairing it would shift every later pair and turn
        // the escape back to ASCII into kanji.
        if (end - p >= 2 && IsJisByte(p[0]) && IsJisByte(p[1])) {
          WriteSjisPair(p[0], p[1], out);
          out += 2;
          p += 2;
        } else {
          ++p;
        }
        break;
    }
  }
  result.resize(out - result.data());
  return result;
}

std::string TJisConv::ConvertEucToSjis(std::string_view line) const {
  std::string result(line.size(), '\0');
  char* out = result.data();
  const auto* p = reinterpret_cast<const unsigned char*>(line.data());
  const unsigned char* const end = p + line.size();
  while (p < end) {
    const unsigned char byte = *p;
    if (IsEucByte(byte)) {
      // A lead byte without a partner is dropped alone; taking the next byte
      // anyway would swallow ASCII (the separator, say) into a bogus kanji.
      if (end - p >= 2 && IsEucByte(p[1])) {
        WriteSjisPair(byte - 0x80, p[1] - 0x80, out);
        out += 2;
        p += 2;
      } else {
        ++p;
      }
    } else if (byte == kSingleShift2 && end - p >= 2 && IsHalfKanaByte(p[1])) {
      *out++ = static_cast<char>(p[1]);
      p += 2;
    } else if (byte == kSingleShift3 && end - p >= 3 && IsEucByte(p[1]) && IsEucByte(p[2])) {
      *out++ = kGetaMark[0];
      *out++ = kGetaMark[1];
      p += 3;
    } else {
      *out++ = static_cast<char>(byte);
      ++p;
    }
  }
  result.resize(out - result.data());
  return result;
}

}  // namespace vexalo
