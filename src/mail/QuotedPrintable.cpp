#include "mail/QuotedPrintable.h"

#include <array>
#include <cstdint>

namespace vexalo {

namespace {

constexpr std::array<int8_t, 256> MakeHexValues() {
  std::array<int8_t, 256> values{};
  values.fill(-1);
  for (int i = 0; i < 10; ++i) values['0' + i] = static_cast<int8_t>(i);
  for (int i = 0; i < 6; ++i) {
    values['A' + i] = static_cast<int8_t>(10 + i);
    values['a' + i] = static_cast<int8_t>(10 + i);
  }
  return values;
}

constexpr std::array<int8_t, 256> kHexValues = MakeHexValues();

int HexValue(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

std::string_view WithoutTrailingBlanks(std::string_view line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return line.substr(0, end);
}

}  // namespace

bool DecodeQuotedPrintableLine(std::string_view line, std::string& out, bool underscoreIsSpace) {
  line = WithoutTrailingBlanks(line);
  const bool soft = !line.empty() && line.back() == '=';
  if (soft) line.remove_suffix(1);
  // Japanese text is an escape every third byte: one pass writing in place
  // beats a search for each "=". The text never grows in decoding.
  const size_t start = out.size();
  out.resize(start + line.size());
  char* dst = out.data() + start;
  const char* src = line.data();
  const char* const end = src + line.size();
  while (src < end) {
    const char c = *src;
    if (c == '=' && end - src >= 3) {
      const int high = HexValue(src[1]);
      const int low = HexValue(src[2]);
      if (high >= 0 && low >= 0) {
        *dst++ = static_cast<char>(high << 4 | low);
        src += 3;
        continue;
      }
    }
    *dst++ = c == '_' && underscoreIsSpace ? ' ' : c;
    ++src;
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return soft;
}

}  // namespace vexalo
