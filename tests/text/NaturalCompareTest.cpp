#include <gtest/gtest.h>

#include "text/NaturalCompare.h"

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

TEST(CompareNatural, EqualOnlyForTheSameBytes) {
  for (const char* text : {"", "10", "2026/12/10 9:00:00", "\x8e\x52\x93\x63"}) {
    EXPECT_EQ(CompareNatural(text, text), 0) << text;
  }
}

}  // namespace
}  // namespace vexalo
