#include "jconv/JisConv.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "jconv/Cp932Repair.h"
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

// Where a conversion stands: the next byte to read and the next to write.
struct Cursor {
  const unsigned char* in;
  char* out;
};

// The lines are read in windows of 64 bytes, one bit per byte in each mask
// (see ConvertJisWindow). A window may read this many bytes from its start:
// the sixteen-byte loads of a run that starts at its last byte.
constexpr size_t kWindow = 64;
constexpr size_t kWindowReach = kWindow + 16;

// The runs between escapes and stray bytes. Each takes `left` bytes of input
// at `p` (all to the line's end) and writes at `out`, which never runs ahead
// of the input; each returns the bytes of input it took. A byte at a time
// first: short runs and the ends of runs.

// Copies up to the first byte equal to `stop`; or-s every byte copied into
// `copied`.
size_t CopyUntilBytewise(const unsigned char* p, size_t left, char* out, unsigned char stop,
                         unsigned char& copied) {
  size_t done = 0;
  for (; done < left && p[done] != stop; ++done) {
    copied |= p[done];
    out[done] = static_cast<char>(p[done]);
  }
  return done;
}

// Copies up to the first byte from 0x80 up.
size_t CopyAsciiBytewise(const unsigned char* p, size_t left, char* out) {
  size_t done = 0;
  for (; done < left && p[done] < 0x80; ++done) out[done] = static_cast<char>(p[done]);
  return done;
}

// Converts pairs for as long as both bytes of each are JIS bytes once
// `offset` (0 for ISO-2022-JP, 0x80 for EUC-JP) is taken off them. Stops
// before a pair that is not, so what stops it is dealt with as one byte.
size_t ConvertPairsBytewise(const unsigned char* p, size_t left, char* out, unsigned char offset) {
  const auto jis = [&](size_t at) { return static_cast<unsigned char>(p[at] - offset); };
  size_t done = 0;
  for (; left - done >= 2 && IsJisByte(jis(done)) && IsJisByte(jis(done + 1)); done += 2) {
    WriteSjisPair(jis(done), jis(done + 1), out + done);
  }
  return done;
}

#ifdef __SSE2__

// Long runs (a remark line, a run of kanji) sixteen bytes at a time while
// sixteen may be read; the rest a byte at a time. `readable` (never less than
// `left`) is how many bytes may be read at `p`, and as many written at `out`:
// a short line is converted in a buffer with room behind it, so its last run
// needs no byte-at-a-time tail. What is read past `left` is zeros, which stop
// every run but the ASCII copies, and those cut their count at `left`.

// How many bytes come before the first with its bit set in `mask` (16 when
// none).
size_t LeadingClear(int mask) {
  return static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask) | 0x10000u));
}

__m128i Load16(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

void Store16(char* out, __m128i bytes) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes); }

uint64_t Load64(const unsigned char* p) {
  uint64_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return bytes;
}

uint64_t Load32(const unsigned char* p) {
  uint32_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return bytes;
}

// `bytes` moved down by `count` bytes (0-15), zeros coming in behind. The
// shifts of SSE2 take a variable count for whole 64-bit lanes only, and give
// zero for a count of 64 and more, which does the selecting here.
__m128i ShiftDown(__m128i bytes, size_t count) {
  const auto bits = static_cast<long long>(count) * 8;
  const __m128i high = _mm_srli_si128(bytes, 8);
  return _mm_or_si128(_mm_or_si128(_mm_srl_epi64(bytes, _mm_cvtsi64_si128(bits)),
                                   _mm_sll_epi64(high, _mm_cvtsi64_si128(64 - bits))),
                      _mm_srl_epi64(high, _mm_cvtsi64_si128(bits - 64)));
}

// The `count` bytes (1-16) at `p`, zeros behind them, read without touching
// a byte outside [begin, p + count). Loads that match the sixteen-byte
// stores of a copy let the copy be read at once, where a byte-sized copy
// would make every load wait until it is written out.
__m128i LoadPart(const unsigned char* begin, const unsigned char* p, size_t count) {
  if (count == 16) return Load16(p);
  if (p + count - begin >= 16) return ShiftDown(Load16(p + count - 16), 16 - count);
  uint64_t low = 0;
  uint64_t high = 0;
  if (count > 8) {
    low = Load64(p);
    high = Load64(p + count - 8) >> (8 * (16 - count));
  } else if (count >= 4) {
    low = Load32(p) | Load32(p + count - 4) << (8 * (count - 4));
  } else {
    low = uint64_t{p[0]} | uint64_t{p[count / 2]} << (8 * (count / 2)) |
          uint64_t{p[count - 1]} << (8 * (count - 1));
  }
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

size_t CopyUntil(const unsigned char* p, size_t left, size_t readable, char* out,
                 unsigned char stop, unsigned char& copied) {
  size_t done = 0;
  for (; readable - done >= 16; done += 16) {
    const __m128i bytes = Load16(p + done);
    const size_t count = std::min(LeadingClear(_mm_movemask_epi8(_mm_cmpeq_epi8(
                                      bytes, _mm_set1_epi8(static_cast<char>(stop))))),
                                  left - done);
    Store16(out + done, bytes);
    if ((_mm_movemask_epi8(bytes) & ((1 << count) - 1)) != 0) copied |= 0x80;
    if (count < 16) return done + count;
  }
  return done + CopyUntilBytewise(p + done, left - done, out + done, stop, copied);
}

size_t CopyAscii(const unsigned char* p, size_t left, size_t readable, char* out) {
  size_t done = 0;
  for (; readable - done >= 16; done += 16) {
    const __m128i bytes = Load16(p + done);
    const size_t count = std::min(LeadingClear(_mm_movemask_epi8(bytes)), left - done);
    Store16(out + done, bytes);
    if (count < 16) return done + count;
  }
  return done + CopyAsciiBytewise(p + done, left - done, out + done);
}

// The Shift-JIS codes of eight JIS X 0208 pairs, one to each sixteen-bit lane
// (first byte low): the arithmetic of kSjis.
[[gnu::always_inline]] inline __m128i SjisPairs(__m128i pairs) {
  const __m128i first = _mm_and_si128(pairs, _mm_set1_epi16(0x00FF));
  const __m128i second = _mm_srli_epi16(pairs, 8);
  // ((first + 1) >> 1) + (first < 0x5F ? 0x70 : 0xB0)
  const __m128i lead = _mm_add_epi16(
      _mm_add_epi16(_mm_avg_epu16(first, _mm_setzero_si128()), _mm_set1_epi16(0x70)),
      _mm_and_si128(_mm_cmpgt_epi16(first, _mm_set1_epi16(0x5E)), _mm_set1_epi16(0x40)));
  // An odd first byte: second + (second < 0x60 ? 0x1F : 0x20); an even one:
  // second + 0x7E. That is 0x7E less 0x5F or 0x5E for an odd one.
  const __m128i odd = _mm_srai_epi16(_mm_slli_epi16(pairs, 15), 15);
  const __m128i oddLess =
      _mm_add_epi16(_mm_set1_epi16(0x5F), _mm_cmpgt_epi16(second, _mm_set1_epi16(0x5F)));
  const __m128i add = _mm_sub_epi16(_mm_set1_epi16(0x7E), _mm_and_si128(odd, oddLess));
  return _mm_or_si128(lead, _mm_slli_epi16(_mm_add_epi16(second, add), 8));
}

size_t ConvertPairs(const unsigned char* p, size_t left, size_t readable, char* out,
                    unsigned char offset) {
  size_t done = 0;
  for (; readable - done >= 16; done += 16) {
    const __m128i bytes = _mm_sub_epi8(Load16(p + done), _mm_set1_epi8(static_cast<char>(offset)));
    const __m128i isJis = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x20)),
                                        _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x7F)));
    const size_t count = LeadingClear(~_mm_movemask_epi8(isJis)) & ~size_t{1};
    Store16(out + done, SjisPairs(bytes));
    if (count < 16) return done + count;
  }
  return done + ConvertPairsBytewise(p + done, left - done, out + done, offset);
}

// Each bit of a byte spread to all eight bits of that byte of the result.
struct ByteMasks {
  uint64_t of[256] = {};
};

constexpr ByteMasks MakeByteMasks() {
  ByteMasks t;
  for (int bits = 0; bits < 256; ++bits) {
    for (int i = 0; i < 8; ++i) {
      if ((bits >> i & 1) != 0) t.of[bits] |= uint64_t{0xFF} << (8 * i);
    }
  }
  return t;
}

constexpr ByteMasks kByteMasks = MakeByteMasks();

__m128i SpreadBits(unsigned bits) {
  return _mm_set_epi64x(static_cast<long long>(kByteMasks.of[bits >> 8]),
                        static_cast<long long>(kByteMasks.of[bits & 0xFF]));
}

uint64_t Mask64(__m128i bytes) {
  return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(bytes)));
}

// 0xFF in each byte that is a JIS byte (0x21-0x7E).
__m128i IsJis16(__m128i bytes) {
  return _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x20)),
                       _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x7F)));
}

// Bits 0 to count - 1 (count at most 64).
uint64_t LowBits(size_t count) { return count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1; }

// JIS X 0201 katakana: 0x21-0x5F become 0xA1-0xDF, other bytes stay.
__m128i KanaBytes(__m128i bytes) {
  const __m128i isKana = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x20)),
                                       _mm_cmplt_epi8(bytes, _mm_set1_epi8(0x60)));
  return _mm_add_epi8(bytes, _mm_and_si128(isKana, _mm_set1_epi8(static_cast<char>(0x80))));
}

// Mail lines are short runs between escapes: read one at a time, each run
// ends in a hard-to-guess branch and waits on the load that found its end
// before the next can start. A window instead finds every escape, 8-bit byte
// and non-JIS byte of its 64 bytes in one pass, and then converts each run
// between its escapes with loads that depend on nothing but those masks.
//
// Converts the window at `at` when it holds only what the run loops would
// take without a second look: no byte from 0x80 up, only the designations
// ReadDesignation knows, and JIS bytes alone in double-byte mode (a last odd
// byte before an escape or the line's end dropped, as the run loops drop
// it). Moves `at` and `mode` on and returns true; otherwise leaves all as it
// was and returns false. kWindowReach bytes must be readable at `at.in`.
bool ConvertJisWindow(Cursor& at, const unsigned char* end, JisMode& mode) {
  const unsigned char* p = at.in;
  const size_t length = std::min(kWindow, static_cast<size_t>(end - p));
  const uint64_t inLine = LowBits(length);
  uint64_t escapes = 0;
  uint64_t eightBit = 0;
  uint64_t jis = 0;
  for (size_t k = 0; k < kWindow; k += 16) {
    const __m128i bytes = Load16(p + k);
    escapes |= Mask64(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(kEsc))) << k;
    eightBit |= Mask64(bytes) << k;
    jis |= Mask64(IsJis16(bytes)) << k;
  }
  if ((eightBit & inLine) != 0) return false;
  escapes &= inLine;
  JisMode runMode = mode;
  char* out = at.out;
  size_t from = 0;  // the start of the run; past `length` after a designation cut by it
  size_t to = 0;
  uint64_t pairLanes = 0;  // the bytes read as pairs, which must all be JIS bytes
  bool unknown = false;    // a designation the run loops would not read
  for (;;) {
    to = escapes != 0 ? static_cast<size_t>(__builtin_ctzll(escapes)) : length;
    const unsigned char* run = p + from;
    size_t count = to > from ? to - from : 0;
    switch (runMode) {
      case JisMode::single:
        for (size_t i = 0; i < count; i += 16) Store16(out + i, Load16(run + i));
        break;
      case JisMode::kana:
        for (size_t i = 0; i < count; i += 16) Store16(out + i, KanaBytes(Load16(run + i)));
        break;
      case JisMode::doubleByte:
        pairLanes |= LowBits(to) & ~LowBits(from);
        count &= ~size_t{1};
        for (size_t i = 0; i < count; i += 16) Store16(out + i, SjisPairs(Load16(run + i)));
        break;
    }
    out += count;
    if (escapes == 0) break;
    escapes &= escapes - 1;
    // What ReadDesignation reads, without a branch to mispredict per escape.
    const unsigned set = p[to + 1] | p[to + 2] << 8;
    const bool toDouble = (set == ('$' | 'B' << 8)) | (set == ('$' | '@' << 8));
    const bool toKana = set == ('(' | 'I' << 8);
    const bool toSingle = (set == ('(' | 'B' << 8)) | (set == ('(' | 'J' << 8));
    unknown |= !(toDouble | toKana | toSingle);
    runMode = toDouble ? JisMode::doubleByte : toKana ? JisMode::kana : JisMode::single;
    from = to + 3;
  }
  if (unknown || (~jis & pairLanes) != 0) return false;
  size_t taken = std::max(from, to);
  // A pair cut by the window's end is the next window's.
  if (runMode == JisMode::doubleByte && p + length < end && to > from) {
    taken = from + ((to - from) & ~size_t{1});
  }
  at = {p + taken, out};
  mode = runMode;
  return true;
}

// The bytes of a window's runs of double-byte text (one bit per byte) as
// first and second bytes of pairs, which count from each run's first byte:
// adding a run's start bit to the run carries through it, so the runs that
// start at an even place are those the addition clears. `unpaired` are the
// first bytes with no second behind them.
struct Pairs {
  uint64_t firsts;
  uint64_t seconds;
  uint64_t unpaired;
};

Pairs PairsIn(uint64_t runs) {
  constexpr uint64_t kEven = 0x5555555555555555u;
  const uint64_t starts = runs & ~(runs << 1);
  const uint64_t evenRuns = runs & ~(runs + (starts & kEven));
  const uint64_t firsts = (evenRuns & kEven) | (runs & ~evenRuns & ~kEven);
  const uint64_t seconds = runs & ~firsts;
  return {firsts, seconds, firsts & ~(seconds >> 1)};
}

// The EUC-JP window: ASCII and whole JIS X 0208 pairs only, the last byte
// of the window a lead byte whose partner is beyond it at most. Each byte
// becomes what kSjis makes of it as a lead, a trail or ASCII, sixteen at a
// time, and the result is as long as the input. Returns false, changing
// nothing, when the window holds anything else.
bool ConvertEucWindow(Cursor& at, const unsigned char* end) {
  const unsigned char* p = at.in;
  const size_t length = std::min(kWindow, static_cast<size_t>(end - p));
  const uint64_t inLine = LowBits(length);
  const __m128i offset = _mm_set1_epi8(static_cast<char>(0x80));
  __m128i jis[4];
  uint64_t eightBit = 0;
  uint64_t euc = 0;
  for (size_t k = 0; k < 4; ++k) {
    const __m128i bytes = Load16(p + 16 * k);
    jis[k] = _mm_sub_epi8(bytes, offset);
    eightBit |= Mask64(bytes) << (16 * k);
    euc |= Mask64(IsJis16(jis[k])) << (16 * k);
  }
  euc &= inLine;
  if ((eightBit & inLine) != euc) return false;
  const Pairs pairs = PairsIn(euc);
  const uint64_t last = uint64_t{1} << (length - 1);
  if ((pairs.unpaired & ~last) != 0) return false;  // a lead byte to drop
  // Within a line the lead byte last is left to the next window; at its end
  // it is dropped.
  const size_t written = pairs.unpaired != 0 ? length - 1 : length;
  const size_t taken = pairs.unpaired != 0 && p + length < end ? length - 1 : length;
  const auto convert = [&](size_t k) {
    // The byte before each: a trail byte's lead. None is needed in front of
    // the window, which starts a character.
    const __m128i before =
        k == 0 ? _mm_slli_si128(jis[0], 1)
               : _mm_or_si128(_mm_slli_si128(jis[k], 1), _mm_srli_si128(jis[k - 1], 15));
    // Lead bytes as kSjis.lead has them: ((jis + 1) >> 1) + 0x70, 0x40 more
    // from row 0x5F on.
    const __m128i lead = _mm_add_epi8(
        _mm_add_epi8(_mm_avg_epu8(jis[k], _mm_setzero_si128()), _mm_set1_epi8(0x70)),
        _mm_and_si128(_mm_cmpgt_epi8(jis[k], _mm_set1_epi8(0x5E)), _mm_set1_epi8(0x40)));
    // Trail bytes as kSjis.trail has them, by the parity of the lead.
    const __m128i oddBefore =
        _mm_cmpeq_epi8(_mm_and_si128(before, _mm_set1_epi8(1)), _mm_set1_epi8(1));
    const __m128i oddAdd =
        _mm_sub_epi8(_mm_set1_epi8(0x1F), _mm_cmpgt_epi8(jis[k], _mm_set1_epi8(0x5F)));
    const __m128i add = _mm_or_si128(_mm_and_si128(oddBefore, oddAdd),
                                     _mm_andnot_si128(oddBefore, _mm_set1_epi8(0x7E)));
    const __m128i trail = _mm_add_epi8(jis[k], add);
    const __m128i isFirst = SpreadBits(static_cast<unsigned>(pairs.firsts >> (16 * k)) & 0xFFFFu);
    const __m128i kanji =
        _mm_or_si128(_mm_and_si128(isFirst, lead), _mm_andnot_si128(isFirst, trail));
    const __m128i bytes = _mm_add_epi8(jis[k], offset);
    const __m128i isAscii = _mm_cmpgt_epi8(bytes, _mm_set1_epi8(-1));
    Store16(at.out + 16 * k,
            _mm_or_si128(_mm_and_si128(isAscii, bytes), _mm_andnot_si128(isAscii, kanji)));
  };
  // Mail lines are mostly no longer than 32 bytes.
  convert(0);
  convert(1);
  if (length > 32) {
    convert(2);
    convert(3);
  }
  at = {p + taken, at.out + written};
  return true;
}

#else

size_t CopyUntil(const unsigned char* p, size_t left, size_t /*readable*/, char* out,
                 unsigned char stop, unsigned char& copied) {
  return CopyUntilBytewise(p, left, out, stop, copied);
}

size_t CopyAscii(const unsigned char* p, size_t left, size_t /*readable*/, char* out) {
  return CopyAsciiBytewise(p, left, out);
}

size_t ConvertPairs(const unsigned char* p, size_t left, size_t /*readable*/, char* out,
                    unsigned char offset) {
  return ConvertPairsBytewise(p, left, out, offset);
}

bool ConvertJisWindow(Cursor& /*at*/, const unsigned char* /*end*/, JisMode& /*mode*/) {
  return false;
}

bool ConvertEucWindow(Cursor& /*at*/, const unsigned char* /*end*/) { return false; }

#endif

#ifndef __x86_64__
bool ConvertJisWindowWide(Cursor& /*at*/, const unsigned char* /*end*/, JisMode& /*mode*/) {
  return false;
}
#endif

#ifdef __x86_64__
VEXALO_WIDE_VECTORS_INLINE __m512i EveryByte(int value) {
  return _mm512_set1_epi8(static_cast<char>(value));
}

// The bits of `bits` that have an odd number of set bits at or below them:
// the regions that `bits` switches on and off, each switch at a set bit.
VEXALO_WIDE_VECTORS_INLINE uint64_t PrefixParity(uint64_t bits) {
  const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(bits)),
                                               _mm_set1_epi8(static_cast<char>(0xFF)), 0);
  return static_cast<uint64_t>(_mm_cvtsi128_si64(product));
}

VEXALO_WIDE_VECTORS_INLINE uint64_t BytesAre(__m512i bytes, int value) {
  return _mm512_cmpeq_epi8_mask(bytes, EveryByte(value));
}

// The bytes in one mode, given the `escapes` and those among them that
// `chosen` it: each byte is in the mode of the last escape at or before it,
// or in the window's mode (`before`) when there is none. The region switches
// where an escape's choice differs from the escape's before it.
VEXALO_WIDE_VECTORS_INLINE uint64_t ModeRegion(uint64_t escapes, uint64_t chosen, bool before) {
  const uint64_t inOrder = _pext_u64(chosen, escapes);
  const uint64_t switches = _pdep_u64(inOrder ^ (inOrder << 1 | uint64_t{before}), escapes);
  return PrefixParity(switches) ^ (before ? ~uint64_t{0} : 0);
}

// ConvertJisWindow's work with the byte-compressing instructions, and no
// loop over the escapes: each byte's mode comes from the escapes before it,
// found all at once in masks, and the converted bytes are packed together,
// the designations and dropped bytes left out, in one compress. What it
// takes it converts as the run loops would. The load is masked to the line,
// so no byte past its end is read and a line needs no padded copy.
VEXALO_WIDE_VECTORS bool ConvertJisWindowWide(Cursor& at, const unsigned char* end, JisMode& mode) {
  const unsigned char* p = at.in;
  const auto left = static_cast<size_t>(end - p);
  size_t length = std::min(kWindow, left);
  uint64_t inLine = LowBits(length);
  const __m512i bytes = _mm512_maskz_loadu_epi8(inLine, p);
  if (_mm512_movepi8_mask(bytes) != 0) return false;
  // Each escape and the two bytes after it, by the escape's place. An escape
  // in the window's last two bytes has its designation beyond them: the
  // window ends before it, and the next one starts with it.
  uint64_t escapes = BytesAre(bytes, kEsc);
  if (const uint64_t lastTwo = escapes >> (kWindow - 2); lastTwo != 0) {
    length = kWindow - 2 + static_cast<size_t>(__builtin_ctzll(lastTwo));
    inLine = LowBits(length);
    escapes &= inLine;
  }
  const uint64_t dollar = BytesAre(bytes, '$') >> 1;
  const uint64_t paren = BytesAre(bytes, '(') >> 1;
  const uint64_t finalB = BytesAre(bytes, 'B') >> 2;
  const uint64_t toDouble = escapes & dollar & (finalB | BytesAre(bytes, '@') >> 2);
  const uint64_t toKana = escapes & paren & BytesAre(bytes, 'I') >> 2;
  const uint64_t toSingle = escapes & paren & (finalB | BytesAre(bytes, 'J') >> 2);
  if ((toDouble | toKana | toSingle) != escapes) return false;
  const uint64_t designations = escapes | escapes << 1 | escapes << 2;
  const uint64_t content = inLine & ~designations;
  const uint64_t doubleBytes = ModeRegion(escapes, toDouble, mode == JisMode::doubleByte) & content;
  // Half-width katakana by escape are rare in mail: no region to find without them.
  const uint64_t kanaBytes = toKana != 0 || mode == JisMode::kana
                                 ? ModeRegion(escapes, toKana, mode == JisMode::kana) & content
                                 : 0;
  const uint64_t jis = _mm512_cmpgt_epu8_mask(bytes, EveryByte(0x20)) &
                       _mm512_cmplt_epu8_mask(bytes, EveryByte(0x7F));
  if ((doubleBytes & ~jis) != 0) return false;
  const auto [firsts, seconds, unpaired] = PairsIn(doubleBytes);
  const uint64_t oddFirsts = firsts & _mm512_test_epi8_mask(bytes, EveryByte(1));
  // Lead bytes: ((jis + 1) >> 1) + 0x70, 0x40 more from row 0x5F on. Trail
  // bytes: + 0x7E after an even lead; after an odd one + 0x1F, 0x20 from 0x60.
  const __m512i half =
      _mm512_add_epi8(_mm512_avg_epu8(bytes, _mm512_setzero_si512()), EveryByte(0x70));
  const __m512i lead = _mm512_mask_add_epi8(half, _mm512_cmpgt_epu8_mask(bytes, EveryByte(0x5E)),
                                            half, EveryByte(0x40));
  const __m512i oddTrailAdd = _mm512_mask_blend_epi8(_mm512_cmpgt_epu8_mask(bytes, EveryByte(0x5F)),
                                                     EveryByte(0x1F), EveryByte(0x20));
  const __m512i trail =
      _mm512_add_epi8(bytes, _mm512_mask_blend_epi8(oddFirsts << 1, EveryByte(0x7E), oddTrailAdd));
  const uint64_t halfKana = kanaBytes & _mm512_cmpgt_epu8_mask(bytes, EveryByte(0x20)) &
                            _mm512_cmplt_epu8_mask(bytes, EveryByte(0x60));
  __m512i converted = _mm512_mask_add_epi8(bytes, halfKana, bytes, EveryByte(0x80));
  converted = _mm512_mask_mov_epi8(converted, firsts, lead);
  converted = _mm512_mask_mov_epi8(converted, seconds, trail);
  // A lone first byte is dropped, unless the window cut its pair: then it
  // is the next window's.
  const bool pairCut = (unpaired >> 63) != 0 && left > kWindow;
  const uint64_t kept = content & ~unpaired;
  const auto written = static_cast<size_t>(_mm_popcnt_u64(kept));
  _mm512_mask_storeu_epi8(at.out, LowBits(written), _mm512_maskz_compress_epi8(kept, converted));
  at = {p + length - (pairCut ? 1 : 0), at.out + written};
  if (escapes != 0) {
    const uint64_t last = uint64_t{1} << (63 - __builtin_clzll(escapes));
    mode = (toDouble & last) != 0 ? JisMode::doubleByte
           : (toKana & last) != 0 ? JisMode::kana
                                  : JisMode::single;
  }
  return true;
}
#endif

// A line this long or shorter is copied into a buffer on the stack with
// zeros behind it and read there, so that it is read in windows to its end
// and its last run needs no byte-at-a-time tail. A longer line is read where
// it is, its last bytes by the run loops.
constexpr size_t kShortLine = 256;
// Room behind the converted text for the stores of a window: sixteen bytes
// past a run, or the EUC-JP window's first 32 bytes stored whole.
constexpr size_t kOutRoom = 32;

// The `size` bytes at `in` into `padded`, followed by kWindowReach zeros.
void CopyPadded(const unsigned char* in, size_t size, unsigned char* padded) {
#ifdef __SSE2__
  size_t at = 0;
  for (; at < size; at += 16) {
    Store16(reinterpret_cast<char*>(padded + at),
            LoadPart(in, in + at, std::min<size_t>(16, size - at)));
  }
  for (size_t zero = 0; zero < kWindowReach; zero += 16) {
    Store16(reinterpret_cast<char*>(padded + at + zero), _mm_setzero_si128());
  }
#else
  // An empty line may have no data at all: memcpy wants a pointer even for
  // nothing.
  if (size != 0) std::memcpy(padded, in, size);
  std::memset(padded + size, 0, kWindowReach);
#endif
}

// Runs `convert(in, end, readEnd, out)`, which returns the end of what it
// wrote, over `line`, writing straight into `text` with room behind for the
// sixteen-byte stores; no step makes the text longer, so `text` is then cut
// to length. Whatever `text` held is replaced, its memory reused. A short
// line is read from a padded copy unless `inPlace` (the wide windows' masked
// loads read nothing past the line).
template <typename Convert>
void ConvertLine(std::string_view line, std::string& text, bool inPlace, Convert convert) {
  const auto* in = reinterpret_cast<const unsigned char*>(line.data());
  text.resize(line.size() + kOutRoom);
  const char* outEnd;
  if (!inPlace && line.size() <= kShortLine) {
    unsigned char padded[kShortLine + kWindowReach];
    CopyPadded(in, line.size(), padded);
    outEnd =
        convert(padded, padded + line.size(), padded + line.size() + kWindowReach, text.data());
  } else {
    outEnd = convert(in, in + line.size(), in + line.size(), text.data());
  }
  text.resize(static_cast<size_t>(outEnd - text.data()));
}

// ISO-2022-JP from `at` on, a run at a time, until at least `stop` (within
// a line that ends at `end`, readable up to `readEnd`); the run loops for
// what a window does not take. Each mode runs its own loop up to the next
// byte it cannot take; escapes and stray bytes are dealt with between the
// runs. Every byte from 0x80 up, copied or dropped, is or-ed into
// `eightBit`: only such a byte can leave the result short of well-formed
// CP932, and the line is then perhaps no ISO-2022-JP.
Cursor ConvertJisRuns(Cursor at, const unsigned char* stop, const unsigned char* end,
                      const unsigned char* readEnd, JisMode& mode, unsigned char& eightBit) {
  const unsigned char* p = at.in;
  char* out = at.out;
  while (p < stop) {
    const auto left = static_cast<size_t>(end - p);
    const auto readable = static_cast<size_t>(readEnd - p);
    switch (mode) {
      case JisMode::single: {
        const size_t run = CopyUntil(p, left, readable, out, kEsc, eightBit);
        out += run;
        p += run;
        break;
      }
      case JisMode::kana:
        for (; p < end && *p != kEsc; ++p) {
          if (*p >= 0x21 && *p <= 0x5F) {
            *out++ = static_cast<char>(*p + 0x80);
          } else {
            eightBit |= *p;
            *out++ = static_cast<char>(*p);
          }
        }
        break;
      case JisMode::doubleByte: {
        const size_t run = ConvertPairs(p, left, readable, out, 0);
        out += run;
        p += run;
        break;
      }
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
    eightBit |= *p;
    if (mode != JisMode::doubleByte) *out++ = static_cast<char>(*p);
    ++p;
  }
  return {p, out};
}

// EUC-JP as ConvertJisRuns does it; `stray` tells whether a byte from 0x80
// up was copied as it stands.
Cursor ConvertEucRuns(Cursor at, const unsigned char* stop, const unsigned char* end,
                      const unsigned char* readEnd, bool& stray) {
  const unsigned char* p = at.in;
  char* out = at.out;
  while (p < stop) {
    const auto left = static_cast<size_t>(end - p);
    const auto readable = static_cast<size_t>(readEnd - p);
    const unsigned char byte = *p;
    if (byte < 0x80) {
      const size_t run = CopyAscii(p, left, readable, out);
      out += run;
      p += run;
    } else if (TJisConv::IsEucByte(byte)) {
      const size_t run = ConvertPairs(p, left, readable, out, 0x80);
      out += run;
      // A lead byte without a partner is dropped alone; taking the next
      // byte anyway would swallow ASCII (the separator, say) into a bogus
      // kanji.
      p += run == 0 ? 1 : run;
    } else if (byte == kSingleShift2 && left >= 2 && TJisConv::IsHalfKanaByte(p[1])) {
      *out++ = static_cast<char>(p[1]);
      p += 2;
    } else if (byte == kSingleShift3 && left >= 3 && TJisConv::IsEucByte(p[1]) &&
               TJisConv::IsEucByte(p[2])) {
      *out++ = kGetaMark[0];
      *out++ = kGetaMark[1];
      p += 3;
    } else {
      stray = true;
      *out++ = static_cast<char>(byte);
      ++p;
    }
  }
  return {p, out};
}

// One line from `p` to `end` (what lies up to `readEnd` may be read), written
// at `out`; returns the end of what it wrote. A window at a time where one
// can be read and holds nothing out of the way, else the run loops over as
// much.
char* ConvertJisText(const unsigned char* p, const unsigned char* end, const unsigned char* readEnd,
                     char* out, bool wide, unsigned char& eightBit) {
  JisMode mode = JisMode::single;
  Cursor at{p, out};
  while (at.in < end) {
    if (wide ? ConvertJisWindowWide(at, end, mode)
             : readEnd - at.in >= static_cast<ptrdiff_t>(kWindowReach) &&
                   ConvertJisWindow(at, end, mode)) {
      continue;
    }
    const unsigned char* stop =
        end - at.in > static_cast<ptrdiff_t>(kWindow) ? at.in + kWindow : end;
    at = ConvertJisRuns(at, stop, end, readEnd, mode, eightBit);
  }
  return at.out;
}

char* ConvertEucText(const unsigned char* p, const unsigned char* end, const unsigned char* readEnd,
                     char* out, bool& stray) {
  Cursor at{p, out};
  while (at.in < end) {
    if (readEnd - at.in >= static_cast<ptrdiff_t>(kWindowReach) && ConvertEucWindow(at, end)) {
      continue;
    }
    const unsigned char* stop =
        end - at.in > static_cast<ptrdiff_t>(kWindow) ? at.in + kWindow : end;
    at = ConvertEucRuns(at, stop, end, readEnd, stray);
  }
  return at.out;
}

}  // namespace

std::string TJisConv::JisPairToSjis(unsigned char first, unsigned char second) {
  if (!IsJisByte(first) || !IsJisByte(second)) return {};
  std::string sjis(2, '\0');
  WriteSjisPair(first, second, sjis.data());
  return sjis;
}

void TJisConv::ConvertJisToSjis(std::string_view line, std::string& text, bool& eightBit) {
  unsigned char seen = 0;
  const bool wide = HasWideVectors();
  ConvertLine(
      line, text, wide,
      [wide, &seen](const unsigned char* p, const unsigned char* end, const unsigned char* readEnd,
                    char* out) { return ConvertJisText(p, end, readEnd, out, wide, seen); });
  eightBit = (seen & 0x80) != 0;
}

std::string TJisConv::ConvertJisToSjis(std::string_view line) const {
  std::string text;
  bool eightBit = false;
  ConvertJisToSjis(line, text, eightBit);
  return text;
}

bool TJisConv::ConvertJisToCp932(std::string_view line, std::string& text) const {
  bool eightBit = false;
  ConvertJisToSjis(line, text, eightBit);
  if (eightBit) RepairCp932(text);
  return eightBit;
}

std::string TJisConv::ConvertJisToCp932(std::string_view line) const {
  std::string text;
  ConvertJisToCp932(line, text);
  return text;
}

void TJisConv::ConvertEucToSjis(std::string_view line, std::string& text, bool& strayCopied) {
  strayCopied = false;
  ConvertLine(
      line, text, false,
      [&strayCopied](const unsigned char* p, const unsigned char* end, const unsigned char* readEnd,
                     char* out) { return ConvertEucText(p, end, readEnd, out, strayCopied); });
}

std::string TJisConv::ConvertEucToSjis(std::string_view line) const {
  std::string text;
  bool strayCopied = false;
  ConvertEucToSjis(line, text, strayCopied);
  return text;
}

void TJisConv::ConvertEucToCp932(std::string_view line, std::string& text) const {
  bool strayCopied = false;
  ConvertEucToSjis(line, text, strayCopied);
  if (strayCopied) RepairCp932(text);
}

std::string TJisConv::ConvertEucToCp932(std::string_view line) const {
  std::string text;
  ConvertEucToCp932(line, text);
  return text;
}

}  // namespace vexalo
