#include <gtest/gtest.h>

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
