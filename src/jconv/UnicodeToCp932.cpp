#include "jconv/UnicodeToCp932.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "text/ByteScan.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vexalo {

namespace {

constexpr uint16_t kGetaCode = 0x81AC;

// The CP932 code of every character of the Basic Multilingual Plane, the
// geta mark for those it lacks (and for the surrogates): a value below 0x100
// is one byte, anything else a lead and a trail byte. CP932 has nothing
// beyond that plane.
using CodeTable = std::array<uint16_t, 0x10000>;

std::unique_ptr<CodeTable> BuildCodeTable() {
  auto table = std::make_unique<CodeTable>();
  table->fill(kGetaCode);
  const iconv_t cd = iconv_open("CP932", "UTF-32LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error("iconv cannot convert from UTF-32LE to CP932");
  }
  for (uint32_t codePoint = 0; codePoint < 0x10000; ++codePoint) {
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;
    char in[4] = {static_cast<char>(codePoint & 0xFF), static_cast<char>((codePoint >> 8) & 0xFF),
                  0, 0};
    char out[8];
    char* inPtr = in;
    size_t inLeft = sizeof in;
    char* outPtr = out;
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
    const size_t length = sizeof out - outLeft;
    const auto byte = [&](size_t i) { return static_cast<uint16_t>(static_cast<uint8_t>(out[i])); };
    if (length == 1) {
      (*table)[codePoint] = byte(0);
    } else if (length == 2) {
      (*table)[codePoint] = static_cast<uint16_t>(byte(0) << 8 | byte(1));
    }
  }
  iconv_close(cd);
  // Japanese text from other systems writes these where CP932 has its
  // look-alikes; a table that lacks them would turn common punctuation into
  // geta marks.
  constexpr std::pair<char32_t, uint16_t> kLookAlikes[] = {
      {U'\u301C', 0x8160}, {U'\u2016', 0x8161}, {U'\u2212', 0x817C}, {U'\u2014', 0x815C},
      {U'\u00A2', 0x8191}, {U'\u00A3', 0x8192}, {U'\u00AC', 0x81CA},
  };
  for (const auto& [codePoint, code] : kLookAlikes) {
    if ((*table)[codePoint] == kGetaCode) (*table)[codePoint] = code;
  }
  return table;
}

const CodeTable& Codes() {
  static const std::unique_ptr<CodeTable> table = BuildCodeTable();
  return *table;
}

// Writes one code at `dst`, returns the end of what it wrote.
char* PutCode(char* dst, uint16_t code) {
  if (code < 0x100) {
    *dst = static_cast<char>(code);
    return dst + 1;
  }
  const uint16_t bigEndian = __builtin_bswap16(code);
  std::memcpy(dst, &bigEndian, sizeof bigEndian);
  return dst + 2;
}

uint16_t CodeOf(const CodeTable& codes, char32_t codePoint) {
  return codePoint < 0x10000 ? codes[codePoint] : kGetaCode;
}

struct Decoded {
  char32_t codePoint;
  size_t length;
  bool valid;
};

// One character from a non-ASCII lead byte at text[pos]. Overlong forms,
// surrogates and values beyond U+10FFFF are not well-formed; an ill-formed
// piece takes its lead byte and the continuation bytes that fit behind it,
// so a character cut short costs one mark and the next byte is read afresh.
Decoded DecodeAt(std::string_view text, size_t pos) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = at(0);
  size_t length = 0;
  char32_t codePoint = 0;
  unsigned char low = 0x80;  // the range the first continuation byte must lie in
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {0, 1, false};
  }
  size_t i = 1;
  for (; i < length && pos + i < text.size(); ++i) {
    const unsigned char next = at(i);
    if (next < low || next > high) break;
    low = 0x80;
    high = 0xBF;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (i < length) return {0, i, false};
  return {codePoint, length, true};
}

// A three-byte character that needs no check beyond its bit pattern: lead
// 0xE1-0xEF but 0xED (0xE0 may be overlong, 0xED a surrogate), then two
// continuation bytes; `bytes` holds them first byte lowest.
bool IsPlainThreeByte(uint32_t bytes) {
  constexpr uint32_t kPlainLeads = 0xDFFE;  // by the lead's low four bits
  return (bytes & 0xC0C0F0u) == 0x8080E0u && ((kPlainLeads >> (bytes & 0x0Fu)) & 1u) != 0;
}

uint32_t Load32(const unsigned char* p) {
  uint32_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return bytes;
}

// Converts `utf8` from `pos` on until at least `stop`, writing at `dst`;
// returns the end of what it wrote, `pos` moved to where it stopped (a
// character that starts before `stop` is taken whole). Writes at most two
// bytes per byte read, and up to sixteen bytes past what it returns.
char* ConvertUtf8Piece(const CodeTable& codes, std::string_view utf8, size_t& pos, size_t stop,
                       char* dst) {
  const auto* src = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t size = utf8.size();
  // Where the runs of three-byte characters stop: within the piece, with four
  // bytes to load.
  const size_t wordLimit = std::min(stop, size < 4 ? 0 : size - 3);
  while (pos < stop) {
    const unsigned char lead = src[pos];
    if (lead < 0x80) {
#ifdef __SSE2__
      if (pos + 16 <= size) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + pos));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), bytes);
        const int high = _mm_movemask_epi8(bytes);
        const size_t ascii =
            high == 0 ? 16 : static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(high)));
        dst += ascii;
        pos += ascii;
        continue;
      }
#endif
      *dst++ = static_cast<char>(lead);
      ++pos;
      continue;
    }
    // Japanese text is three-byte characters nearly throughout: while they
    // last, each costs one load, one check and one look-up.
    if (pos < wordLimit && IsPlainThreeByte(Load32(src + pos))) {
      do {
        const uint32_t bytes = Load32(src + pos);
        const uint32_t codePoint =
            (bytes & 0x0Fu) << 12 | (bytes & 0x3F00u) >> 2 | (bytes >> 16 & 0x3Fu);
        dst = PutCode(dst, codes[codePoint]);
        pos += 3;
      } while (pos < wordLimit && IsPlainThreeByte(Load32(src + pos)));
      continue;
    }
    const Decoded decoded = DecodeAt(utf8, pos);
    dst = PutCode(dst, decoded.valid ? CodeOf(codes, decoded.codePoint) : kGetaCode);
    pos += decoded.length;
  }
  return dst;
}

}  // namespace

void AppendUtf8AsCp932(std::string& out, std::string_view utf8) {
  const CodeTable& codes = Codes();
  // CP932 is never longer than the UTF-8 it comes from, but for a geta mark
  // standing for a single stray byte. The text is converted a piece at a
  // time into a buffer that stays in the cache and appended from there,
  // which writes each byte of `out` once where growing `out` first would
  // write it twice.
  constexpr size_t kPiece = 4096;
  constexpr size_t kLongestCharacter = 4;
  constexpr size_t kStoreRoom = 16;
  char buffer[2 * (kPiece + kLongestCharacter) + kStoreRoom];
  out.reserve(out.size() + utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    const size_t stop = std::min(utf8.size(), pos + kPiece);
    const char* end = ConvertUtf8Piece(codes, utf8, pos, stop, buffer);
    out.append(buffer, static_cast<size_t>(end - buffer));
  }
}

bool IsWellFormedUtf8(std::string_view text) {
  size_t pos = AsciiRunEnd(text, 0);
  while (pos < text.size()) {
    const Decoded decoded = DecodeAt(text, pos);
    if (!decoded.valid) return false;
    pos = AsciiRunEnd(text, pos + decoded.length);
  }
  return true;
}

void AppendCodePointAsCp932(std::string& out, char32_t codePoint) {
  char code[2];
  out.append(code, static_cast<size_t>(PutCode(code, CodeOf(Codes(), codePoint)) - code));
}

}  // namespace vexalo
