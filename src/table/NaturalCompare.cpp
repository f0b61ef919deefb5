#include "table/NaturalCompare.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace vexalo {

namespace {

bool IsDigit(char byte) { return byte >= '0' && byte <= '9'; }

// The length of the thousands separator at text[at] that stands between two
// digits ("," or the full-width "，" 0x81 0x43, the comma a stored cell
// holds), or 0. Either continues the number: "1，000" is a thousand.
size_t SeparatorLength(std::string_view text, size_t at) {
  if (at == 0 || !IsDigit(text[at - 1])) return 0;
  if (at + 1 < text.size() && text[at] == ',' && IsDigit(text[at + 1])) return 1;
  if (at + 2 < text.size() && text[at] == '\x81' && text[at + 1] == '\x43' &&
      IsDigit(text[at + 2])) {
    return 2;
  }
  return 0;
}

// The digits of one number in a text, separators passed over.
class DigitRun {
 public:
  // The number whose first digit is text[begin]; leading zeros are skipped
  // (the last digit stays), so the count of significant digits orders runs.
  DigitRun(std::string_view text, size_t begin) : text_(text), at_(begin) {
    end_ = begin;
    for (;;) {
      if (end_ < text.size() && IsDigit(text[end_])) {
        ++end_;
        ++digits_;
      } else if (const size_t separator = SeparatorLength(text, end_)) {
        end_ += separator;
      } else {
        break;
      }
    }
    while (digits_ > 1 && text_[at_] == '0') Next();
  }

  size_t Digits() const { return digits_; }
  size_t End() const { return end_; }
  // The significant digits when no separator stands among them.
  std::optional<std::string_view> PlainDigits() const {
    if (end_ - at_ != digits_) return std::nullopt;
    return text_.substr(at_, digits_);
  }
  char Digit() const { return text_[at_]; }
  // Moves to the next digit, past a separator.
  void Next() {
    ++at_;
    --digits_;
    if (digits_ > 0 && !IsDigit(text_[at_])) at_ += SeparatorLength(text_, at_);
  }

 private:
  std::string_view text_;
  size_t at_;
  size_t end_ = 0;
  size_t digits_ = 0;
};

// Compares the numbers starting at a[i] and b[j] by value and moves both
// indexes past them. Count of digits first, then digits: numbers of any size,
// no overflow.
int CompareDigitRuns(std::string_view a, size_t& i, std::string_view b, size_t& j) {
  DigitRun aRun(a, i);
  DigitRun bRun(b, j);
  i = aRun.End();
  j = bRun.End();
  if (aRun.Digits() != bRun.Digits()) return aRun.Digits() < bRun.Digits() ? -1 : 1;
  // Most numbers hold no separator: one memcmp then, as a sort of a million
  // rows compares numbers twenty million times.
  const std::optional<std::string_view> aPlain = aRun.PlainDigits();
  const std::optional<std::string_view> bPlain = bRun.PlainDigits();
  if (aPlain && bPlain) {
    const int order = aPlain->compare(*bPlain);
    return (order > 0) - (order < 0);
  }
  for (; aRun.Digits() > 0; aRun.Next(), bRun.Next()) {
    if (aRun.Digit() != bRun.Digit()) return aRun.Digit() < bRun.Digit() ? -1 : 1;
  }
  return 0;
}

// Where the number running through text[at] begins, separators included, or
// `at` when none runs through it.
size_t NumberStart(std::string_view text, size_t at) {
  for (;;) {
    if (at > 0 && IsDigit(text[at - 1])) {
      --at;
    } else if (at >= 2 && SeparatorLength(text, at - 1) == 1) {
      --at;
    } else if (at >= 3 && SeparatorLength(text, at - 2) == 2) {
      at -= 2;
    } else {
      return at;
    }
  }
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
  // Where only one side's next byte is a digit, a comma before it may
  // continue a number on that side alone: both start before that number.
  const size_t start = std::min(NumberStart(a, common), NumberStart(b, common));
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
