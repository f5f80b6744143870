#include "framework/picture.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dictionary/dates.h"
#include "framework/picture_internal.h"

namespace velmora {

namespace picture_detail {

constexpr int kMaxNumberSize = 40;
constexpr int kMaxPlaces = 15;
constexpr int kMaxStringSize = 65535;
constexpr int kMaxPatternDigits = 18;  // whatever fits in int64

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

// Reads a run of digits as a small number; false when there is none or it is
// absurdly long.
bool readInt(std::string_view s, std::size_t& i, int& out) {
  const std::size_t start = i;
  while (i < s.size() && isDigit(s[i])) ++i;
  if (i == start || i - start > 6) return false;
  out = 0;
  for (std::size_t k = start; k < i; ++k) out = out * 10 + (s[k] - '0');
  return true;
}

std::size_t utf8Length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Cuts after `chars` characters; a continuation byte never starts the cut.
std::string utf8Prefix(std::string_view s, std::size_t chars) {
  std::size_t i = 0;
  for (std::size_t n = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (n == chars) break;
      ++n;
    }
  }
  return std::string(s.substr(0, i));
}

Status refused(std::string text) { return Status::error(err::ValueRefused, std::move(text)); }

std::string quoted(std::string_view s) { return "«" + std::string(s) + "»"; }

std::string hashes(const Picture& p) {
  return std::string(static_cast<std::size_t>(width(p)), '#');
}

// ---------------------------------------------------------------------------
// Numbers are handled as decimal digit strings so that rounding and grouping
// never pass through binary floating point.

struct Digits {
  bool negative = false;
  std::string whole = "0";
  std::string frac;
};

// "-12.5", "12", ".5", "7." — nothing else.
std::optional<Digits> plainNumber(std::string_view s) {
  Digits d;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) d.negative = s[i++] == '-';
  const std::size_t w = i;
  while (i < s.size() && isDigit(s[i])) ++i;
  d.whole = std::string(s.substr(w, i - w));
  if (i < s.size() && s[i] == '.') {
    const std::size_t f = ++i;
    while (i < s.size() && isDigit(s[i])) ++i;
    d.frac = std::string(s.substr(f, i - f));
  }
  if (i != s.size() || (d.whole.empty() && d.frac.empty())) return std::nullopt;
  if (d.whole.empty()) d.whole = "0";
  return d;
}

std::optional<Digits> digitsOf(const Value& v) {
  if (auto* i = std::get_if<std::int64_t>(&v)) {
    Digits d;
    d.negative = *i < 0;
    // Through unsigned so that the most negative value has a magnitude too.
    const std::uint64_t mag =
        d.negative ? 0 - static_cast<std::uint64_t>(*i) : static_cast<std::uint64_t>(*i);
    d.whole = std::to_string(mag);
    return d;
  }
  if (auto* x = std::get_if<double>(&v)) {
    if (!std::isfinite(*x)) return std::nullopt;
    char buf[512];
    auto r = std::to_chars(buf, buf + sizeof buf, *x, std::chars_format::fixed);
    if (r.ec != std::errc()) return std::nullopt;
    return plainNumber(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
  }
  if (auto* dec = std::get_if<Decimal>(&v)) {
    Digits d;
    const std::int64_t c = dec->cents();
    d.negative = c < 0;
    const std::uint64_t mag =
        d.negative ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
    d.whole = std::to_string(mag / 100);
    d.frac = {static_cast<char>('0' + mag % 100 / 10), static_cast<char>('0' + mag % 10)};
    return d;
  }
  const std::string_view s = trim(std::get<std::string>(v));
  if (s.empty()) return Digits{};
  return plainNumber(s);
}

bool isZero(const Digits& d) {
  return d.whole.find_first_not_of('0') == std::string::npos &&
         d.frac.find_first_not_of('0') == std::string::npos;
}

// Half away from zero: the magnitude rounds up, the sign stays.
void roundTo(Digits& d, int places) {
  const auto keep = static_cast<std::size_t>(places);
  if (d.frac.size() > keep) {
    const bool up = d.frac[keep] >= '5';
    d.frac.resize(keep);
    if (up) {
      std::string all = d.whole + d.frac;
      int i = static_cast<int>(all.size()) - 1;
      while (i >= 0 && all[static_cast<std::size_t>(i)] == '9')
        all[static_cast<std::size_t>(i--)] = '0';
      if (i < 0)
        all.insert(all.begin(), '1');
      else
        ++all[static_cast<std::size_t>(i)];
      d.whole = all.substr(0, all.size() - keep);
      d.frac = all.substr(all.size() - keep);
    }
  }
  d.frac.resize(keep, '0');
  const auto nz = d.whole.find_first_not_of('0');
  d.whole = nz == std::string::npos ? "0" : d.whole.substr(nz);
  if (isZero(d)) d.negative = false;  // no "-0.00"
}

std::string grouped(const std::string& whole) {
  std::string out;
  const std::size_t n = whole.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += whole[i];
  }
  return out;
}

// The rounded number laid out in the picture's width; nullopt when it does not fit.
std::optional<std::string> layoutNumber(const Picture& p, const Digits& d) {
  std::string body = p.fill == 0 ? grouped(d.whole) : d.whole;
  if (p.places > 0) body += '.' + d.frac;
  const bool minusBefore = d.negative && !p.trailingSign;
  const long pad = static_cast<long>(p.size) - static_cast<long>(body.size()) -
                   (minusBefore ? 1 : 0) - (p.trailingSign ? 1 : 0);
  if (pad < 0) return std::nullopt;
  std::string out;
  const auto padding = static_cast<std::size_t>(pad);
  if (p.fill == '0' || p.fill == '*') {
    if (minusBefore) out += '-';
    out.append(padding, p.fill);
  } else {
    out.append(padding, ' ');
    if (minusBefore) out += '-';
  }
  out += body;
  if (p.trailingSign) out += d.negative ? '-' : ' ';
  return out;
}

std::string formatNumber(const Picture& p, const Value& v) {
  auto d = digitsOf(v);
  if (!d) return hashes(p);
  roundTo(*d, p.places);
  if (p.blankWhenZero && isZero(*d)) return std::string(static_cast<std::size_t>(p.size), ' ');
  auto s = layoutNumber(p, *d);
  return s ? *s : hashes(p);
}

Status parseNumber(const Picture& p, std::string_view typed, Value& out) {
  std::string_view s = trim(typed);
  Digits d;
  if (!s.empty()) {
    bool minus = false;
    bool signSeen = false;
    if (s.front() == '-' || s.front() == '+') {
      minus = s.front() == '-';
      signSeen = true;
      s = trim(s.substr(1));
    }
    if (!s.empty() && s.back() == '-') {
      if (signSeen) return refused(quoted(trim(typed)) + " no es un número válido");
      minus = true;
      s = trim(s.substr(0, s.size() - 1));
    }
    if (minus && !p.leadingSign && !p.trailingSign)
      return refused("Este campo no admite números negativos: " + quoted(trim(typed)));
    bool filled = false;
    if (p.fill == '*')
      while (!s.empty() && s.front() == '*') s.remove_prefix(1), filled = true;

    std::size_t i = 0;
    std::string whole;
    std::vector<std::size_t> groups{0};  // digits in each comma-separated group
    while (i < s.size() && (isDigit(s[i]) || s[i] == ',')) {
      if (s[i] == ',') {
        groups.push_back(0);
      } else {
        whole += s[i];
        ++groups.back();
      }
      ++i;
    }
    std::string frac;
    bool point = false;
    if (i < s.size() && s[i] == '.') {
      point = true;
      ++i;
      while (i < s.size() && isDigit(s[i])) frac += s[i++];
    }
    if (i != s.size() ||
        (whole.empty() && frac.empty() && !(filled && !point && groups.size() == 1)))
      return refused(quoted(trim(typed)) + " no es un número válido");
    if (groups.size() > 1) {
      bool good = groups.front() >= 1 && groups.front() <= 3;
      for (std::size_t g = 1; g < groups.size(); ++g) good = good && groups[g] == 3;
      if (!good)
        return refused(quoted(trim(typed)) +
                       ": separador de miles mal colocado (el punto separa los decimales)");
    }
    d.negative = minus;
    d.whole = whole.empty() ? "0" : whole;
    d.frac = frac;
  }
  if (p.places == 0 && d.frac.find_first_not_of('0') != std::string::npos)
    return refused("Este campo no admite decimales: " + quoted(trim(typed)));
  roundTo(d, p.places);
  if (!layoutNumber(p, d))
    return refused("El número " + quoted(trim(typed)) + " no cabe en el campo de " +
                   std::to_string(p.size) + " posiciones");

  if (p.places == 0) {
    std::int64_t n = 0;
    const std::string text = (d.negative ? "-" : "") + d.whole;
    auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc())
      return refused("El número " + quoted(trim(typed)) + " está fuera de rango");
    out = n;
  } else {
    double x = 0;
    const std::string text = (d.negative ? "-" : "") + d.whole + "." + d.frac;
    auto r = std::from_chars(text.data(), text.data() + text.size(), x);
    if (r.ec != std::errc() || !std::isfinite(x))
      return refused("El número " + quoted(trim(typed)) + " está fuera de rango");
    out = x;
  }
  return Status::success();
}

// Whole numbers for dates, times and patterns.
std::optional<std::int64_t> wholeOf(const Value& v) {
  if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
  if (auto* x = std::get_if<double>(&v)) {
    if (!std::isfinite(*x) || std::fabs(*x) > 9e15) return std::nullopt;
    return static_cast<std::int64_t>(std::llround(*x));
  }
  if (auto* dec = std::get_if<Decimal>(&v)) {
    const std::int64_t c = dec->cents();
    return (c >= 0 ? c + 50 : c - 50) / 100;
  }
  const std::string_view s = trim(std::get<std::string>(v));
  if (s.empty()) return 0;
  std::int64_t n = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), n);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return n;
}

std::string twoDigits(int n) {
  return {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

// ---------------------------------------------------------------------------
// Patterns

bool isPosition(char c) { return c == '<' || c == '#'; }

int positionCount(const std::string& pattern) {
  int n = 0;
  for (char c : pattern) n += isPosition(c);
  return n;
}

std::string formatPattern(const Picture& p, const Value& v) {
  auto n = wholeOf(v);
  if (!n || *n < 0) return hashes(p);
  const std::string digits = std::to_string(*n);
  const int positions = positionCount(p.pattern);
  if (static_cast<int>(digits.size()) > positions) return hashes(p);

  const std::size_t first = p.pattern.find_first_of("<#");
  const std::size_t last = p.pattern.find_last_of("<#");
  std::string out;
  int position = positions;  // counted from the right, 1 = units
  bool shown = false;
  for (std::size_t i = 0; i < p.pattern.size(); ++i) {
    const char c = p.pattern[i];
    if (!isPosition(c)) {
      if (i < first || i > last || shown) out += c;
      continue;
    }
    const int fromRight = position--;
    if (fromRight <= static_cast<int>(digits.size())) {
      out += digits[digits.size() - static_cast<std::size_t>(fromRight)];
      shown = true;
    } else if (c == '#') {
      out += '0';
      shown = true;
    }
  }
  return out;
}

Status parsePattern(const Picture& p, std::string_view typed, Value& out) {
  if (positionCount(p.pattern) == 0) return refused("Formato de número desconocido");
  std::string_view s = trim(typed);
  const std::size_t first = p.pattern.find_first_of("<#");
  const std::size_t last = p.pattern.find_last_of("<#");
  const std::string_view prefix = trim(std::string_view(p.pattern).substr(0, first));
  const std::string_view suffix = trim(std::string_view(p.pattern).substr(last + 1));
  if (!prefix.empty() && s.size() >= prefix.size() &&
      equalsIgnoreCase(s.substr(0, prefix.size()), prefix))
    s.remove_prefix(prefix.size());
  if (!suffix.empty() && s.size() >= suffix.size() &&
      equalsIgnoreCase(s.substr(s.size() - suffix.size()), suffix))
    s.remove_suffix(suffix.size());
  const std::string_view inner = std::string_view(p.pattern).substr(first, last - first + 1);
  std::string digits;
  for (char c : s) {
    if (isDigit(c))
      digits += c;
    else if (c != ' ' && inner.find(c) == std::string_view::npos)
      return refused(quoted(trim(typed)) + " no es un número válido");
  }
  if (static_cast<int>(digits.size()) > positionCount(p.pattern))
    return refused("El número " + quoted(trim(typed)) + " no cabe en el campo");
  std::int64_t n = 0;
  if (!digits.empty()) std::from_chars(digits.data(), digits.data() + digits.size(), n);
  out = n;
  return Status::success();
}

// ---------------------------------------------------------------------------

std::optional<Picture> compileNumber(std::string_view s) {
  Picture p;
  p.kind = PictureKind::Number;
  std::size_t i = 0;
  if (i < s.size() && s[i] == '-') p.leadingSign = true, ++i;
  if (i < s.size() &&
      (s[i] == '_' || s[i] == '*' || (s[i] == '0' && i + 1 < s.size() && isDigit(s[i + 1]))))
    p.fill = s[i++];
  if (!readInt(s, i, p.size)) return std::nullopt;
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (!readInt(s, i, p.places)) return std::nullopt;
  }
  if (i < s.size() && s[i] == '-') {
    if (p.leadingSign) return std::nullopt;
    p.trailingSign = true;
    ++i;
  }
  if (i < s.size() && lowerAscii(s[i]) == 'b') p.blankWhenZero = true, ++i;
  if (i != s.size()) return std::nullopt;
  if (p.size < 1 || p.size > kMaxNumberSize || p.places > kMaxPlaces) return std::nullopt;
  if (p.places > 0 && p.size < p.places + 2) return std::nullopt;
  return p;
}

}  // namespace picture_detail

using namespace picture_detail;

std::optional<Picture> compilePicture(std::string_view text) {
  std::string_view s = text;
  if (!s.empty() && s.front() == '@') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  const char kind = lowerAscii(s.front());
  const std::string_view rest = s.substr(1);
  switch (kind) {
    case 'n': return compileNumber(rest);
    case 's': {
      Picture p;
      p.kind = PictureKind::String;
      std::size_t i = 0;
      if (!readInt(rest, i, p.size) || i != rest.size() || p.size < 1 || p.size > kMaxStringSize)
        return std::nullopt;
      return p;
    }
    case 'd': return compileDateOrTime(rest, PictureKind::Date);
    case 't': return compileDateOrTime(rest, PictureKind::Time);
    case 'p': {
      if (rest.empty() || lowerAscii(rest.back()) != 'p') return std::nullopt;
      Picture p;
      p.kind = PictureKind::Pattern;
      p.pattern = std::string(rest.substr(0, rest.size() - 1));
      const int positions = positionCount(p.pattern);
      if (positions < 1 || positions > kMaxPatternDigits) return std::nullopt;
      return p;
    }
    default: return std::nullopt;
  }
}

std::string format(const Picture& p, const Value& v) {
  switch (p.kind) {
    case PictureKind::Number: return formatNumber(p, v);
    case PictureKind::String: {
      struct {
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const {
          char buf[64];
          auto r = std::to_chars(buf, buf + sizeof buf, d);
          return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
        }
        std::string operator()(const Decimal& d) const { return d.toString(); }
        std::string operator()(const std::string& s) const { return s; }
      } text;
      return utf8Prefix(std::visit(text, v), static_cast<std::size_t>(p.size));
    }
    case PictureKind::Date: return formatDate(p, v);
    case PictureKind::Time: return formatTime(p, v);
    case PictureKind::Pattern: return formatPattern(p, v);
  }
  return {};
}

std::string formatPicture(std::string_view picture, const Value& v) {
  // Pictures are a small fixed set written in the code; caching them keeps
  // report and browse loops from re-reading the same text per value.
  static std::mutex mutex;
  static std::unordered_map<std::string, Picture> cache;
  std::string key(picture);
  Picture compiled;
  {
    std::lock_guard lock(mutex);
    auto it = cache.find(key);
    if (it != cache.end()) {
      compiled = it->second;
    } else {
      auto p = compilePicture(picture);
      if (!p) throw std::invalid_argument("picture not understood: \"" + key + "\"");
      if (cache.size() > 4096) cache.clear();
      compiled = *p;
      cache.emplace(std::move(key), std::move(*p));
    }
  }
  return format(compiled, v);
}

std::string formatPicture(std::string_view picture, double v) {
  return formatPicture(picture, Value(v));
}

Status parse(const Picture& p, std::string_view text, Value& out) {
  switch (p.kind) {
    case PictureKind::Number: return parseNumber(p, text, out);
    case PictureKind::String:
      out = utf8Prefix(text, static_cast<std::size_t>(p.size));
      return Status::success();
    case PictureKind::Date: return parseDate(p, text, out);
    case PictureKind::Time: return parseTime(p, text, out);
    case PictureKind::Pattern: return parsePattern(p, text, out);
  }
  return refused("Formato de campo desconocido");
}

int width(const Picture& p) {
  switch (p.kind) {
    case PictureKind::Number:
    case PictureKind::String: return p.size;
    case PictureKind::Date:
    case PictureKind::Time: return dateOrTimeWidth(p);
    case PictureKind::Pattern: return static_cast<int>(utf8Length(p.pattern));
  }
  return 0;
}

int expandYear(int twoDigitYear, int referenceYear) {
  const int last = referenceYear + 20;
  return last - ((last - twoDigitYear) % 100 + 100) % 100;
}

}  // namespace velmora
