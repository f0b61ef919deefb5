#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vexalo {

// The loaders run every byte of a data file through these, so they look at
// sixteen bytes at a time where the processor allows it.

// The offset in `text`, from `from` on, of the first byte equal to `a`, `b` or
// `c`, or text.size() when there is none.
size_t FindAnyOf(std::string_view text, size_t from, char a, char b, char c);

// Replaces every byte `from` in [begin, end) by `to`. Rows are hundreds of
// bytes that almost never hold `from`: memchr skips through them many bytes
// at a time, a test per byte does not.
void ReplaceEvery(char* begin, char* end, char from, char to);

// The end of the run of ASCII bytes (below 0x80) in `text` that starts at
// `from`: the offset of the first byte from 0x80 up, or text.size(). Mail
// text is mostly ASCII, and every charset step asks this of every line.
size_t AsciiRunEnd(std::string_view text, size_t from);

// Calls `visit(offset)` for every byte of `text` equal to `a`, in order, until
// `visit` returns false. Matches are gathered 64 bytes at a time into one bit
// mask, so the loop over them ends with one hard-to-guess branch per 64 bytes
// rather than one per match or per sixteen bytes.
template <typename Visit>
void ForEachByte(std::string_view text, char a, Visit visit) {
  const auto visitAll = [&](uint64_t mask, size_t base) {
    for (; mask != 0; mask &= mask - 1) {
      if (!visit(base + static_cast<size_t>(__builtin_ctzll(mask)))) return false;
    }
    return true;
  };
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t chunk = std::min<size_t>(64, text.size() - pos);
    uint64_t mask = 0;
    size_t at = 0;
#ifdef __SSE2__
    const __m128i want = _mm_set1_epi8(a);
    for (; at + 16 <= chunk; at += 16) {
      const __m128i bytes =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos + at));
      mask |= static_cast<uint64_t>(
                  static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, want))))
              << at;
    }
#endif
    for (; at < chunk; ++at) mask |= static_cast<uint64_t>(text[pos + at] == a) << at;
    if (!visitAll(mask, pos)) return;
    pos += chunk;
  }
}

}  // namespace vexalo
