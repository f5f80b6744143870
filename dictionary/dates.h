#pragma once

#include <cstdint>

// Dates and times as the platform stores them in data files, so that our
// values compare, sort and subtract exactly like the users' old ones.
//
// A date is a day number counted from 28 December 1800 (day 0, a Sunday);
// 0 means "no date". Only kFirstDate..kLastDate (1801-01-01..2099-12-31) is
// valid, and every function here answers 0 (or -1 for dayOfWeek) outside it.
//
// A time is hundredths of a second since midnight plus one, so that midnight
// (1) is distinct from "no time" (0); the last one is 23:59:59.99 = 8640000.
namespace velmora::dates {

inline constexpr int32_t kFirstDate = 4;       // 1801-01-01
inline constexpr int32_t kLastDate = 109211;   // 2099-12-31
inline constexpr int32_t kLastTime = 8640000;  // 23:59:59.99

struct Ymd {
  int year = 0;
  int month = 0;
  int day = 0;
  bool operator==(const Ymd&) const = default;
};

// Gregorian rules: 1900 is not leap, 2000 is.
bool isLeapYear(int year);
// 0 for a month outside 1..12.
int daysInMonth(int month, int year);

// Lenient, like the platform's DATE(month, day, year): months outside 1..12
// roll into neighbouring years and the day is counted from the first of the
// month, so day 0 is the last day of the previous month. 0 outside the range.
int32_t dateOf(int month, int day, int year);
// Strict: 0 for an impossible calendar date (30 February) or outside the range.
int32_t fromYmd(Ymd ymd);
Ymd toYmd(int32_t date);  // {0, 0, 0} outside the range

bool isValidDate(int32_t date);
int dayOf(int32_t date);
int monthOf(int32_t date);
int yearOf(int32_t date);
int dayOfWeek(int32_t date);  // 0 = Sunday .. 6 = Saturday

// 0 if any part is out of range (hour 0..23, minute and second 0..59,
// hundredths 0..99).
int32_t timeOf(int hour, int minute, int second, int hundredths = 0);
// 0 for "no time" and for values past kLastTime.
int hourOf(int32_t t);
int minuteOf(int32_t t);
int secondOf(int32_t t);
int hundredthsOf(int32_t t);

// Local wall clock; today() is 0 if the clock is outside the date range.
int32_t today();
int32_t clockTime();

}  // namespace velmora::dates
