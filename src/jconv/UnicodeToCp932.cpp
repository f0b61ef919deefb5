#include "jconv/UnicodeToCp932.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "text/ByteScan.h"
#include "text/WideVectors.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __x86_64__
#include <immintrin.h>
#endif

namespace vexalo {

namespace {

constexpr uint16_t kGetaCode = 0x81AC;

// The CP932 code of every character of the Basic Multilingual Plane, the
// geta mark for those it lacks (and for the surrogates): a value below 0x100
// is one byte, anything else a lead and a trail byte. CP932 has nothing
// beyond that plane. One entry more than the plane, so a four-byte read at
// the last code's place stays inside.
using CodeTable = std::array<uint16_t, 0x10001>;

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

// Where a conversion has got to in its input and its output. Passed and
// returned by value, so both stay in registers: through a reference, every
// byte stored would make the compiler read the position back from memory.
struct Cursor {
  size_t pos;
  char* dst;
};

// Converts `utf8` from `at.pos` on until at least `stop`, writing at
// `at.dst`; returns where it stopped in both (a character that starts before
// `stop` is taken whole). Writes at most two bytes per byte read, and up to
// sixteen bytes past the output's end.
Cursor ConvertUtf8Piece(const CodeTable& codes, std::string_view utf8, Cursor at, size_t stop) {
  size_t pos = at.pos;
  char* dst = at.dst;
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
  return {pos, dst};
}

#ifdef __x86_64__
// Japanese text alternates short runs of kana and kanji with short runs of
// ASCII, so a loop that branches on where each run ends mispredicts about
// once a run. Where the processor has the instructions for it, these steps
// take the text 32 bytes at a time wherever it holds ASCII and plain
// three-byte characters only: each position is decoded as if a character
// began there, the starts are kept, looked up together and their codes
// packed, with no branch on the text. A step always moves 32 bytes (or to
// the text's end), so the next step's loads wait on nothing; the
// continuation bytes of a character that runs past the window are handed to
// the next step. The loads are masked to the text, so its last window is
// read the same way. A window holding anything else goes to the
// character-at-a-time loop for sixteen bytes.
constexpr size_t kWindow = 32;
// A window and the continuation bytes of its last character, handed on.
constexpr size_t kLongestStep = kWindow + 2;

// The `count` bytes at `at` (all 32 when there are more), zeros for the rest.
VEXALO_WIDE_VECTORS_INLINE __m256i WindowAt(const unsigned char* at, size_t count) {
  return _mm256_maskz_loadu_epi8(count >= kWindow ? ~0u : _bzhi_u32(~0u, count), at);
}

VEXALO_WIDE_VECTORS_INLINE __m256i EveryByte(int value) {
  return _mm256_set1_epi8(static_cast<char>(value));
}

VEXALO_WIDE_VECTORS_INLINE __m512i EveryWord(int value) {
  return _mm512_set1_epi16(static_cast<int16_t>(value));
}

// Lane 2i takes lane i, for the widening of sixteen-bit lanes to 32 bits.
VEXALO_WIDE_VECTORS_INLINE __m512i EverySecondLane() {
  return _mm512_set_epi16(15, 15, 14, 14, 13, 13, 12, 12, 11, 11, 10, 10, 9, 9, 8, 8, 7, 7, 6, 6, 5,
                          5, 4, 4, 3, 3, 2, 2, 1, 1, 0, 0);
}

VEXALO_WIDE_VECTORS_INLINE uint32_t Continuations(__m256i bytes) {
  return _mm256_cmpeq_epi8_mask(_mm256_and_si256(bytes, EveryByte(0xC0)), EveryByte(0x80));
}

// As ConvertUtf8Piece, with steps of up to kLongestStep bytes past `stop`.
VEXALO_WIDE_VECTORS Cursor ConvertUtf8PieceInWindows(const CodeTable& codes, std::string_view utf8,
                                                     Cursor at, size_t stop) {
  size_t pos = at.pos;
  char* dst = at.dst;
  const auto* src = reinterpret_cast<const unsigned char*>(utf8.data());
  // The first bytes of the window that end the last window's character.
  uint32_t handedOn = 0;
  while (pos < stop) {
    const size_t left = utf8.size() - pos;
    const uint32_t inText = left >= kWindow ? ~0u : _bzhi_u32(~0u, static_cast<unsigned>(left));
    const __m256i bytes = WindowAt(src + pos, left);
    const __m256i third = WindowAt(src + pos + 2, left < 2 ? 0 : left - 2);
    const uint32_t ascii = _mm256_cmplt_epu8_mask(bytes, EveryByte(0x80)) & inText;
    // Leads 0xE1-0xEF but 0xED: 0xE0 may start an overlong form, 0xED a surrogate.
    const uint32_t leads =
        _mm256_cmpeq_epi8_mask(_mm256_and_si256(bytes, EveryByte(0xF0)), EveryByte(0xE0)) &
        ~_mm256_cmpeq_epi8_mask(bytes, EveryByte(0xE0)) &
        ~_mm256_cmpeq_epi8_mask(bytes, EveryByte(0xED));
    // By position 0-33: the continuation bytes the leads call for, and those there are.
    const uint64_t expected = uint64_t{leads} << 1 | uint64_t{leads} << 2 | handedOn;
    const uint64_t continuations = Continuations(bytes) | uint64_t{Continuations(third)} << 2;
    if (((expected ^ continuations) & 0xFFFFFFFFu) != 0 || (expected & ~continuations) != 0 ||
        (~(ascii | leads | continuations) & inText) != 0) {
      const size_t start = pos + static_cast<size_t>(_mm_popcnt_u32(handedOn));
      const Cursor moved = ConvertUtf8Piece(codes, utf8, {start, dst}, std::min(stop, start + 16));
      pos = moved.pos;
      dst = moved.dst;
      handedOn = 0;
      continue;
    }
    const uint32_t starts = ascii | leads;
    const __m512i lead = _mm512_cvtepu8_epi16(bytes);
    const __m512i three = _mm512_or_si512(
        _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(lead, EveryWord(0x0F)), 12),
                        _mm512_slli_epi16(_mm512_and_si512(_mm512_cvtepu8_epi16(
                                                               WindowAt(src + pos + 1, left - 1)),
                                                           EveryWord(0x3F)),
                                          6)),
        _mm512_and_si512(_mm512_cvtepu8_epi16(third), EveryWord(0x3F)));
    // ASCII stands for itself; the three-byte characters, eleven at most, are
    // looked up together and put back in their places. Their code points are
    // widened to the lookups' 32 bits by moving each to an even lane and
    // clearing the odd ones, and the codes narrowed back by keeping the even.
    const __m512i characters =
        _mm512_maskz_compress_epi16(starts, _mm512_mask_blend_epi16(ascii, three, lead));
    const __m512i codePoints = _mm512_maskz_permutexvar_epi16(
        0x55555555u, EverySecondLane(), _mm512_maskz_compress_epi16(leads, three));
    // Four bytes read at each code's place; the table has an entry to spare.
    const __m512i looked = _mm512_mask_i32gather_epi32(
        _mm512_setzero_si512(), static_cast<__mmask16>(_bzhi_u32(~0u, _mm_popcnt_u32(leads))),
        codePoints, codes.data(), 2);
    const __m512i found = _mm512_mask_expand_epi16(
        characters, _pext_u32(leads, starts), _mm512_maskz_compress_epi16(0x55555555u, looked));
    const auto count = static_cast<unsigned>(_mm_popcnt_u32(starts));
    // Each code's lead byte first; a one-byte code's empty lead is left out.
    const __m512i inOrder =
        _mm512_or_si512(_mm512_srli_epi16(found, 8), _mm512_slli_epi16(found, 8));
    const uint64_t kept = (_mm512_test_epi8_mask(inOrder, inOrder) & 0x5555555555555555ull) |
                          (_bzhi_u64(~0ull, 2 * count) & 0xAAAAAAAAAAAAAAAAull);
    const auto written = static_cast<size_t>(_mm_popcnt_u64(kept));
    _mm512_mask_storeu_epi8(dst, _bzhi_u64(~0ull, written),
                            _mm512_maskz_compress_epi8(kept, inOrder));
    dst += written;
    pos += std::min(kWindow, left);
    handedOn = static_cast<uint32_t>(expected >> kWindow);
  }
  return {pos + static_cast<size_t>(_mm_popcnt_u32(handedOn)), dst};
}

#else

constexpr size_t kLongestStep = 4;  // a character

Cursor ConvertUtf8PieceInWindows(const CodeTable& codes, std::string_view utf8, Cursor at,
                                 size_t stop) {
  return ConvertUtf8Piece(codes, utf8, at, stop);
}

#endif

}  // namespace

void AppendUtf8AsCp932(std::string& out, std::string_view utf8) {
  const CodeTable& codes = Codes();
  // CP932 is never longer than the UTF-8 it comes from, but for a geta mark
  // standing for a single stray byte. The text is converted a piece at a
  // time into a buffer that stays in the cache and appended from there,
  // which writes each byte of `out` once where growing `out` first would
  // write it twice.
  constexpr size_t kPiece = 4096;
  constexpr size_t kStoreRoom = 16;
  // Below two steps the steps' fixed cost (a gather's latency among it)
  // gains nothing over the character loop: the parser's benchmarks, which
  // convert line by line, were no faster with the steps for short lines.
  const bool inWindows = HasWideVectors() && utf8.size() >= 2 * kLongestStep;
  char buffer[2 * (kPiece + kLongestStep) + kStoreRoom];
  out.reserve(out.size() + utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    const size_t stop = std::min(utf8.size(), pos + kPiece);
    const Cursor end = inWindows ? ConvertUtf8PieceInWindows(codes, utf8, {pos, buffer}, stop)
                                 : ConvertUtf8Piece(codes, utf8, {pos, buffer}, stop);
    out.append(buffer, static_cast<size_t>(end.dst - buffer));
    pos = end.pos;
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
