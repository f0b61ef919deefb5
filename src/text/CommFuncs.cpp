#include "text/CommFuncs.h"

namespace vexalo {

namespace {

char UpperAsciiByte(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperAsciiByte(c);
  return upper;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAsciiByte(a[i]) != UpperAsciiByte(b[i])) return false;
  }
  return true;
}

SplitText SplitAtToken(std::string_view text, std::string_view token) {
  size_t cut = std::string_view::npos;
  if (token.size() == 1) {
    const auto tokenByte = static_cast<unsigned char>(token[0]);
    // A token below 0x40 can never be a trail byte, so the plain byte walk is
    // exact for it and stays the cheap path for ":" and "=".
    if (!IsSjisTrailByte(tokenByte)) {
      cut = text.find(token[0]);
    } else {
      for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == tokenByte) {
          cut = i;
          break;
        }
        if (IsSjisLeadByte(byte)) ++i;  // its trail byte is part of the character
      }
    }
  }
  if (cut == std::string_view::npos) return {TrimText(text), {}};
  return {TrimText(text.substr(0, cut)), TrimText(text.substr(cut + 1)), true};
}

std::string EscapeCommas(std::string_view text) {
  // Every line of every message passes here, and most hold no comma: copied
  // in runs between commas rather than byte by byte.
  std::string escaped;
  escaped.reserve(text.size());
  for (size_t comma = text.find(','); comma != std::string_view::npos; comma = text.find(',')) {
    escaped.append(text.substr(0, comma)).append("\x81\x43");
    text.remove_prefix(comma + 1);
  }
  escaped.append(text);
  return escaped;
}

}  // namespace vexalo
