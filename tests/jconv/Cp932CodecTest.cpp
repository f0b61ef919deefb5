#include <gtest/gtest.h>

#include <string>

#include "jconv/Cp932Codec.h"

namespace vexalo {
namespace {

struct CodecCase {
  const char* cp932;
  const char* utf8;
  const char* what;
};

// Codes that both directions keep as they are.
TEST(Cp932Codec, RoundTripsIncludingNecAndIbmExtensions) {
  const CodecCase cases[] = {
      {"", "", "empty"},
      {"Order 1,000 \\ ~", "Order 1,000 \\ ~", "ASCII, backslash and tilde as they are"},
      {"\x95\x69\x96\xBC", "品名", "kanji"},
      {"\xB1\xDD\xB9\xB0\xC4", "ｱﾝｹｰﾄ", "half-width katakana"},
      {"\x87\x40\x87\x53", "①⑳", "NEC circled numbers"},
      {"\x87\x8A\x87\x82\x87\x54", "㈱№Ⅰ", "NEC symbols and Roman numerals"},
      {"\xFA\x40\xFA\x49", "ⅰⅹ", "IBM small Roman numerals"},
      {"\xFB\xFC\xFA\x5C", "髙纊", "IBM kanji"},
      {"\x81\x60\x81\x7C\x81\x5F\x81\x61", "～－＼∥", "wave dash and kin as Windows maps them"},
      {"\x81\xCA\x81\xE6", "￢∵", "symbols of row 2"},
      {"\xF0\x40", "\xEE\x80\x80", "user-defined area to private use"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.what;
    EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.what;
  }
}

// The second code of a character decodes to it and comes back at its first.
TEST(Cp932Codec, DuplicateCodesDecodeAndComeBackPreferred) {
  const CodecCase cases[] = {
      {"\xED\x40", "纊", "NEC-selected IBM kanji"},
      {"\xEE\xEF", "ⅰ", "NEC-selected IBM Roman numeral"},
      {"\xEE\xF9", "￢", "NEC-selected IBM not sign"},
      {"\xFA\x58", "㈱", "IBM (kabu)"},
      {"\xFA\x4A", "Ⅰ", "IBM Roman numeral one"},
      {"\x87\x9A", "∵", "NEC because"},
  };
  for (const auto& c : cases) {
    const std::string utf8 = Cp932ToUtf8(c.cp932);
    EXPECT_EQ(utf8, c.utf8) << c.what;
    EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(utf8)), utf8) << c.what;
  }
}

TEST(Cp932Codec, BytesThatDoNotDecodeBecomeReplacementCharacters) {
  const CodecCase cases[] = {
      {"a\x80"
       "b",
       "a\xEF\xBF\xBD"
       "b",
       "0x80"},
      {"\xA0\xFD\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", "one per byte"},
      {"\x81\xAD"
       "a",
       "\xEF\xBF\xBD"
       "a",
       "a pair without a character is one"},
      {"\x82"
       "1",
       "\xEF\xBF\xBD"
       "1",
       "lead byte before a digit: the digit stays"},
      {"\x88\x9F\x82", "亜\xEF\xBF\xBD", "lead byte at the end"},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp932ToUtf8(c.cp932), c.utf8) << c.what;
}

TEST(Cp932Codec, CharactersWithoutCodeBecomeGetaMarks) {
  const CodecCase cases[] = {
      {"a\x81\xAC"
       "b",
       "a😀b", "emoji"},
      {"\x81\xAC\x82\xA0", "丂あ", "kanji outside CP932"},
      {"\x81\xAC"
       "a",
       "\xC3"
       "a",
       "cut-off UTF-8 sequence"},
      {"\x81\xAC\x81\xAC", "\xFF\xFE", "bytes that are never UTF-8"},
      {"\x88\x9F\x81\xAC", "亜\xE4\xBA", "sequence cut off by the end"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp932(c.utf8), c.cp932) << c.what;
}

TEST(Cp932Codec, LongTextGrowsPastTheFirstBuffer) {
  std::string cp932;
  std::string utf8;
  for (int i = 0; i < 5000; ++i) {
    cp932 += "\xB1\x80";  // half-width kana (3 bytes in UTF-8) and a bad byte
    utf8 += "ｱ\xEF\xBF\xBD";
  }
  EXPECT_EQ(Cp932ToUtf8(cp932), utf8);
}

}  // namespace
}  // namespace vexalo
