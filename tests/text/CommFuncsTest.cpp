#include <gtest/gtest.h>

#include <string>

#include "text/CommFuncs.h"

namespace vexalo {
namespace {

struct SplitCase {
  const char* text;
  const char* token;
  const char* name;
  const char* value;
  bool found = true;  // whether the token was there
};

TEST(SplitAtToken, SplitsAtFirstTokenAndTrims) {
  const SplitCase cases[] = {
      {"\x96\xbc\x91\x4f:\x8e\x52\x93\x63", ":", "\x96\xbc\x91\x4f",
       "\x8e\x52\x93\x63"},                                           // 名前:山田
      {"\x8e\x9e\x8d\x8f: 10:30", ":", "\x8e\x9e\x8d\x8f", "10:30"},  // 時刻: 10:30
      {"no separator", ":", "no separator", "", false},
      {":rest:more", ":", "", "rest:more"},
      {"", ":", "", "", false},
      {"a:", ":", "a", ""},
      {"a ", " ", "a", ""},  // a blank separator at the end still splits
      {"  a  :  b  ", ":", "a", "b"},
      {"a:b", "", "a:b", "", false},      // empty token never splits
      {"a::b", "::", "a::b", "", false},  // two-byte token never splits
      {"\t\x01x=y\x20", "=", "x", "y"},
  };
  for (const auto& c : cases) {
    const SplitText split = SplitAtToken(c.text, c.token);
    EXPECT_EQ(split.name, c.name) << c.text;
    EXPECT_EQ(split.value, c.value) << c.text;
    EXPECT_EQ(split.found, c.found) << c.text;
  }
}

TEST(SplitAtToken, TrailByteTokenNeverCutsDoubleByteCharacter) {
  // 表 is 0x95 0x5C and ソ is 0x83 0x5C: "\" must not match inside them;
  // ＠ is 0x81 0x97 and a lone "@" (0x40) must be found after 機 (0x8B 0x40).
  const SplitCase cases[] = {
      {"\x95\x5c\x8e\xa6\\value", "\\", "\x95\x5c\x8e\xa6", "value"},
      {"\x83\x5c\x83\x74\x83\x67", "\\", "\x83\x5c\x83\x74\x83\x67", "", false},
      {"\x8b\x40\x8a\xed@x", "@", "\x8b\x40\x8a\xed", "x"},
      {"\xb1\xb2|\xb3", "|", "\xb1\xb2", "\xb3"},  // half-width kana are single bytes
  };
  for (const auto& c : cases) {
    const SplitText split = SplitAtToken(c.text, c.token);
    EXPECT_EQ(split.name, c.name) << c.text;
    EXPECT_EQ(split.value, c.value) << c.text;
    EXPECT_EQ(split.found, c.found) << c.text;
  }
}

TEST(SplitAtToken, SplitsAtWhicheverOfTokenAndItsFullWidthFormComesFirst) {
  const SplitCase cases[] = {
      // 品名：りんご, typed with the full-width colon
      {"\x95\x69\x96\xbc\x81\x46\x82\xe8\x82\xf1\x82\xb2", ":", "\x95\x69\x96\xbc",
       "\x82\xe8\x82\xf1\x82\xb2"},
      {"a:b", ":", "a", "b"},
      {"a \x81\x46 b:c", ":", "a", "b:c"},  // ： before :
      {"a:b\x81\x46"
       "c",
       ":", "a",
       "b\x81\x46"
       "c"},  // : before ：
      {"x\x81\x81"
       "1",
       "=", "x", "1"},                                    // ＝
      {"\x82\x60=\x82\x60", "A", "", "=\x82\x60"},        // Ａ for "A"
      {"\x8b\x40\x81\x97mail", "@", "\x8b\x40", "mail"},  // 機＠: 0x40 only as a trail byte
      {"\x81\x5f\x95\x5c", "\\", "", "\x95\x5c"},         // ＼ before 表 (0x95 0x5C)
      // 0x81 0x46 standing across 院 (0x88 0x81) and "F" is no separator
      {"\x88\x81\x46=1", ":", "\x88\x81\x46=1", ""},
      {"\x88\x81\x46:1", ":", "\x88\x81\x46", "1"},
  };
  for (const auto& c : cases) {
    const SplitText split = SplitAtToken(c.text, c.token);
    EXPECT_EQ(split.name, c.name) << c.text;
    EXPECT_EQ(split.value, c.value) << c.text;
  }
}

TEST(FullWidthForm, EveryPrintableAsciiByteHasItsTwoByteForm) {
  EXPECT_EQ(FullWidthForm(':'), "\x81\x46");
  EXPECT_EQ(FullWidthForm('!'), "\x81\x49");
  EXPECT_EQ(FullWidthForm('"'), "\xfa\x57");
  EXPECT_EQ(FullWidthForm('0'), "\x82\x4f");
  EXPECT_EQ(FullWidthForm('Z'), "\x82\x79");
  EXPECT_EQ(FullWidthForm('a'), "\x82\x81");
  EXPECT_EQ(FullWidthForm('~'), "\x81\x60");
  EXPECT_EQ(FullWidthForm(' '), "");
  EXPECT_EQ(FullWidthForm('\x7f'), "");
  EXPECT_EQ(FullWidthForm('\x81'), "");
  for (int c = 0x21; c <= 0x7E; ++c) {
    const std::string_view form = FullWidthForm(static_cast<char>(c));
    ASSERT_EQ(form.size(), 2u) << c;
    EXPECT_TRUE(IsSjisLeadByte(static_cast<unsigned char>(form[0]))) << c;
  }
}

TEST(FoldForSearch, CaseAndFullWidthFormsFindAlike) {
  const struct {
    const char* text;
    const char* needle;
    bool found;
  } cases[] = {
      {"2\x81\x43"
       "500",
       "2,500", true},                            // 2，500
      {"\x82\x60\x82\x61\x82\x62", "abc", true},  // ＡＢＣ
      {"\x82\x81\x82\x82", "AB", true},           // ａｂ
      {"Order", "oRDER", true},
      {"\x8e\x9e\x8d\x8f\x81\x46"
       "10",
       "\x8e\x9e\x8d\x8f:", true},             // 時刻：10
      {"\x8e\x52\x93\x63", "\x8e\x52", true},  // 山田 holds 山
      {"\x83\x61", "A", false},                // ダ: 'a' only as a trail byte
      {"\x95\x5c\x8e\xa6", "\\", false},       // 表示 holds no backslash
      {"\x88\x81\x46", ":", false},            // 0x81 0x46 across two characters
      {"abc", "abd", false},
  };
  std::string folded;
  std::string needle;
  for (const auto& c : cases) {
    FoldForSearch(c.text, folded);
    FoldForSearch(c.needle, needle);
    EXPECT_EQ(HoldsFolded(folded, needle), c.found) << c.text << " / " << c.needle;
  }
}

TEST(TextRoutines, EscapeUpperTrim) {
  EXPECT_EQ(EscapeCommas("1,000"),
            "1\x81\x43"
            "000");
  EXPECT_EQ(EscapeCommas(",,"), "\x81\x43\x81\x43");
  EXPECT_EQ(UpperAscii("x-vexalo: Default \x83\x61\xe0"), "X-VEXALO: DEFAULT \x83\x41\xe0");
  EXPECT_EQ(TrimText(std::string_view("\0 a b \x20\x1f", 7)), "a b");
}

TEST(TextRoutines, EqualIgnoringAsciiCaseMatchesComparingUpperCasedTexts) {
  const struct {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {"Content-Type", "CONTENT-TYPE", true},
      {"x-vexalo: Default", "X-VEXALO: DEFAULT", true},
      {"", "", true},
      {"Content-Type ", "CONTENT-TYPE", false},  // length counts
      {"\x83\x61", "\x83\x41", true},            // byte-wise, like UpperAscii
      {"\x82\xa0", "\x82\x80", false},           // no case beyond a-z
      {"[", "{", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(EqualIgnoringAsciiCase(c.a, c.b), UpperAscii(c.a) == UpperAscii(c.b)) << c.a;
  }
}

}  // namespace
}  // namespace vexalo
