#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "table/NaturalCompare.h"

namespace vexalo {
namespace {

struct OrderCase {
  const char* first;   // comes first
  const char* second;  // comes after it
};

TEST(CompareNatural, OrdersAsAnOfficeListDoes) {
  // A digit after a byte escape needs a string of its own; kept one case a line.
  // clang-format off
  const OrderCase cases[] = {
      {"9", "10"},
      {"2", "10"},
      {"item9", "item10"},
      {"a9b", "a10a"},                                // the number decides before the text after it
      {"99999999999999999999", "100000000000000000000"},  // longer than any integer type
      {"007", "8"},
      {"01", "1"},                                    // equal numbers: the bytes decide at the end
      {"1a", "01b"},                                  // ... but only when all else is equal
      // Run stamps: the hour has no leading zero, the time is left out at 0:00:00.
      {"2026/12/10 9:00:00", "2026/12/10 10:00:00"},
      {"2026/12/10 23:59:59", "2026/12/11 0:00:01"},
      {"2026/12/10", "2026/12/10 0:00:01"},
      {"2026/9/30", "2026/10/1"},
      // A number sits where its first digit would among the other bytes.
      {"/", "0"},
      {"9", ":"},
      {"a1", "aa"},
      {"A", "a"},
      {"abc", "abcd"},
      {"", "a"},
      // CP932: double-byte characters after ASCII, in their code order.
      {"z", "\x82\xa0"},                         // あ
      {"\x82\xa0", "\x82\xa2"},                  // あ, い
      {"\x8e\x52\x93\x63", "\x97\xe9\x96\xd8"},  // 山田, 鈴木
      {"\x82\xa0", "\xb1"},                      // あ before half-width ｱ: by the bytes
      {"\x96\xbc" "9", "\x96\xbc" "10"},         // 名9, 名10
      {"\x83\x40" "2", "\x83\x40" "12"},         // ァ (trail byte '@') then a number
      {"\x82" "9", "\x82" "10"},                 // a cut character before a number
      {"\x82\x4f", "\x82\x50"},                  // full-width ０, １: no numbers
  };
  // clang-format on
  for (const OrderCase& c : cases) {
    EXPECT_LT(CompareNatural(c.first, c.second), 0) << c.first << " / " << c.second;
    EXPECT_GT(CompareNatural(c.second, c.first), 0) << c.second << " / " << c.first;
  }
}

TEST(CompareNatural, CommasBetweenDigitsAreThousandsSeparators) {
  // "，" is 0x81 0x43, the comma every stored cell holds.
  // clang-format off
  const OrderCase cases[] = {
      {"999", "1\x81\x43" "000"},
      {"2", "1\x81\x43" "000"},
      {"12", "1\x81\x43" "000"},
      {"1\x81\x43" "000", "2\x81\x43" "500"},
      {"2\x81\x43" "500", "12\x81\x43" "000"},
      {"1\x81\x43" "000", "10000"},                     // the same beginning, one digit more
      {"1\x81\x43" "000", "1\x81\x43" "0000"},
      {"999", "1,000"},                                 // the ASCII comma alike
      {"1,000", "1\x81\x43" "500"},
      {"\x8b\xe0\x8a\x7a" "900\x89\x7e", "\x8b\xe0\x8a\x7a" "1\x81\x43" "200\x89\x7e"},  // 金額900円, 金額1，200円
      {"1", "1,x"},                                     // no digit after it: no separator
      {"1,x", "1,5"},                                   // 1 then "," against 15
      {"1\x81\x43", "1\x81\x43" "5"},
      {"1000", "1\x81\x43" "000"},                      // equal numbers: the bytes decide
  };
  // clang-format on
  for (const OrderCase& c : cases) {
    EXPECT_LT(CompareNatural(c.first, c.second), 0) << c.first << " / " << c.second;
    EXPECT_GT(CompareNatural(c.second, c.first), 0) << c.second << " / " << c.first;
  }
}

// A sort needs a strict weak order: texts built from digits, commas and the
// bytes of "，" checked for antisymmetry and transitivity, every triple.
TEST(CompareNatural, IsAConsistentOrderAroundSeparators) {
  const char alphabet[] = {'1', '5', ',', '\x81', '\x43', 'x'};
  std::vector<std::string> texts;
  uint32_t state = 12345;
  for (int n = 0; n < 150; ++n) {
    std::string text;
    state = state * 1103515245u + 12345u;
    const uint32_t length = (state >> 16) % 5;
    for (uint32_t k = 0; k < length; ++k) {
      state = state * 1103515245u + 12345u;
      text += alphabet[(state >> 16) % sizeof(alphabet)];
    }
    texts.push_back(text);
  }
  const auto sign = [](int order) { return (order > 0) - (order < 0); };
  for (const std::string& a : texts) {
    for (const std::string& b : texts) {
      ASSERT_EQ(sign(CompareNatural(a, b)), -sign(CompareNatural(b, a))) << a << " / " << b;
      for (const std::string& c : texts) {
        if (CompareNatural(a, b) < 0 && CompareNatural(b, c) < 0) {
          ASSERT_LT(CompareNatural(a, c), 0) << a << " / " << b << " / " << c;
        }
      }
    }
  }
}

TEST(CompareNatural, EqualOnlyForTheSameBytes) {
  for (const char* text : {"", "10", "2026/12/10 9:00:00", "\x8e\x52\x93\x63"}) {
    EXPECT_EQ(CompareNatural(text, text), 0) << text;
  }
}

}  // namespace
}  // namespace vexalo
