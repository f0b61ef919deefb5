#include "text/QuotedPrintable.h"

namespace vexalo {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

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
  out.reserve(out.size() + line.size());
  size_t pos = 0;
  while (pos < line.size()) {
    const size_t special = underscoreIsSpace ? line.find_first_of("=_", pos) : line.find('=', pos);
    if (special == std::string_view::npos) {
      out.append(line.substr(pos));
      break;
    }
    out.append(line.substr(pos, special - pos));
    pos = special + 1;
    if (line[special] == '_') {
      out.push_back(' ');
      continue;
    }
    const int high = pos < line.size() ? HexValue(line[pos]) : -1;
    const int low = pos + 1 < line.size() ? HexValue(line[pos + 1]) : -1;
    if (high < 0 || low < 0) {
      out.push_back('=');
      continue;
    }
    out.push_back(static_cast<char>(high << 4 | low));
    pos += 2;
  }
  return soft;
}

}  // namespace vexalo
