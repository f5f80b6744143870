#include "dictionary/ratio.h"

#include <cmath>

namespace velmora {

namespace {

__extension__ typedef __int128 Wide;

Wide absolute(Wide v) { return v < 0 ? -v : v; }

Wide gcd(Wide a, Wide b) {
  a = absolute(a), b = absolute(b);
  while (b != 0) {
    const Wide t = a % b;
    a = b, b = t;
  }
  return a;
}

// Terms beyond this are carried to 18 decimals instead (10^30: the product
// of two such terms still fits in 127 bits only after the reduction, so
// every operation checks its own products for overflow).
constexpr Wide power(int n) {
  Wide b = 1;
  for (int i = 0; i < n; ++i) b *= 10;
  return b;
}
// Constant-initialised: ratios are made during static initialisation too.
constexpr Wide kBound = power(30);
constexpr Wide kScale = power(18);

bool multiply(Wide a, Wide b, Wide& out) { return !__builtin_mul_overflow(a, b, &out); }

// The nearest value with 18 decimals, from long doubles: used only when exact
// terms would overflow.
void approximate(long double value, Wide& n, Wide& d) {
  n = static_cast<Wide>(std::roundl(value * 1e18L));
  d = kScale;
}

}  // namespace

Ratio::Ratio(Wide n, Wide d) {
  if (d == 0) {
    n_ = 0, d_ = 1;
    return;
  }
  if (d < 0) n = -n, d = -d;
  const Wide g = gcd(n, d);
  if (g > 1) n /= g, d /= g;
  if (absolute(n) > kBound || d > kBound) {
    approximate(static_cast<long double>(n) / static_cast<long double>(d), n, d);
    const Wide h = gcd(n, d);
    if (h > 1) n /= h, d /= h;
  }
  n_ = n, d_ = n == 0 ? 1 : d;
}

Ratio Ratio::fromDouble(double v) {
  if (!std::isfinite(v)) return {};
  return Ratio(static_cast<Wide>(std::llround(static_cast<long double>(v) * 1e10L)),
               static_cast<Wide>(10000000000LL));
}

Ratio Ratio::operator+(const Ratio& o) const {
  Wide a, b, d;
  if (multiply(n_, o.d_, a) && multiply(o.n_, d_, b) && multiply(d_, o.d_, d) &&
      !__builtin_add_overflow(a, b, &a))
    return Ratio(a, d);
  Ratio r;
  approximate(static_cast<long double>(toDouble()) + o.toDouble(), r.n_, r.d_);
  return Ratio(r.n_, r.d_);
}

Ratio Ratio::operator-(const Ratio& o) const { return *this + Ratio(-o.n_, o.d_); }

Ratio Ratio::operator*(const Ratio& o) const {
  // Cross-reduce first so that the products stay small.
  const Wide g1 = gcd(n_, o.d_), g2 = gcd(o.n_, d_);
  const Wide an = g1 > 1 ? n_ / g1 : n_, bd = g1 > 1 ? o.d_ / g1 : o.d_;
  const Wide bn = g2 > 1 ? o.n_ / g2 : o.n_, ad = g2 > 1 ? d_ / g2 : d_;
  Wide n, d;
  if (multiply(an, bn, n) && multiply(ad, bd, d)) return Ratio(n, d);
  Ratio r;
  approximate(static_cast<long double>(toDouble()) * o.toDouble(), r.n_, r.d_);
  return Ratio(r.n_, r.d_);
}

Ratio Ratio::operator/(const Ratio& o) const {
  if (o.n_ == 0) return {};
  return *this * Ratio(o.d_, o.n_);
}

double Ratio::toDouble() const {
  // Whole part and remainder apart, so that large terms lose nothing the
  // double could hold.
  const Wide whole = n_ / d_, rest = n_ % d_;
  return static_cast<double>(static_cast<long double>(whole) +
                             static_cast<long double>(rest) / static_cast<long double>(d_));
}

Decimal Ratio::toDecimal() const {
  Wide q, n;
  if (!multiply(n_, 100, n)) return Decimal::fromCents(std::llround(toDouble() * 100.0));
  q = n / d_;
  const Wide r = absolute(n % d_);
  if (2 * r >= d_) q += n < 0 ? -1 : 1;
  return Decimal::fromCents(static_cast<std::int64_t>(q));
}

}  // namespace velmora
