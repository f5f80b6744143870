#pragma once

#include <compare>
#include <cstdint>

#include "dictionary/decimal.h"

namespace velmora {

// An exact fraction for the quantities and percentages that figures are
// derived from (a quantity is an amount over a unit price, a percentage a
// quantity over the budgeted one). Nothing is rounded until a figure is
// stored: an amount to the cent, a quantity or a percentage to the double
// its field holds. Sums, products and quotients of the values a work holds
// stay exact; a result whose terms would no longer fit is carried to 18
// decimals, far below any figure that is shown or stored.
class Ratio {
 public:
  Ratio() = default;
  static Ratio of(std::int64_t whole) { return Ratio(whole, 1); }
  static Ratio fromDecimal(Decimal d) { return Ratio(d.cents(), 100); }
  // A stored real, taken as the decimal it stands for to ten places: what a
  // REAL field holds of a figure written from an exact one.
  static Ratio fromDouble(double v);

  Ratio operator+(const Ratio& o) const;
  Ratio operator-(const Ratio& o) const;
  Ratio operator*(const Ratio& o) const;
  // Division by zero gives zero: a figure over nothing has no value.
  Ratio operator/(const Ratio& o) const;

  bool isZero() const { return n_ == 0; }
  int sign() const { return n_ < 0 ? -1 : n_ > 0 ? 1 : 0; }
  double toDouble() const;
  // To the cent, half away from zero.
  Decimal toDecimal() const;

  friend bool operator==(const Ratio& a, const Ratio& b) { return a.n_ == b.n_ && a.d_ == b.d_; }
  friend std::strong_ordering operator<=>(const Ratio& a, const Ratio& b) {
    return (a - b).sign() <=> 0;
  }

 private:
  __extension__ typedef __int128 Wide;
  Ratio(Wide n, Wide d);
  Wide n_ = 0;
  Wide d_ = 1;  // always above 0; n_/d_ in lowest terms
};

}  // namespace velmora
