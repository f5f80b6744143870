#include "dictionary/dates.h"

#include <chrono>
#include <ctime>

namespace velmora::dates {

namespace {

// Arithmetic is done in 64 bits so that dateOf() with extreme arguments
// cannot overflow before the range check rejects it.
constexpr int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1 March of year 0 (proleptic Gregorian). Starting the year in
// March puts the leap day last, which makes the month lengths a linear
// formula and the whole conversion closed-form.
constexpr int64_t civilDays(int64_t year, int month, int day) {
  if (month <= 2) --year;
  const int64_t era = floorDiv(year, 400);
  const int64_t yoe = year - era * 400;                       // [0, 399]
  const int64_t mp = month > 2 ? month - 3 : month + 9;       // March = 0
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;           // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;  // [0, 146096]
  return era * 146097 + doe;
}

constexpr int64_t kDayZero = civilDays(1800, 12, 28);

constexpr Ymd civilFromDays(int64_t days) {
  const int64_t era = floorDiv(days, 146097);
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

constexpr bool inRange(int64_t date) { return date >= kFirstDate && date <= kLastDate; }

constexpr int64_t dayNumber(int64_t year, int month, int day) {
  return civilDays(year, month, day) - kDayZero;
}

static_assert(dayNumber(1801, 1, 1) == kFirstDate);
static_assert(dayNumber(2099, 12, 31) == kLastDate);
static_assert(civilFromDays(kDayZero + kLastDate) == Ymd{2099, 12, 31});

constexpr bool validTime(int32_t t) { return t > 0 && t <= kLastTime; }

}  // namespace

bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int daysInMonth(int month, int year) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

int32_t dateOf(int month, int day, int year) {
  const int64_t m0 = static_cast<int64_t>(month) - 1;
  const int64_t yearShift = floorDiv(m0, 12);
  const int64_t first = dayNumber(year + yearShift, static_cast<int>(m0 - yearShift * 12) + 1, 1);
  const int64_t date = first + day - 1;
  return inRange(date) ? static_cast<int32_t>(date) : 0;
}

int32_t fromYmd(Ymd ymd) {
  if (ymd.day < 1 || ymd.day > daysInMonth(ymd.month, ymd.year)) return 0;
  const int64_t date = dayNumber(ymd.year, ymd.month, ymd.day);
  return inRange(date) ? static_cast<int32_t>(date) : 0;
}

Ymd toYmd(int32_t date) { return inRange(date) ? civilFromDays(kDayZero + date) : Ymd{}; }

bool isValidDate(int32_t date) { return inRange(date); }
int dayOf(int32_t date) { return toYmd(date).day; }
int monthOf(int32_t date) { return toYmd(date).month; }
int yearOf(int32_t date) { return toYmd(date).year; }
int dayOfWeek(int32_t date) { return inRange(date) ? date % 7 : -1; }

int32_t timeOf(int hour, int minute, int second, int hundredths) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      hundredths < 0 || hundredths > 99) {
    return 0;
  }
  return ((hour * 60 + minute) * 60 + second) * 100 + hundredths + 1;
}

int hourOf(int32_t t) { return validTime(t) ? (t - 1) / 360000 : 0; }
int minuteOf(int32_t t) { return validTime(t) ? (t - 1) / 6000 % 60 : 0; }
int secondOf(int32_t t) { return validTime(t) ? (t - 1) / 100 % 60 : 0; }
int hundredthsOf(int32_t t) { return validTime(t) ? (t - 1) % 100 : 0; }

namespace {

struct LocalNow {
  std::tm tm{};
  int hundredths = 0;
};

LocalNow localNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  // Floor explicitly: to_time_t may round, which would pair the next
  // second with this second's hundredths.
  const auto whole = floor<seconds>(now);
  const std::time_t secs = system_clock::to_time_t(whole);
  LocalNow result;
  result.hundredths = static_cast<int>(duration_cast<milliseconds>(now - whole).count() / 10);
#ifdef _WIN32
  localtime_s(&result.tm, &secs);
#else
  localtime_r(&secs, &result.tm);
#endif
  return result;
}

}  // namespace

int32_t today() {
  const std::tm tm = localNow().tm;
  return fromYmd({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday});
}

int32_t clockTime() {
  const LocalNow now = localNow();
  // A leap second (tm_sec 60) would otherwise make timeOf() answer "no time".
  const int sec = now.tm.tm_sec > 59 ? 59 : now.tm.tm_sec;
  return timeOf(now.tm.tm_hour, now.tm.tm_min, sec, now.hundredths);
}

}  // namespace velmora::dates
