#include "text/ByteScan.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vexalo {

size_t FindAnyOf(std::string_view text, size_t from, char a, char b, char c) {
  size_t pos = from;
#ifdef __SSE2__
  const __m128i wantA = _mm_set1_epi8(a);
  const __m128i wantB = _mm_set1_epi8(b);
  const __m128i wantC = _mm_set1_epi8(c);
  for (; pos + 16 <= text.size(); pos += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
    const __m128i hits =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, wantA), _mm_cmpeq_epi8(bytes, wantB)),
                     _mm_cmpeq_epi8(bytes, wantC));
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    if (mask != 0) return pos + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  for (; pos < text.size(); ++pos) {
    const char byte = text[pos];
    if (byte == a || byte == b || byte == c) return pos;
  }
  return text.size();
}

void ReplaceEvery(char* begin, char* end, char from, char to) {
  while (begin != end) {
    begin = static_cast<char*>(std::memchr(begin, from, static_cast<size_t>(end - begin)));
    if (begin == nullptr) return;
    *begin++ = to;
  }
}

size_t AsciiRunEnd(std::string_view text, size_t from) {
  size_t pos = from;
#ifdef __SSE2__
  for (; pos + 16 <= text.size(); pos += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    if (high != 0) return pos + static_cast<size_t>(__builtin_ctz(high));
  }
#endif
  while (pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80) ++pos;
  return pos;
}

}  // namespace vexalo
