#include "dictionary/decimal.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <limits>

namespace velmora {
namespace {

constexpr std::uint64_t kMaxMagnitude = std::numeric_limits<std::int64_t>::max();

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Adds a digit to an unsigned magnitude, failing instead of wrapping.
bool pushDigit(std::uint64_t& m, int d) {
  if (m > (kMaxMagnitude - static_cast<std::uint64_t>(d)) / 10) return false;
  m = m * 10 + static_cast<std::uint64_t>(d);
  return true;
}

bool layoutSupported(int digits, int decimals) {
  // 18 digits of cents is the most that always fits an int64.
  assert(decimals == 2 && digits >= 2 && digits <= 18);
  return decimals == 2 && digits >= 2 && digits <= 18;
}

}  // namespace

std::optional<Decimal> Decimal::parse(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);

  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  std::uint64_t whole = 0;
  std::size_t i = 0;
  bool anyDigit = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    anyDigit = true;
    if (!pushDigit(whole, text[i] - '0')) return std::nullopt;
  }

  int fraction[3] = {0, 0, 0};  // tenths, hundredths, and the rounding digit
  if (i < text.size() && text[i] == '.') {
    ++i;
    for (int k = 0; i < text.size() && isDigit(text[i]); ++i, ++k) {
      anyDigit = true;
      if (k < 3) fraction[k] = text[i] - '0';
    }
  }
  if (!anyDigit || i != text.size()) return std::nullopt;

  std::uint64_t cents = whole;
  if (!pushDigit(cents, fraction[0]) || !pushDigit(cents, fraction[1])) return std::nullopt;
  // Later digits are all >= 0, so a 5 here already means at least half a cent.
  if (fraction[2] >= 5) {
    if (cents == kMaxMagnitude) return std::nullopt;
    ++cents;
  }
  const auto signedCents = static_cast<std::int64_t>(cents);
  return Decimal(negative ? -signedCents : signedCents);
}

std::optional<Decimal> Decimal::fromDouble(double v) {
  if (!std::isfinite(v)) return std::nullopt;
  // Keeps the fixed-notation text short; parse() refuses the rest of the
  // overflow range precisely.
  if (std::fabs(v) >= 1e17) return std::nullopt;
  if (std::fabs(v) < 0.001) return Decimal(0);

  // Multiplying by 100 would inherit the binary error (1.005 * 100 is
  // 100.49999...); the shortest round-trip text is the decimal that was meant.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (res.ec != std::errc()) return std::nullopt;
  return parse(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
}

double Decimal::toDouble() const {
  // A single correctly rounded division gives the double nearest the decimal.
  return static_cast<double>(cents_) / 100.0;
}

std::string Decimal::toString() const {
  // Via unsigned so that INT64_MIN does not overflow on negation.
  const std::uint64_t m =
      cents_ < 0 ? 0 - static_cast<std::uint64_t>(cents_) : static_cast<std::uint64_t>(cents_);
  std::string s = cents_ < 0 ? "-" : "";
  s += std::to_string(m / 100);
  s += '.';
  s += static_cast<char>('0' + m / 10 % 10);
  s += static_cast<char>('0' + m % 10);
  return s;
}

bool pack(Decimal v, int digits, int decimals, unsigned char* out) {
  if (!layoutSupported(digits, decimals)) return false;

  const std::int64_t c = v.cents();
  std::uint64_t m = c < 0 ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
  std::uint64_t limit = 1;
  for (int i = 0; i < digits; ++i) limit *= 10;
  if (m >= limit) return false;

  const std::size_t size = packedSize(digits);
  unsigned char buf[packedSize(18)] = {};
  // Nibble 0 is the sign; digit k (0 = most significant) is nibble k + 1.
  // With an even digit count the last nibble is left as zero padding.
  for (int k = digits - 1; k >= 0; --k) {
    const auto d = static_cast<unsigned char>(m % 10);
    m /= 10;
    const int nibble = k + 1;
    buf[nibble / 2] |= nibble % 2 == 0 ? static_cast<unsigned char>(d << 4) : d;
  }
  if (c < 0) buf[0] |= 0xF0;
  if (out)
    for (std::size_t i = 0; i < size; ++i) out[i] = buf[i];
  return true;
}

std::optional<Decimal> unpack(const unsigned char* in, int digits, int decimals) {
  if (!layoutSupported(digits, decimals)) return std::nullopt;

  const bool negative = (in[0] >> 4) != 0;
  std::int64_t m = 0;
  for (int k = 0; k < digits; ++k) {
    const int nibble = k + 1;
    const int d = nibble % 2 == 0 ? in[nibble / 2] >> 4 : in[nibble / 2] & 0x0F;
    if (d > 9) return std::nullopt;
    m = m * 10 + d;
  }
  return Decimal::fromCents(negative ? -m : m);
}

}  // namespace velmora
