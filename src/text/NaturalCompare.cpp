#include "text/NaturalCompare.h"

#include <algorithm>
#include <cstddef>

namespace vexalo {

namespace {

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

// Compares the digit runs starting at a[i] and b[j] by value and moves both
// indexes past them. Length first, then digits: numbers of any size, no
// overflow.
int CompareDigitRuns(std::string_view a, size_t& i, std::string_view b, size_t& j) {
  while (i + 1 < a.size() && a[i] == '0' && IsDigit(a[i + 1])) ++i;
  while (j + 1 < b.size() && b[j] == '0' && IsDigit(b[j + 1])) ++j;
  size_t aEnd = i;
  size_t bEnd = j;
  while (aEnd < a.size() && IsDigit(a[aEnd])) ++aEnd;
  while (bEnd < b.size() && IsDigit(b[bEnd])) ++bEnd;
  const size_t aLength = aEnd - i;
  const size_t bLength = bEnd - j;
  int order = aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
  if (order == 0) order = a.substr(i, aLength).compare(b.substr(j, bLength));
  i = aEnd;
  j = bEnd;
  return order;
}

}  // namespace

int CompareNatural(std::string_view a, std::string_view b) {
  // A digit is never the second byte of a CP932 character, so every digit
  // byte starts a character of its own: no double-byte character is read as
  // part of a number. A lead byte followed by a digit (a cut character) is a
  // byte of its own and the digit begins a number, on both sides alike.
  //
  // Equal bytes are equal text, so the walk starts where the texts first
  // differ, or at the start of the number running through that place: most
  // neighbours in a sorted column share a long beginning (a date, a code).
  const size_t common = static_cast<size_t>(
      std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first -
      a.begin());
  size_t start = common;
  while (start > 0 && IsDigit(a[start - 1])) --start;
  size_t i = start;
  size_t j = start;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const int order = CompareDigitRuns(a, i, b, j);
      if (order != 0) return order;
      continue;
    }
    // A digit against any other byte: the bytes decide, which places every
    // number where its first digit would stand among the other bytes.
    const auto aByte = static_cast<unsigned char>(a[i]);
    const auto bByte = static_cast<unsigned char>(b[j]);
    if (aByte != bByte) return aByte < bByte ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  const int bytes = a.compare(b);
  return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

}  // namespace vexalo
