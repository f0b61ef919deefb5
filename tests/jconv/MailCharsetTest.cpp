// The charset step of mail text against glibc's iconv as the oracle, plus
// the rules of our own: geta marks, look-alikes, byte-order mark, guessing.

#include <gtest/gtest.h>
#include <iconv.h>

#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "jconv/MailTextDecoder.h"
#include "jconv/UnicodeToCp932.h"

namespace vexalo {
namespace {

constexpr std::string_view kGeta = "\x81\xAC";

std::string Utf8Of(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s += static_cast<char>(c);
  } else if (c < 0x800) {
    s += static_cast<char>(0xC0 | (c >> 6));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    s += static_cast<char>(0xE0 | (c >> 12));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (c >> 18));
    s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (c & 0x3F));
  }
  return s;
}

// glibc's CP932 for one character, or nothing when it has none.
std::optional<std::string> IconvCp932(iconv_t cd, const std::string& utf8) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in = utf8;
  char out[16];
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out;
  size_t outLeft = sizeof out;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
    return std::nullopt;
  }
  return std::string(out, sizeof out - outLeft);
}

TEST(UnicodeToCp932, EveryCharacterAsIconvHasItElseTheGetaMark) {
  const iconv_t cd = iconv_open("CP932", "UTF-8");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  int withCode = 0;
  for (char32_t c = 0; c < 0x20000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string utf8 = Utf8Of(c);
    const std::optional<std::string> expected = IconvCp932(cd, utf8);
    std::string actual;
    AppendUtf8AsCp932(actual, utf8);
    if (expected) ++withCode;
    ASSERT_EQ(actual, expected.value_or(std::string(kGeta)))
        << std::hex << "U+" << static_cast<uint32_t>(c);
  }
  iconv_close(cd);
  EXPECT_GT(withCode, 7000);
}

TEST(UnicodeToCp932, LookAlikesOfOtherSystemsTakeTheirCp932Codes) {
  std::string out;
  AppendUtf8AsCp932(out,
                    "\xE3\x80\x9C\xE2\x80\x96\xE2\x88\x92\xE2\x80\x94\xC2\xA2\xC2\xA3\xC2\xAC");
  EXPECT_EQ(out, "\x81\x60\x81\x61\x81\x7C\x81\x5C\x81\x91\x81\x92\x81\xCA");
}

TEST(UnicodeToCp932, IllFormedPiecesBecomeOneGetaMarkEach) {
  struct Case {
    std::string utf8;
    std::string cp932;
    const char* what;
  };
  const std::string geta(kGeta);
  const Case cases[] = {
      {"a\x80"
       "b",
       "a" + geta + "b", "stray continuation byte"},
      {"\xE3\x81"
       "a",
       geta + "a", "character cut short, next byte read afresh"},
      {"\xE3\x81", geta, "cut short by the end"},
      {"\xC0\xAF", geta + geta, "overlong form"},
      {"\xED\xA0\x80", geta + geta + geta, "surrogate"},
      {"\xF4\x90\x80\x80", geta + geta + geta + geta, "beyond U+10FFFF"},
      {"\xFF\xFE", geta + geta, "bytes that start nothing"},
      {"\xF0\x9F\x8E\x85", geta, "emoji"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendUtf8AsCp932(out, c.utf8);
    EXPECT_EQ(out, c.cp932) << c.what;
    EXPECT_FALSE(IsWellFormedUtf8(c.utf8) && c.utf8 != "\xF0\x9F\x8E\x85") << c.what;
  }
}

// The length of the piece of `text` at `pos` that converts as one: a whole
// character, or an ill-formed piece (a lead byte and the continuation bytes
// that fit behind it, or one stray byte). Read a byte at a time from the
// rules of UTF-8 alone.
size_t PieceLength(std::string_view text, size_t pos, bool& wellFormed) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  struct Rule {
    unsigned char leadLow, leadHigh;
    size_t length;
  };
  constexpr Rule kRules[] = {{0x00, 0x7F, 1}, {0xC2, 0xDF, 2}, {0xE0, 0xEF, 3}, {0xF0, 0xF4, 4}};
  wellFormed = false;
  for (const Rule& rule : kRules) {
    if (byte(0) < rule.leadLow || byte(0) > rule.leadHigh) continue;
    size_t i = 1;
    for (; i < rule.length && pos + i < text.size(); ++i) {
      unsigned char low = 0x80;
      unsigned char high = 0xBF;
      if (i == 1 && byte(0) == 0xE0) low = 0xA0;
      if (i == 1 && byte(0) == 0xED) high = 0x9F;
      if (i == 1 && byte(0) == 0xF0) low = 0x90;
      if (i == 1 && byte(0) == 0xF4) high = 0x8F;
      if (byte(i) < low || byte(i) > high) break;
    }
    wellFormed = i == rule.length;
    return i;
  }
  return 1;
}

// Whole texts, in runs of each kind of character and broken pieces, convert
// as their pieces do one at a time (which the test above holds against
// iconv), whatever the run lengths and wherever the text's end and the
// conversion's internal pieces of a few kilobytes cut them.
TEST(UnicodeToCp932, TextsConvertAsTheirCharactersOneAtATime) {
  std::mt19937 random(1211);
  const auto pick = [&](uint32_t below) { return static_cast<uint32_t>(random() % below); };
  const char32_t kSamples[] = {U'a',   U'\\',  U'~',   0x7F,   0xA5,   0xE9,
                               0x3042, 0x30A2, 0x4E9C, 0x9ED1, 0x301C, 0xFF71,
                               0xFF5E, 0x2460, 0xE000, 0x0800, 0xFFFD, 0x1F385};
  const std::string kBroken[] = {"\x80",         "\xBF",         "\xC0\xAF",         "\xE3\x81",
                                 "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF",
                                 "\xF0\x9F\x8E"};
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const size_t target = pick(4) == 0 ? 4096 * 2 + pick(64) : pick(200);
    while (text.size() < target) {
      switch (pick(4)) {
        case 0:  // ASCII, runs of every length across the sixteen-byte copies
          for (uint32_t n = pick(40); n > 0; --n) text += static_cast<char>(0x20 + pick(0x5F));
          break;
        case 1:  // kana and kanji, as Japanese text has them
          for (uint32_t n = pick(12); n > 0; --n) text += Utf8Of(0x3041 + pick(0x9FA0 - 0x3041));
          break;
        case 2:
          text += Utf8Of(kSamples[pick(std::size(kSamples))]);
          break;
        default:
          text += kBroken[pick(std::size(kBroken))];
          break;
      }
    }
    std::string expected = "kept";
    for (size_t pos = 0; pos < text.size();) {
      bool wellFormed = false;
      const size_t length = PieceLength(text, pos, wellFormed);
      if (wellFormed) {
        AppendUtf8AsCp932(expected, text.substr(pos, length));
      } else {
        expected += kGeta;
      }
      pos += length;
    }
    std::string actual = "kept";
    AppendUtf8AsCp932(actual, text);
    ASSERT_EQ(actual, expected) << testing::PrintToString(text);
  }
}

TEST(MailTextDecoder, EachCharsetIntoCp932) {
  struct Case {
    const char* charset;
    std::string line;
    std::string cp932;
  };
  const TJisConv jisConv;
  TMailTextDecoder decoder(jisConv);
  const Case cases[] = {
      {"ISO-2022-JP", "\x1B$B$\"\x1B(B", "\x82\xA0"},
      {"iso-2022-jp-2", "\x1B$B$\"\x1B(B", "\x82\xA0"},
      {"ISO-2022-JP-2", "a\x1B$(D\"/\x1B(B", "a" + std::string(kGeta)},            // JIS X 0212 ˘
      {"ISO-2022-JP-2004", "\x1B$(Q!\"\x1B(B\x1B$B-!\x1B(B", "\x81\x41\x87\x40"},  // 、①
      {"ISO-2022-JP-3", "\x1B$(P!!\x1B(B", std::string(kGeta)},                    // plane 2 𠂉
      {"ISO-2022-JP", "\x1B$(Q!\"\x1B(B", "\x1B$(Q!\""},  // as TJisConv always read it
      {"EUC-JP", "\xA4\xA2", "\x82\xA0"},
      {"Shift_JIS", "\x82\xA0\x87\x40", "\x82\xA0\x87\x40"},
      {"windows-31j", "\x82\xA0", "\x82\xA0"},
      {"UTF-8", "\xE3\x81\x82", "\x82\xA0"},
      {"iso-8859-1", "caf\xE9 \xA3", "caf" + std::string(kGeta) + " \x81\x92"},
      {"gb2312", "\xD6\xD0", "\x92\x86"},  // 中
      {"utf-16be", std::string("\x30\x42\xD8", 3), "\x82\xA0" + std::string(kGeta)},
      {"us-ascii", "abc", "abc"},
      {"ISO-2022-JP", "\xE3\x81\x82", "\x82\xA0"},  // raw UTF-8 under the label
      // What is taken as it stands is well-formed CP932 when it reaches a row.
      {"Shift_JIS", "\x82\xA0\x82", "\x82\xA0" + std::string(kGeta)},  // lead byte at the end
      {"Shift_JIS", "\x82\x20x", std::string(kGeta) + " x"},           // lead byte before a blank
      {"Shift_JIS", "\xFD\xA1\x87\x40", std::string(kGeta) + "\xA1\x87\x40"},
      {"EUC-JP", "\x80\xA4\xA2", std::string(kGeta) + "\x82\xA0"},
      {"ISO-2022-JP", "\xFF", std::string(kGeta)},
  };
  for (const auto& c : cases) {
    decoder.Start(c.charset);
    EXPECT_EQ(decoder.DecodeLine(c.line), c.cp932) << c.charset;
  }
}

TEST(MailTextDecoder, ByteOrderMarkOnlyAtTheStartOfTheText) {
  const TJisConv jisConv;
  TMailTextDecoder decoder(jisConv);
  for (const char* charset : {"utf-8", ""}) {
    decoder.Start(charset);
    EXPECT_EQ(decoder.DecodeLine("\xEF\xBB\xBF"
                                 "a:1"),
              "a:1")
        << charset;
    EXPECT_EQ(decoder.DecodeLine("\xEF\xBB\xBF"
                                 "a:1"),
              std::string(kGeta) + "a:1")
        << charset;
  }
}

TEST(MailTextDecoder, UndeclaredTextIsToldApartLineByLine) {
  const TJisConv jisConv;
  TMailTextDecoder decoder(jisConv);
  struct Case {
    std::string line;
    std::string cp932;
    const char* what;
  };
  const Case cases[] = {
      {"a\x1B$B$\"\x1B(B", "a\x82\xA0", "ESC $ B"},
      {"\x1B$@$\"\x1B(B", "\x82\xA0", "ESC $ @"},
      {"\x1B(I1\x1B(B", "\xB1", "ESC ( I"},
      {"\xE3\x81\x82", "\x82\xA0", "well-formed UTF-8"},
      {"\x82\xA0\x82\xA2", "\x82\xA0\x82\xA2", "Shift-JIS stays"},
      {"\xA4\xA2", "\xA4\xA2", "neither: as it is"},
      {"a\x80\xA0\xFF\x82", "a\x81\xAC\x81\xAC\x81\xAC\x81\xAC", "no CP932: geta marks"},
      {"plain", "plain", "ASCII"},
  };
  for (const auto& c : cases) {
    decoder.Start("");
    EXPECT_EQ(decoder.DecodeLine(c.line), c.cp932) << c.what;
  }
}

}  // namespace
}  // namespace vexalo
