// Dates and times of the pictures: the styles, their display and the
// reading of what an operator types.

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "dictionary/dates.h"
#include "framework/picture_internal.h"

namespace velmora::picture_detail {

// ---------------------------------------------------------------------------
// Dates

struct DateStyle {
  int style;
  const char* order;  // field order: 'd', 'm', 'y'
  bool fullYear;
  bool separated;
};

constexpr DateStyle kDateStyles[] = {
    {1, "mdy", false, true},   {2, "mdy", true, true},   {5, "dmy", false, true},
    {6, "dmy", true, true},    {9, "ymd", false, true},  {10, "ymd", true, true},
    {11, "ymd", false, false}, {12, "ymd", true, false},
};

const DateStyle* dateStyle(int style) {
  for (const auto& s : kDateStyles)
    if (s.style == style) return &s;
  return nullptr;
}

int dateWidth(const DateStyle& s) { return 4 + (s.fullYear ? 4 : 2) + (s.separated ? 2 : 0); }

std::string formatDate(const Picture& p, const Value& v) {
  if (!dateStyle(p.style)) return {};
  const DateStyle& s = *dateStyle(p.style);
  auto n = wholeOf(v);
  if (n && *n == 0) return std::string(static_cast<std::size_t>(dateWidth(s)), ' ');
  if (!n || *n < dates::kFirstDate || *n > dates::kLastDate) return hashes(p);
  const dates::Ymd ymd = dates::toYmd(static_cast<int32_t>(*n));
  std::string out;
  for (const char* f = s.order; *f; ++f) {
    if (f != s.order && s.separated) out += p.separator;
    if (*f == 'd') out += twoDigits(ymd.day);
    if (*f == 'm') out += twoDigits(ymd.month);
    if (*f == 'y') out += s.fullYear ? std::to_string(ymd.year) : twoDigits(ymd.year % 100);
  }
  return out;
}

int referenceYear() {
  const int32_t t = dates::today();
  return t ? dates::yearOf(t) : 2000;
}

const char* orderWords(const DateStyle& s) {
  switch (s.order[0]) {
    case 'd': return "día/mes/año";
    case 'm': return "mes/día/año";
    default: return "año/mes/día";
  }
}

Status parseDate(const Picture& p, std::string_view typed, Value& out) {
  if (!dateStyle(p.style)) return refused("Formato de fecha desconocido");
  const DateStyle& style = *dateStyle(p.style);
  const std::string_view s = trim(typed);
  if (s.empty()) {
    out = std::int64_t{0};
    return Status::success();
  }
  const Status notADate =
      refused(quoted(s) + " no es una fecha; escríbala como " + orderWords(style));

  // Up to three runs of digits, with any run of separators between them.
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t start = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i == start) return notADate;
    parts.push_back(s.substr(start, i - start));
    const std::size_t sep = i;
    while (i < s.size() && (s[i] == '/' || s[i] == '-' || s[i] == '.' || s[i] == ' ')) ++i;
    if (i < s.size() && (i == sep || parts.size() == 3)) return notADate;
    if (i == s.size() && i != sep) return notADate;  // trailing separator
  }
  if (parts.size() == 1) {
    // The digits alone: ddmmyy, ddmmyyyy (or the picture's own order).
    const std::string_view all = parts[0];
    if (all.size() != 6 && all.size() != 8) return notADate;
    const std::size_t yearLen = all.size() - 4;
    parts.clear();
    std::size_t at = 0;
    for (const char* f = style.order; *f; ++f) {
      const std::size_t len = *f == 'y' ? yearLen : 2;
      parts.push_back(all.substr(at, len));
      at += len;
    }
  }
  if (parts.size() != 3) return notADate;

  int day = 0, month = 0, year = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const std::string_view part = parts[k];
    int n = 0;
    std::size_t at = 0;
    if (!readInt(part, at, n)) return notADate;
    switch (style.order[k]) {
      case 'd':
        if (part.size() > 2) return notADate;
        day = n;
        break;
      case 'm':
        if (part.size() > 2) return notADate;
        month = n;
        break;
      default:
        if (part.size() == 2)
          year = expandYear(n, referenceYear());
        else if (part.size() == 4)
          year = n;
        else
          return notADate;
    }
  }
  if (month < 1 || month > 12 || day < 1 || day > dates::daysInMonth(month, year))
    return refused(quoted(s) + " no es una fecha válida");
  const int32_t date = dates::fromYmd({year, month, day});
  if (date == 0)
    return refused("La fecha " + quoted(s) +
                   " está fuera de rango: sólo se admiten los años 1801 a 2099");
  out = std::int64_t{date};
  return Status::success();
}

// ---------------------------------------------------------------------------
// Times

struct TimeStyle {
  int style;
  bool seconds;
  bool separated;
  bool twelveHour;
  int width;
};

constexpr TimeStyle kTimeStyles[] = {
    {1, false, true, false, 5}, {2, false, false, false, 4}, {3, false, true, true, 7},
    {4, true, true, false, 8},  {5, true, false, false, 6},  {6, true, true, true, 10},
};

const TimeStyle* timeStyle(int style) {
  for (const auto& s : kTimeStyles)
    if (s.style == style) return &s;
  return nullptr;
}

std::string formatTime(const Picture& p, const Value& v) {
  if (!timeStyle(p.style)) return {};
  const TimeStyle& s = *timeStyle(p.style);
  auto t = wholeOf(v);
  if (t && *t == 0) return std::string(static_cast<std::size_t>(s.width), ' ');
  if (!t || *t < 1 || *t > dates::kLastTime) return hashes(p);
  const auto time = static_cast<int32_t>(*t);
  int hour = dates::hourOf(time);
  bool pm = false;
  if (s.twelveHour) {
    pm = hour >= 12;
    hour = hour % 12 == 0 ? 12 : hour % 12;
  }
  const char* sep = s.separated ? ":" : "";
  std::string out = twoDigits(hour) + sep + twoDigits(dates::minuteOf(time));
  if (s.seconds) out += sep + twoDigits(dates::secondOf(time));
  if (s.twelveHour) out += pm ? "PM" : "AM";
  return out;
}

Status parseTime(const Picture& p, std::string_view typed, Value& out) {
  if (!timeStyle(p.style)) return refused("Formato de hora desconocido");
  const TimeStyle& style = *timeStyle(p.style);
  std::string_view s = trim(typed);
  if (s.empty()) {
    out = std::int64_t{0};
    return Status::success();
  }
  const Status notATime = refused(quoted(s) + " no es una hora válida (" +
                                  (style.seconds ? "hh:mm:ss" : "hh:mm") + ")");
  static constexpr std::pair<std::string_view, int> kMeridians[] = {
      {"a.m.", 1}, {"p.m.", 2}, {"am", 1}, {"pm", 2}};
  int meridian = 0;  // 1 morning, 2 afternoon
  for (const auto& [suffix, m] : kMeridians) {
    if (s.size() >= suffix.size() && equalsIgnoreCase(s.substr(s.size() - suffix.size()), suffix)) {
      meridian = m;
      s = trim(s.substr(0, s.size() - suffix.size()));
      break;
    }
  }
  if (s.empty()) return notATime;
  int field[3] = {0, 0, 0};
  std::size_t i = 0;
  if (s.find_first_of(":.") != std::string_view::npos) {
    for (int k = 0; k < 3; ++k) {
      const std::size_t start = i;
      if (!readInt(s, i, field[k]) || i - start > 2) return notATime;
      if (i == s.size()) break;
      if (k == 2 || (s[i] != ':' && s[i] != '.')) return notATime;
      if (++i == s.size()) return notATime;
    }
  } else {
    // The digits alone: h, hh, hmm, hhmm, hmmss, hhmmss.
    for (char c : s)
      if (!isDigit(c)) return notATime;
    if (s.size() > 6) return notATime;
    const std::size_t hourLen = 2 - s.size() % 2;
    field[0] = std::atoi(std::string(s.substr(0, hourLen)).c_str());
    for (std::size_t at = hourLen, k = 1; at < s.size(); at += 2, ++k)
      field[k] = (s[at] - '0') * 10 + (s[at + 1] - '0');
  }
  int hour = field[0];
  if (meridian != 0) {
    if (hour < 1 || hour > 12) return notATime;
    hour = hour % 12 + (meridian == 2 ? 12 : 0);
  }
  const int32_t t = dates::timeOf(hour, field[1], field[2]);
  if (t == 0) return notATime;
  out = std::int64_t{t};
  return Status::success();
}

std::optional<Picture> compileDateOrTime(std::string_view s, PictureKind kind) {
  Picture p;
  p.kind = kind;
  std::size_t i = 0;
  if (i + 1 < s.size() && s[i] == '0' && isDigit(s[i + 1])) ++i;  // zero padding is always on
  if (!readInt(s, i, p.style)) return std::nullopt;
  if (kind == PictureKind::Date) {
    const DateStyle* style = dateStyle(p.style);
    if (!style) return std::nullopt;
    if (i < s.size() && (s[i] == '.' || s[i] == '-' || s[i] == '_')) {
      if (!style->separated) return std::nullopt;
      p.separator = s[i] == '_' ? ' ' : s[i];
      ++i;
    }
  } else if (!timeStyle(p.style)) {
    return std::nullopt;
  }
  if (i < s.size() && lowerAscii(s[i]) == 'b') p.blankWhenZero = true, ++i;
  if (i != s.size()) return std::nullopt;
  return p;
}

int dateOrTimeWidth(const Picture& p) {
  if (p.kind == PictureKind::Date) {
    const DateStyle* s = dateStyle(p.style);
    return s ? dateWidth(*s) : 0;
  }
  const TimeStyle* s = timeStyle(p.style);
  return s ? s->width : 0;
}

}  // namespace velmora::picture_detail
