#include <gtest/gtest.h>

#include <stdexcept>

#include "text/IntegerText.h"

namespace vexalo {
namespace {

TEST(IntegerTextTest, ReadsTheFormsThePlatformConversionTakes) {
  struct Case {
    const char* text;
    int32_t value;
  };
  const Case cases[] = {
      {"0", 0},
      {"5", 5},
      {"9999", 9999},
      {"  12", 12},
      {"\t7", 7},
      {"+3", 3},
      {"-1", -1},
      {"-999", -999},
      {"007", 7},
      {"$1F", 31},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0XfF", 255},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
  };
  for (const Case& c : cases) {
    const auto value = TextToInteger(c.text);
    ASSERT_TRUE(value.has_value()) << c.text;
    EXPECT_EQ(*value, c.value) << c.text;
  }
}

TEST(IntegerTextTest, RefusesEverythingElse) {
  for (const char* text : {"", " ", "abc", "1a", "12 ", "1.5", "+", "-", "$", "0x", "x", "--1",
                           "+-1", "2147483648", "-2147483649", "$100000000", "99999999999999999999",
                           "\xef\xbc\x91" /* full-width 1 */, "1,000"}) {
    EXPECT_FALSE(TextToInteger(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace vexalo
