#include "text/CommFuncs.h"

#include <array>

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

std::string_view FullWidthForm(char ascii) {
  // CP932's full-width forms of 0x21-0x7E, two bytes each, in ASCII order.
  // Full-width '"' and '\'' are the IBM extension codes 0xFA57 and 0xFA56,
  // the ones Windows and iconv give for U+FF02 and U+FF07.
  static constexpr std::string_view kForms =
      "\x81\x49\xfa\x57\x81\x94\x81\x90\x81\x93\x81\x95\xfa\x56\x81\x69"  // !"#$%&'(
      "\x81\x6a\x81\x96\x81\x7b\x81\x43\x81\x7c\x81\x44\x81\x5e"          // )*+,-./
      "\x82\x4f\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54\x82\x55\x82\x56"  // 0-7
      "\x82\x57\x82\x58\x81\x46\x81\x47\x81\x83\x81\x81\x81\x84\x81\x48"  // 89:;<=>?
      "\x81\x97\x82\x60\x82\x61\x82\x62\x82\x63\x82\x64\x82\x65\x82\x66"  // @A-G
      "\x82\x67\x82\x68\x82\x69\x82\x6a\x82\x6b\x82\x6c\x82\x6d\x82\x6e"  // H-O
      "\x82\x6f\x82\x70\x82\x71\x82\x72\x82\x73\x82\x74\x82\x75\x82\x76"  // P-W
      "\x82\x77\x82\x78\x82\x79\x81\x6d\x81\x5f\x81\x6e\x81\x4f\x81\x51"  // XYZ[\\]^_
      "\x81\x4d\x82\x81\x82\x82\x82\x83\x82\x84\x82\x85\x82\x86\x82\x87"  // `a-g
      "\x82\x88\x82\x89\x82\x8a\x82\x8b\x82\x8c\x82\x8d\x82\x8e\x82\x8f"  // h-o
      "\x82\x90\x82\x91\x82\x92\x82\x93\x82\x94\x82\x95\x82\x96\x82\x97"  // p-w
      "\x82\x98\x82\x99\x82\x9a\x81\x6f\x81\x62\x81\x70\x81\x60";         // xyz{|}~
  static_assert(kForms.size() == 2 * (0x7E - 0x21 + 1));
  const auto byte = static_cast<unsigned char>(ascii);
  if (byte < 0x21 || byte > 0x7E) return {};
  return kForms.substr(2 * static_cast<size_t>(byte - 0x21), 2);
}

SplitText SplitAtToken(std::string_view text, std::string_view token) {
  size_t cut = std::string_view::npos;
  size_t cutLength = 1;
  if (token.size() == 1) {
    const auto tokenByte = static_cast<unsigned char>(token[0]);
    const std::string_view fullWidth = FullWidthForm(token[0]);
    // A token below 0x40 can never be a trail byte, so without a full-width
    // form to look for the plain byte search is exact.
    if (fullWidth.empty() && !IsSjisTrailByte(tokenByte)) {
      cut = text.find(token[0]);
    } else {
      for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == tokenByte) {
          cut = i;
          break;
        }
        if (!IsSjisLeadByte(byte)) continue;
        if (text.substr(i, 2) == fullWidth) {
          cut = i;
          cutLength = 2;
          break;
        }
        ++i;  // its trail byte is part of the character
      }
    }
  }
  if (cut == std::string_view::npos) return {TrimText(text), {}};
  return {TrimText(text.substr(0, cut)), TrimText(text.substr(cut + cutLength)), true};
}

namespace {

// The ASCII byte whose full-width form is the character lead, trail, or 0.
char AsciiOfFullWidth(unsigned char lead, unsigned char trail) {
  // Every full-width form starts with 0x81, 0x82 or 0xFA: one row of 256 each.
  static const auto kRows = [] {
    std::array<std::array<char, 256>, 3> rows{};
    for (int c = 0x21; c <= 0x7E; ++c) {
      const std::string_view form = FullWidthForm(static_cast<char>(c));
      const auto formLead = static_cast<unsigned char>(form[0]);
      const size_t row = formLead == 0x81 ? 0 : formLead == 0x82 ? 1 : 2;
      rows[row][static_cast<unsigned char>(form[1])] = static_cast<char>(c);
    }
    return rows;
  }();
  if (lead == 0x81) return kRows[0][trail];
  if (lead == 0x82) return kRows[1][trail];
  if (lead == 0xFA) return kRows[2][trail];
  return 0;
}

}  // namespace

void FoldForSearch(std::string_view text, std::string& folded) {
  folded.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (IsSjisLeadByte(byte) && i + 1 < text.size()) {
      const char ascii = AsciiOfFullWidth(byte, static_cast<unsigned char>(text[i + 1]));
      if (ascii != 0) {
        folded += UpperAsciiByte(ascii);
      } else {
        folded.append(text.substr(i, 2));
      }
      ++i;
      continue;
    }
    folded += UpperAsciiByte(text[i]);
  }
}

bool HoldsFolded(std::string_view folded, std::string_view foldedNeedle) {
  if (folded.find(foldedNeedle) == std::string_view::npos) return false;
  for (size_t i = 0; i + foldedNeedle.size() <= folded.size(); ++i) {
    if (folded.substr(i, foldedNeedle.size()) == foldedNeedle) return true;
    if (IsSjisLeadByte(static_cast<unsigned char>(folded[i]))) ++i;
  }
  return false;
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
