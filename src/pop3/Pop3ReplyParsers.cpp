#include "pop3/Pop3ReplyParsers.h"

#include <algorithm>
#include <limits>

namespace vexalo {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLineBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

size_t SkipLineBlanks(std::string_view text, size_t at) {
  while (at < text.size() && IsLineBlank(text[at])) ++at;
  return at;
}

size_t SkipDigits(std::string_view text, size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

size_t FindFirstDigit(std::string_view text) {
  for (size_t at = 0; at < text.size(); ++at) {
    if (IsDigit(text[at])) return at;
  }
  return std::string_view::npos;
}

}  // namespace

TwoNumbers ParseTwoNumbers(std::string_view line) {
  TwoNumbers numbers;
  const size_t firstDigit = FindFirstDigit(line);
  if (firstDigit == std::string_view::npos) return numbers;
  const std::string_view rest = line.substr(firstDigit);
  const int32_t first = ReadDecimal(rest);
  const size_t next = SkipLineBlanks(rest, SkipDigits(rest, 0));
  if (next == rest.size()) return numbers;
  numbers.first = first;
  numbers.second = ReadDecimal(rest.substr(next));
  return numbers;
}

int32_t ReadDecimal(std::string_view text) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  int32_t value = 0;
  for (size_t at = SkipLineBlanks(text, 0); at < text.size() && IsDigit(text[at]); ++at) {
    const int32_t digit = text[at] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return value;
}

bool IsValidUniqueId(std::string_view id) {
  if (id.empty() || id.size() > kMaxUniqueIdLength) return false;
  return std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

UidlEntry ParseUidlLine(std::string_view line) {
  UidlEntry entry;
  const size_t firstDigit = FindFirstDigit(line);
  if (firstDigit == std::string_view::npos) return entry;
  entry.number = ReadDecimal(line.substr(firstDigit));
  size_t at = SkipDigits(line, firstDigit);
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  std::string_view id = line.substr(at);
  while (!id.empty() && (id.back() == ' ' || id.back() == '\t')) id.remove_suffix(1);
  entry.id.assign(id);
  entry.valid = entry.number > 0 && IsValidUniqueId(entry.id);
  return entry;
}

}  // namespace vexalo
