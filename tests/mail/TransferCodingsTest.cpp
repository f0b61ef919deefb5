#include <gtest/gtest.h>

#include <string>

#include "mail/Base64Stream.h"
#include "mail/QuotedPrintable.h"

namespace vexalo {
namespace {

std::string DecodeBase64(std::string_view text) {
  Base64Stream stream;
  std::string out;
  stream.Decode(text, out);
  return out;
}

TEST(Base64Stream, DecodesWhatMailersWrite) {
  struct Case {
    std::string text;
    std::string bytes;
    const char* what;
  };
  const Case cases[] = {
      {"44GC", "\xE3\x81\x82", "one group"},
      {"YWI=", "ab", "padding"},
      {"YQ==", "a", "double padding"},
      {"YQ==YWI=", "aab", "padding in the middle: pieces joined"},
      {"Y W\tI\r\n=", "ab", "blanks and line ends skipped"},
      {"YW*I!=", "ab", "bad characters skipped"},
      {"YWJj\x82\xA0ZGVm", "abcdef", "non-ASCII bytes skipped"},
      {"YWJjZA", "abcd", "no padding: whole bytes given"},
      {"Y", "", "six bits make no byte"},
      {"", "", "empty"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeBase64(c.text), c.bytes) << c.what;
}

TEST(Base64Stream, AnyCutBetweenPiecesGivesTheSameBytes) {
  const std::string text = "5ZOB5ZCNOuiWhOWPo+OBl+OCh+OBhuOChg==";
  const std::string whole = DecodeBase64(text);
  ASSERT_EQ(whole,
            "\xE5\x93\x81\xE5\x90\x8D:\xE8\x96\x84\xE5\x8F\xA3\xE3\x81\x97\xE3\x82\x87"
            "\xE3\x81\x86\xE3\x82\x86");
  for (size_t first = 0; first <= text.size(); ++first) {
    for (size_t second = first; second <= text.size(); ++second) {
      Base64Stream stream;
      std::string out;
      stream.Decode(text.substr(0, first), out);
      stream.Decode(text.substr(first, second - first), out);
      stream.Decode(text.substr(second), out);
      EXPECT_EQ(out, whole) << first << " " << second;
    }
  }
}

TEST(QuotedPrintable, DecodesOneLine) {
  struct Case {
    std::string line;
    bool underscoreIsSpace;
    std::string text;
    bool soft;
    const char* what;
  };
  const Case cases[] = {
      {"=E3=81=82", false, "\xE3\x81\x82", false, "escapes"},
      {"=e3=81=82", false, "\xE3\x81\x82", false, "lower-case hex"},
      {"a=3Db", false, "a=b", false, "escaped ="},
      {"abc=", false, "abc", true, "soft line break"},
      {"abc= \t", false, "abc", true, "soft line break before padding"},
      {"abc  ", false, "abc", false, "trailing blanks are padding"},
      {"a =ZZ b", false, "a =ZZ b", false, "broken escape kept"},
      {"x=4", false, "x=4", false, "escape cut short by the end kept"},
      {"=4=41", false, "=4A", false, "broken escape, then a good one"},
      {"a_b", false, "a_b", false, "underscore in a body"},
      {"a_b=5F", true, "a b_", false, "underscore in an encoded word"},
      {"", false, "", false, "empty"},
  };
  for (const auto& c : cases) {
    std::string out = "kept:";
    EXPECT_EQ(DecodeQuotedPrintableLine(c.line, out, c.underscoreIsSpace), c.soft) << c.what;
    EXPECT_EQ(out, "kept:" + c.text) << c.what;
  }
}

}  // namespace
}  // namespace vexalo
