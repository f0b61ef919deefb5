#include <gtest/gtest.h>

#include <QTest>
#include <stdexcept>

#include "app/PollingInterval.h"

namespace vexalo {
namespace {

TEST(PollingIntervalTest, MinutesBecomeMilliseconds) {
  EXPECT_EQ(PollingIntervalMs(0), 0);
  EXPECT_EQ(PollingIntervalMs(5), 300000);
  EXPECT_EQ(PollingIntervalMs(9999), 599940000);
  EXPECT_EQ(PollingIntervalMs(-1), 0);
  EXPECT_EQ(PollingIntervalMs(-999), 0);
  EXPECT_EQ(PollingIntervalMs(35791), 2147460000);
  // Past what a timer holds: the longest interval, not a wrapped product.
  EXPECT_EQ(PollingIntervalMs(35792), INT_MAX);
  EXPECT_EQ(PollingIntervalMs(INT32_MAX), INT_MAX);
}

TEST(PollingIntervalTest, TextSetsOrStopsTheTimer) {
  QTimer timer;
  ApplyIntervalText(timer, "0");
  EXPECT_FALSE(timer.isActive());
  ApplyIntervalText(timer, "5");
  EXPECT_TRUE(timer.isActive());
  EXPECT_EQ(timer.interval(), 300000);
  ApplyIntervalText(timer, "9999");
  EXPECT_TRUE(timer.isActive());
  EXPECT_EQ(timer.interval(), 599940000);
  ApplyIntervalText(timer, "-5");
  EXPECT_FALSE(timer.isActive());
  EXPECT_EQ(timer.interval(), 0);
  EXPECT_FALSE(timer.isSingleShot());
}

TEST(PollingIntervalTest, TextThatIsNoIntegerLeavesTheTimerAsItWas) {
  QTimer timer;
  ApplyIntervalText(timer, "5");
  for (const char* text : {"abc", "", " 5 "}) {
    EXPECT_THROW(ApplyIntervalText(timer, text), std::runtime_error) << text;
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), 300000);
  }
  QTimer off;
  try {
    ApplyIntervalText(off, "abc");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    // 'abc' は整数ではありません
    EXPECT_STREQ(error.what(),
                 "'abc' \x82\xcd\x90\xae\x90\x94\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9"
                 "\x82\xf1");
  }
  EXPECT_FALSE(off.isActive());
}

TEST(PollingIntervalTest, OnlyAChangedIntervalRestartsTheCountdown) {
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);  // a coarse one may report more than its interval
  ApplyIntervalText(timer, "5");
  QTest::qWait(30);
  ApplyIntervalText(timer, "5");
  ApplyIntervalText(timer, "0x5");  // same number, other spelling
  EXPECT_LT(timer.remainingTime(), 300000 - 10) << "the countdown was restarted";
  ApplyIntervalText(timer, "6");
  EXPECT_GT(timer.remainingTime(), 300000) << "a new interval starts afresh";
}

}  // namespace
}  // namespace vexalo
