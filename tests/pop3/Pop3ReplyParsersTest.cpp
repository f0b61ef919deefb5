#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "pop3/Pop3ReplyParsers.h"

namespace vexalo {
namespace {

TEST(Pop3ReplyParsersTest, DecimalReader) {
  const struct {
    std::string text;
    int32_t value;
  } cases[] = {
      {"42abc", 42},
      {" \t\r\n7 8", 7},
      {"-5", 0},  // no sign
      {"", 0},
      {"x1", 0},
      {"2147483647", 2147483647},
      {"99999999999999999999", std::numeric_limits<int32_t>::max()},  // stays at the top
  };
  for (const auto& c : cases) EXPECT_EQ(ReadDecimal(c.text), c.value) << '"' << c.text << '"';
}

TEST(Pop3ReplyParsersTest, TwoNumbers) {
  const struct {
    std::string line;
    int32_t first, second;
  } cases[] = {
      {"+OK 2 320", 2, 320},
      {"+OK\t3\t\t4 octets", 3, 4},
      {"+OK 2", 0, 0},  // one number: both 0
      {"+OK 2   ", 0, 0},
      {"+OK 2 x", 2, 0},
      {"+OK", 0, 0},
      {"", 0, 0},
      {"+OK msg 7 size 9", 7, 0},
  };
  for (const auto& c : cases) {
    const TwoNumbers two = ParseTwoNumbers(c.line);
    EXPECT_EQ(two.first, c.first) << c.line;
    EXPECT_EQ(two.second, c.second) << c.line;
  }
}

TEST(Pop3ReplyParsersTest, UidlLine) {
  const std::string longest(kMaxUniqueIdLength, '~');
  const struct {
    std::string line;
    int32_t number;
    std::string id;
    bool valid;
  } cases[] = {
      {"+OK 1 whqtswO00WBw418f9t5JxYwZ", 1, "whqtswO00WBw418f9t5JxYwZ", true},
      {"12 abc", 12, "abc", true},
      {"1\tabc", 1, "abc", true},
      {"7 abc  ", 7, "abc", true},
      {"2 " + longest, 2, longest, true},
      {"2 " + longest + "!", 2, longest + "!", false},       // over 70 bytes
      {"+OK 1 ab cd", 1, "ab cd", false},                    // whole, never cut at the blank
      {"+OK 4 id\x81\x40more", 4, "id\x81\x40more", false},  // bytes outside 0x21-0x7E
      {"+OK 3", 3, "", false},
      {"+OK 3   ", 3, "", false},
      {"0 abc", 0, "abc", false},
      {"+OK", 0, "", false},
      {"", 0, "", false},
  };
  for (const auto& c : cases) {
    const UidlEntry entry = ParseUidlLine(c.line);
    EXPECT_EQ(entry.number, c.number) << c.line;
    EXPECT_EQ(entry.id, c.id) << c.line;
    EXPECT_EQ(entry.valid, c.valid) << c.line;
  }
}

}  // namespace
}  // namespace vexalo
