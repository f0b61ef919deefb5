#include "text/IntegerText.h"

namespace vexalo {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// At least one digit of `base`, nothing else, the value at most `limit`. The
// limit is checked digit by digit, so no length of text can overflow.
std::optional<uint64_t> ParseDigits(std::string_view digits, unsigned base, uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) {
    const unsigned digit = static_cast<unsigned>(DigitValue(c));
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<int32_t> TextToInteger(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::optional<uint64_t> magnitude;
  if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
    magnitude = ParseDigits(text.substr(1), 16, 0xFFFFFFFFu);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    magnitude = ParseDigits(text.substr(2), 16, 0xFFFFFFFFu);
  } else {
    magnitude = ParseDigits(text, 10, negative ? 0x80000000u : 0x7FFFFFFFu);
  }
  if (!magnitude) return std::nullopt;
  // Hexadecimal digits are the 32-bit pattern; the sign then negates it.
  const auto bits = static_cast<uint32_t>(*magnitude);
  return static_cast<int32_t>(negative ? 0u - bits : bits);
}

}  // namespace vexalo
