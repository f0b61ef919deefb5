#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// Byte-text routines every layer shares: the POP3 client, the parser, the
// run and the data files. All texts
// are CP932 bytes; every comparison elsewhere is a plain byte-wise ==.

// Whether `byte` begins a double-byte CP932 character.
constexpr bool IsSjisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Whether `byte` can be the second byte of a double-byte CP932 character.
constexpr bool IsSjisTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Removes the bytes 0x00-0x20 from both ends. Inline: loading the data file
// trims every field of a million lines.
inline std::string_view TrimText(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20) --end;
  return text.substr(begin, end - begin);
}

// Upper-cases the bytes a-z, byte by byte, like the comparisons it serves
// (both sides of a case-blind compare go through it the same way).
std::string UpperAscii(std::string_view text);

// UpperAscii(a) == UpperAscii(b), without building either: the parser asks
// it of every header line.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b);

// Views into the text that was split, valid as long as it is.
struct SplitText {
  std::string_view name;   // before the first token, trimmed
  std::string_view value;  // after it, trimmed; later tokens stay in it
  bool found = false;      // whether the token was there at all
};

// The full-width CP932 form of an ASCII byte 0x21-0x7E (":" gives "：",
// 0x81 0x46; "=" gives "＝", 0x81 0x81), as Japanese input methods type it;
// empty for any other byte.
std::string_view FullWidthForm(char ascii);

// Splits `text` at the first occurrence of the one-byte `token` or of its
// full-width form (FullWidthForm), whichever comes first: a customer typing
// "品名：りんご" means the same as "品名:りんご". An empty token or one of two
// or more bytes never matches: the name is then the whole text. The text is
// read character by character, so neither a token byte that can also be the
// second byte of a double-byte character (0x40-0x7E, 0x80-0xFC) nor the bytes
// of the full-width form standing across two characters ever cut Japanese
// text in half.
SplitText SplitAtToken(std::string_view text, std::string_view token);

// `text` as a search compares it: each full-width form of an ASCII byte
// (FullWidthForm) made that byte, then ASCII letters upper-cased, so "ａｂ，"
// and "AB," read alike. Written into `folded`, which is replaced.
void FoldForSearch(std::string_view text, std::string& folded);

// Whether `folded` (from FoldForSearch) holds `foldedNeedle` starting at a
// character of its own, never at the second byte of a double-byte one. An
// empty needle is found.
bool HoldsFolded(std::string_view folded, std::string_view foldedNeedle);

// Every ASCII comma becomes the full-width comma (0x81 0x43), which is safe
// byte-wise because 0x2C is never the second byte of a double-byte character.
std::string EscapeCommas(std::string_view text);

}  // namespace vexalo
