#include "dictionary/dates.h"

#include <climits>

#include <gtest/gtest.h>

namespace velmora::dates {
namespace {

TEST(Dates, RangeEnds) {
  EXPECT_EQ(fromYmd({1801, 1, 1}), 4);
  EXPECT_EQ(fromYmd({2099, 12, 31}), 109211);
  EXPECT_EQ(toYmd(4), (Ymd{1801, 1, 1}));
  EXPECT_EQ(toYmd(109211), (Ymd{2099, 12, 31}));
  for (int32_t bad : {INT32_MIN, -1, 0, 3, 109212, INT32_MAX}) {
    EXPECT_FALSE(isValidDate(bad)) << bad;
    EXPECT_EQ(toYmd(bad), Ymd{}) << bad;
    EXPECT_EQ(yearOf(bad) + monthOf(bad) + dayOf(bad), 0) << bad;
    EXPECT_EQ(dayOfWeek(bad), -1) << bad;
  }
  EXPECT_EQ(fromYmd({1800, 12, 31}) + fromYmd({2100, 1, 1}) + fromYmd({INT_MIN, 1, 1}), 0);
  EXPECT_EQ(dateOf(1, 0, 1801), 0);
  EXPECT_EQ(dateOf(12, 32, 2099), 0);
}

TEST(Dates, LeapYears) {
  EXPECT_FALSE(isLeapYear(1900));
  EXPECT_TRUE(isLeapYear(2000));
  EXPECT_EQ(daysInMonth(2, 1900), 28);
  EXPECT_EQ(daysInMonth(2, 2000), 29);
  EXPECT_EQ(daysInMonth(13, 2000), 0);
  EXPECT_EQ(fromYmd({1900, 2, 29}), 0);
  EXPECT_EQ(toYmd(fromYmd({1900, 2, 28}) + 1), (Ymd{1900, 3, 1}));
  EXPECT_NE(fromYmd({2000, 2, 29}), 0);
  EXPECT_EQ(toYmd(fromYmd({2000, 2, 28}) + 1), (Ymd{2000, 2, 29}));
  EXPECT_EQ(fromYmd({2000, 4, 31}), 0);
}

TEST(Dates, EveryDayRoundTripsAndAdvances) {
  Ymd prev = toYmd(kFirstDate);
  for (int32_t d = kFirstDate; d <= kLastDate; ++d) {
    const Ymd ymd = toYmd(d);
    ASSERT_EQ(fromYmd(ymd), d);
    ASSERT_EQ(dateOf(ymd.month, ymd.day, ymd.year), d);
    if (d == kFirstDate) continue;
    const bool nextDay =
        ymd.year == prev.year && ymd.month == prev.month && ymd.day == prev.day + 1;
    const bool nextMonth =
        ymd.day == 1 && prev.day == daysInMonth(prev.month, prev.year) &&
        (ymd.month == prev.month + 1 ? ymd.year == prev.year
                                     : ymd.month == 1 && ymd.year == prev.year + 1);
    ASSERT_TRUE(nextDay || nextMonth) << d;
    prev = ymd;
  }
}

TEST(Dates, DateOfRollsOver) {
  EXPECT_EQ(dateOf(1, 32, 2020), fromYmd({2020, 2, 1}));
  EXPECT_EQ(dateOf(3, 0, 2020), fromYmd({2020, 2, 29}));
  EXPECT_EQ(dateOf(3, 0, 2021), fromYmd({2021, 2, 28}));
  EXPECT_EQ(dateOf(13, 1, 2020), fromYmd({2021, 1, 1}));
  EXPECT_EQ(dateOf(0, 1, 2020), fromYmd({2019, 12, 1}));
  EXPECT_EQ(dateOf(-12, 1, 2020), fromYmd({2018, 12, 1}));
  EXPECT_EQ(dateOf(25, -1, 2020), fromYmd({2021, 12, 30}));
  EXPECT_EQ(dateOf(1, 1, 1000), 0);
  // Extreme arguments must be rejected, not wrap around into the range.
  EXPECT_EQ(dateOf(INT_MAX, INT_MAX, INT_MAX), 0);
  EXPECT_EQ(dateOf(INT_MIN, INT_MIN, INT_MIN), 0);
  EXPECT_EQ(dateOf(1, INT_MAX, 1801), 0);
}

TEST(Dates, DayOfWeek) {
  EXPECT_EQ(dayOfWeek(fromYmd({1801, 1, 1})), 4);
  EXPECT_EQ(dayOfWeek(fromYmd({2000, 1, 1})), 6);
  EXPECT_EQ(dayOfWeek(fromYmd({2026, 12, 8})), 2);
  EXPECT_EQ(dayOfWeek(fromYmd({2099, 12, 31})), 4);
}

TEST(Times, RoundTripAndBounds) {
  EXPECT_EQ(timeOf(0, 0, 0), 1);
  EXPECT_EQ(timeOf(23, 59, 59, 99), kLastTime);
  for (int32_t t = 1; t <= kLastTime; t += 997) {
    ASSERT_EQ(timeOf(hourOf(t), minuteOf(t), secondOf(t), hundredthsOf(t)), t);
  }
  for (int32_t bad : {INT32_MIN, -1, 0, kLastTime + 1}) {
    EXPECT_EQ(hourOf(bad) + minuteOf(bad) + secondOf(bad) + hundredthsOf(bad), 0) << bad;
  }
  EXPECT_EQ(timeOf(24, 0, 0) + timeOf(-1, 0, 0) + timeOf(0, 60, 0) + timeOf(0, 0, 60) +
                timeOf(0, 0, 0, 100) + timeOf(0, 0, 0, -1),
            0);
}

TEST(Clock, NowIsInRange) {
  EXPECT_TRUE(isValidDate(today()));
  const int32_t t = clockTime();
  EXPECT_GE(t, 1);
  EXPECT_LE(t, kLastTime);
}

}  // namespace
}  // namespace velmora::dates
