#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Value of a DECIMAL(9,2) field, held as exact cents so that amounts never
// drift through binary floating point.
class Decimal {
 public:
  Decimal() = default;

  static Decimal fromCents(std::int64_t cents) { return Decimal(cents); }
  std::int64_t cents() const { return cents_; }

  // Plain decimal text with optional sign and surrounding blanks: "101.25",
  // "-3.5", "7", " 12.30 ", ".5". Extra decimals are rounded half away from
  // zero; anything else that is not a number (including "1,5" and exponents)
  // or does not fit in int64 cents is refused.
  static std::optional<Decimal> parse(std::string_view text);

  // Rounds the decimal the double stands for (its shortest round-trip form)
  // to the cent, half away from zero, so 101.25 and 0.1+0.2 come out as
  // typed. nullopt for NaN, infinities and values beyond int64 cents.
  static std::optional<Decimal> fromDouble(double v);

  double toDouble() const;
  std::string toString() const;  // "101.25", "-0.05", "0.00"

  friend auto operator<=>(const Decimal&, const Decimal&) = default;
  friend bool operator==(const Decimal&, const Decimal&) = default;

 private:
  explicit Decimal(std::int64_t cents) : cents_(cents) {}
  std::int64_t cents_ = 0;
};

// Packed decimal storage: a sign nibble (0x0 positive, 0xF negative) then
// `digits` BCD digits, most significant first, in packedSize(digits) bytes.
inline constexpr std::size_t packedSize(int digits) {
  return static_cast<std::size_t>(digits / 2 + 1);
}

// Writes nothing and returns false when the value needs more integer digits
// than digits - decimals. Only decimals == 2 and digits 2..18 are supported;
// anything else asserts, and in release builds is refused. With a null
// `out` it only tells whether the value fits.
bool pack(Decimal v, int digits, int decimals, unsigned char* out);

// nullopt when a digit nibble is above 9 (damaged data) or the layout is
// unsupported. Any non-zero sign nibble reads as negative.
std::optional<Decimal> unpack(const unsigned char* in, int digits, int decimals);

}  // namespace velmora
