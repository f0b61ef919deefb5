#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "jconv/JisConv.h"

namespace vexalo {
namespace {

struct ConvCase {
  std::string in;
  std::string out;
  const char* what;
};

// Every result must stay the same whatever the two properties say.
const std::pair<TJisByteCodeType, TJisKanaConvType> kPropertySettings[] = {
    {btAscii, ktZenWithDaku}, {btRoman, ktNone}, {btAscii, ktZenSepaDaku}};

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    hex += digits[b >> 4];
    hex += digits[b & 0xF];
    hex += ' ';
  }
  return hex;
}

TEST(JisConv, PropertiesStartAsTheMainWindowSetsThem) {
  const TJisConv conv;
  EXPECT_EQ(conv.JisByteCodeType(), btAscii);
  EXPECT_EQ(conv.JisKanaConvType(), ktZenWithDaku);
}

TEST(JisConv, JisPairToSjis) {
  EXPECT_EQ(TJisConv::JisPairToSjis(0x24, 0x22), "\x82\xA0");  // あ
  EXPECT_EQ(TJisConv::JisPairToSjis(0x25, 0x22), "\x83\x41");  // ア
  EXPECT_EQ(TJisConv::JisPairToSjis(0x30, 0x21), "\x88\x9F");  // 亜
  EXPECT_EQ(TJisConv::JisPairToSjis(0x2D, 0x21), "\x87\x40");  // ① (NEC row 13)
  EXPECT_EQ(TJisConv::JisPairToSjis(0x7E, 0x7E), "\xEF\xFC");  // last cell of the table
  for (const auto& [first, second] : {std::pair{0x20, 0x30},
                                      {0x7F, 0x30},
                                      {0xB0, 0xA1},
                                      {0x30, 0x20},
                                      {0x30, 0x7F},
                                      {0x30, 0x1B}}) {
    EXPECT_EQ(TJisConv::JisPairToSjis(first, second), "") << first << ' ' << second;
  }
}

TEST(JisConv, ByteClasses) {
  EXPECT_FALSE(TJisConv::IsEucByte(0xA0));
  EXPECT_TRUE(TJisConv::IsEucByte(0xA1));
  EXPECT_TRUE(TJisConv::IsEucByte(0xFE));
  EXPECT_FALSE(TJisConv::IsEucByte(0xFF));
  EXPECT_FALSE(TJisConv::IsHalfKanaByte(0xA0));
  EXPECT_TRUE(TJisConv::IsHalfKanaByte(0xA1));
  EXPECT_TRUE(TJisConv::IsHalfKanaByte(0xDF));
  EXPECT_FALSE(TJisConv::IsHalfKanaByte(0xE0));
}

TEST(JisConv, ConvertJisToSjis) {
  const ConvCase cases[] = {
      {"", "", "empty line"},
      {"Order No: 123-45 ~\\", "Order No: 123-45 ~\\", "ASCII is copied"},
      {"\x1B$B$\"$$\x1B(BA",
       "\x82\xA0\x82\xA2"
       "A",
       "kana, back to ASCII"},
      {"\x1B$B$\"$", "\x82\xA0", "odd byte at the end of double-byte text is dropped"},
      {"ab\x1B$B", "ab", "designation as the last three bytes"},
      {"\x1B(Ja\\b", "a\\b", "JIS X 0201 Roman is copied like ASCII"},
      {"$\"$$", "$\"$$", "every line starts in ASCII"},
      {"\x1B$@0!", "\x88\x9F", "the 1978 designation reads as JIS X 0208"},
      {"\x1B(I1_`\x1B(B1", "\xB1\xDF`1", "JIS X 0201 katakana become half-width kana"},
      {"\x1B(I1\x1B(J1",
       "\xB1"
       "1",
       "ESC ( J ends katakana"},
      {"\x1B$B0!\x1B(I1\x1B$B0!", "\x88\x9F\xB1\x88\x9F", "katakana between kanji"},
      {"\x0E"
       "A\x0F",
       "\x0E"
       "A\x0F",
       "SO and SI are ordinary bytes"},
      {"\x1B$(D0!", "\x1B$(D0!", "unknown designation in ASCII is copied"},
      {"a\x1B(", "a\x1B(", "escape cut off by the line end"},
      {"\x1B$B$\"$\x1B(BA:1",
       "\x82\xA0"
       "A:1",
       "odd kanji run: the escape is still found"},
      {"\x1B$B\x0E$\"", "\x82\xA0", "control byte in double-byte text is dropped alone"},
      {"\x1B$B$\" $$", "\x82\xA0\x82\xA2", "blank in double-byte text is dropped alone"},
      {"\x1B$B\xB0\xA1$\"", "\x82\xA0", "8-bit bytes in double-byte text are dropped"},
      {"\x1B$B\x1B$B$\"", "\x82\xA0", "repeated designation"},
      {"\x1B$B-!-j\x1B(B", "\x87\x40\x87\x8A", "NEC row 13: circled one and (kabu)"},
  };
  TJisConv conv;
  for (const auto& [byteCode, kana] : kPropertySettings) {
    conv.SetJisByteCodeType(byteCode);
    conv.SetJisKanaConvType(kana);
    for (const auto& c : cases) {
      EXPECT_EQ(Hex(conv.ConvertJisToSjis(c.in)), Hex(c.out)) << c.what;
    }
  }
}

TEST(JisConv, ConvertEucToSjis) {
  const ConvCase cases[] = {
      {"", "", "empty line"},
      {"Order No: 123-45 ~\\", "Order No: 123-45 ~\\", "ASCII is copied"},
      {"\xA4\xA2", "\x82\xA0", "hiragana a"},
      {"\xB0\xA1", "\x88\x9F", "first level-1 kanji"},
      {"\x8E\xB1", "\xB1", "half-width katakana"},
      {"\x8E"
       "A",
       "\x8E"
       "A",
       "single shift 2 before ASCII is copied"},
      {"A\x8E", "A\x8E", "single shift 2 at the end is copied"},
      {"\x8F\xB0\xA1", "\x81\xAC", "JIS X 0212 character becomes the geta mark"},
      {"\x8F\xB0\xA1\xA4\xA2", "\x81\xAC\x82\xA0", "text after JIS X 0212 stays intact"},
      {"\x8F"
       "A",
       "\x8F"
       "A",
       "single shift 3 that starts no character is copied"},
      {"A\xA4", "A", "lead byte last in the line is dropped"},
      {"\xA4:1", ":1", "lead byte before ASCII is dropped, the ASCII kept"},
      {"\xA5j", "j", "no line feed is made out of a stray lead byte"},
      {"\x80\xA0\xFF", "\x80\xA0\xFF", "bytes outside EUC-JP are copied"},
      {"\xAD\xA1\xAD\xEA", "\x87\x40\x87\x8A", "NEC row 13: circled one and (kabu)"},
  };
  TJisConv conv;
  for (const auto& [byteCode, kana] : kPropertySettings) {
    conv.SetJisByteCodeType(byteCode);
    conv.SetJisKanaConvType(kana);
    for (const auto& c : cases) {
      EXPECT_EQ(Hex(conv.ConvertEucToSjis(c.in)), Hex(c.out)) << c.what;
    }
  }
}

// A stored row must not be split or re-columned by broken input: no line end,
// comma or other byte below 0x40 may come out that the line did not hold.
// Checked for every byte pair behind the openings that pair bytes up.
TEST(JisConv, NoLowByteIsMadeUp) {
  auto lowBytes = [](const std::string& text) {
    std::string low;
    for (const char c : text) {
      if (static_cast<unsigned char>(c) < 0x40) low += c;
    }
    return low;
  };
  auto isSubsequence = [](const std::string& part, const std::string& whole) {
    size_t at = 0;
    for (const char c : whole) {
      if (at < part.size() && part[at] == c) ++at;
    }
    return at == part.size();
  };
  const TJisConv conv;
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const std::string pair{static_cast<char>(first), static_cast<char>(second)};
      for (const std::string& line :
           {"\x1B$B" + pair + "A", "\x1B(I" + pair + "A", pair + "A", "\x8F" + pair + "A"}) {
        const std::string fromJis = conv.ConvertJisToSjis(line);
        const std::string fromEuc = conv.ConvertEucToSjis(line);
        ASSERT_TRUE(isSubsequence(lowBytes(fromJis), lowBytes(line))) << Hex(line);
        ASSERT_TRUE(isSubsequence(lowBytes(fromEuc), lowBytes(line))) << Hex(line);
      }
    }
  }
}

}  // namespace
}  // namespace vexalo
