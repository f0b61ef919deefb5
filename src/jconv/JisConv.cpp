#include "jconv/JisConv.h"

namespace vexalo {

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kSingleShift2 = 0x8E;  // EUC-JP: a half-width katakana follows
constexpr unsigned char kSingleShift3 = 0x8F;  // EUC-JP: a JIS X 0212 character follows
constexpr char kGetaMark[] = "\x81\xAC";       // stands in for a character CP932 lacks

// The arithmetic of the Shift_JIS annex of JIS X 0208, laid out as tables so
// that the hot loops spend one lookup per byte: kSjis.lead is 0 for a byte
// that is no JIS byte (outside 0x21-0x7E), which makes it the range check too.
struct SjisTables {
  unsigned char lead[256] = {};
  unsigned char trail[2][256] = {};  // by the parity of the first byte
};

constexpr SjisTables MakeSjisTables() {
  SjisTables t;
  for (int b = 0x21; b <= 0x7E; ++b) {
    t.lead[b] = static_cast<unsigned char>(((b + 1) >> 1) + (b < 0x5F ? 0x70 : 0xB0));
    t.trail[1][b] = static_cast<unsigned char>(b + (b < 0x60 ? 0x1F : 0x20));
    t.trail[0][b] = static_cast<unsigned char>(b + 0x7E);
  }
  return t;
}

constexpr SjisTables kSjis = MakeSjisTables();

bool IsJisByte(unsigned char byte) { return kSjis.lead[byte] != 0; }

// Both bytes must be JIS bytes. Writes two bytes at `out`.
void WriteSjisPair(unsigned char first, unsigned char second, char* out) {
  out[0] = static_cast<char>(kSjis.lead[first]);
  out[1] = static_cast<char>(kSjis.trail[first & 1][second]);
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
// Each mode runs its own loop up to the next byte it cannot take; escapes and
// stray bytes are dealt with between the runs.
std::string TJisConv::ConvertJisToSjis(std::string_view line) const {
  std::string result(line.size(), '\0');
  char* out = result.data();
  const auto* p = reinterpret_cast<const unsigned char*>(line.data());
  const unsigned char* const end = p + line.size();
  JisMode mode = JisMode::single;
  while (p < end) {
    switch (mode) {
      case JisMode::single:
        while (p < end && *p != kEsc) *out++ = static_cast<char>(*p++);
        break;
      case JisMode::kana:
        for (; p < end && *p != kEsc; ++p) {
          *out++ = static_cast<char>(*p >= 0x21 && *p <= 0x5F ? *p + 0x80 : *p);
        }
        break;
      case JisMode::doubleByte:
        while (end - p >= 2 && IsJisByte(p[0]) && IsJisByte(p[1])) {
          WriteSjisPair(p[0], p[1], out);
          out += 2;
          p += 2;
        }
        break;
    }
    if (p == end) break;
    if (*p == kEsc && ReadDesignation(p, end, mode)) {
      p += 3;
      continue;
    }
    // A byte the mode's loop could not take. In double-byte mode it cannot
    // start a character, or its partner cannot end one: it goes alone, since
    // pairing it would shift every later pair and turn the escape back to
    // ASCII into kanji. In the other modes it is an escape we do not read.
    if (mode != JisMode::doubleByte) *out++ = static_cast<char>(*p);
    ++p;
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
    if (byte < 0x80) {
      *out++ = static_cast<char>(byte);
      ++p;
    } else if (IsEucByte(byte)) {
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
