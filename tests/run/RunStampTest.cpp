#include <gtest/gtest.h>

#include <regex>

#include "run/RunStamp.h"

namespace vexalo {
namespace {

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(RunStampTest, ShortDateBlankLongTimeWithTheTimeLeftOutAtMidnight) {
  struct Case {
    std::tm time;
    const char* text;
  };
  const Case cases[] = {
      {LocalTime(2024, 3, 5, 14, 7, 9), "2024/03/05 14:07:09"},
      {LocalTime(2024, 12, 31, 9, 0, 0), "2024/12/31 9:00:00"},
      {LocalTime(2025, 1, 1, 0, 0, 0), "2025/01/01"},
      {LocalTime(2025, 1, 1, 0, 0, 1), "2025/01/01 0:00:01"},
      {LocalTime(2025, 1, 1, 0, 1, 0), "2025/01/01 0:01:00"},
      {LocalTime(2025, 6, 30, 23, 59, 59), "2025/06/30 23:59:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatRunStamp(c.time), c.text);
  }
}

TEST(RunStampTest, CurrentTimeHasTheSameFormAndNoComma) {
  const std::string stamp = RunStampNow();
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}/\d\d/\d\d( \d{1,2}:\d\d:\d\d)?)")))
      << stamp;
  EXPECT_EQ(stamp.find(','), std::string::npos);
}

}  // namespace
}  // namespace vexalo
