#include "dictionary/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using velmora::Decimal;

namespace {
std::string parsed(std::string_view s) {
  const auto d = Decimal::parse(s);
  return d ? d->toString() : "nullopt";
}
std::string fromD(double v) {
  const auto d = Decimal::fromDouble(v);
  return d ? d->toString() : "nullopt";
}
}  // namespace

TEST(Decimal, ParseAndPrint) {
  EXPECT_EQ(parsed("101.25"), "101.25");
  EXPECT_EQ(parsed("-3.5"), "-3.50");
  EXPECT_EQ(parsed("7"), "7.00");
  EXPECT_EQ(parsed(" 12.30 "), "12.30");
  EXPECT_EQ(parsed(".5"), "0.50");
  EXPECT_EQ(parsed("-0.05"), "-0.05");
  EXPECT_EQ(parsed("-0"), "0.00");
  EXPECT_EQ(parsed("1.005"), "1.01");
  EXPECT_EQ(parsed("-0.005"), "-0.01");
  EXPECT_EQ(parsed("0.0049999"), "0.00");
  EXPECT_EQ(parsed("92233720368547758.07"), "92233720368547758.07");
  for (const char* bad :
       {"", " ", "-", ".", "1,5", "1e3", "1.2.3", "- 1", "abc", "1x", "92233720368547758.08"})
    EXPECT_EQ(parsed(bad), "nullopt") << bad;
  const Decimal min = Decimal::fromCents(std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(min.toString(), "-92233720368547758.08");
  EXPECT_LT(min, Decimal::fromCents(0));
}

TEST(Decimal, FromDouble) {
  EXPECT_EQ(fromD(101.25), "101.25");
  EXPECT_EQ(fromD(0.1 + 0.2), "0.30");
  EXPECT_EQ(fromD(-0.005), "-0.01");
  EXPECT_EQ(fromD(1.005), "1.01");
  EXPECT_EQ(fromD(-0.0), "0.00");
  EXPECT_EQ(fromD(9999999.99), "9999999.99");
  EXPECT_EQ(fromD(std::nan("")), "nullopt");
  EXPECT_EQ(fromD(INFINITY), "nullopt");
  EXPECT_EQ(fromD(1e17), "nullopt");
  EXPECT_EQ(fromD(-9.3e16), "nullopt");
  EXPECT_EQ(Decimal::parse("101.25")->toDouble(), 101.25);
  EXPECT_EQ(Decimal::parse("0.3")->toDouble(), 0.3);
}

TEST(Decimal, PackedRoundTrip) {
  unsigned char buf[5];
  ASSERT_TRUE(velmora::pack(*Decimal::fromDouble(101.25), 9, 2, buf));
  const unsigned char expect[5] = {0x00, 0x00, 0x01, 0x01, 0x25};
  EXPECT_EQ(std::memcmp(buf, expect, 5), 0);
  EXPECT_EQ(velmora::unpack(buf, 9, 2)->toString(), "101.25");

  for (const char* v : {"9999999.99", "-9999999.99", "-0.05", "0"}) {
    ASSERT_TRUE(velmora::pack(*Decimal::parse(v), 9, 2, buf)) << v;
    EXPECT_EQ(velmora::unpack(buf, 9, 2), Decimal::parse(v)) << v;
  }
  EXPECT_EQ(buf[0] >> 4, 0);  // zero is stored positive

  ASSERT_TRUE(velmora::pack(*Decimal::parse("-1"), 9, 2, buf));
  EXPECT_EQ(buf[0], 0xF0);
  buf[0] = 0x30;  // any non-zero sign nibble means negative
  EXPECT_EQ(velmora::unpack(buf, 9, 2)->toString(), "-1.00");

  unsigned char untouched[5] = {1, 2, 3, 4, 5};
  for (const char* v : {"10000000.00", "-10000000.00"}) {
    EXPECT_FALSE(velmora::pack(*Decimal::parse(v), 9, 2, untouched)) << v;
    EXPECT_EQ(untouched[0], 1);
    EXPECT_EQ(untouched[4], 5);
  }
  EXPECT_FALSE(
      velmora::pack(Decimal::fromCents(std::numeric_limits<std::int64_t>::min()), 9, 2, untouched));

  const unsigned char negZero[5] = {0xF0, 0, 0, 0, 0};
  EXPECT_EQ(velmora::unpack(negZero, 9, 2)->cents(), 0);
  const unsigned char damaged[5] = {0x00, 0x00, 0x0A, 0x01, 0x25};
  EXPECT_FALSE(velmora::unpack(damaged, 9, 2));
  const unsigned char damagedLow[5] = {0x00, 0x00, 0x01, 0x01, 0x2F};
  EXPECT_FALSE(velmora::unpack(damagedLow, 9, 2));

  // Even digit counts leave a padding nibble at the end.
  unsigned char even[4];
  EXPECT_FALSE(velmora::pack(*Decimal::parse("-12345.67"), 6, 2, even));
  ASSERT_TRUE(velmora::pack(*Decimal::parse("-1234.56"), 6, 2, even));
  const unsigned char expectEven[4] = {0xF1, 0x23, 0x45, 0x60};
  EXPECT_EQ(std::memcmp(even, expectEven, 4), 0);
  EXPECT_EQ(velmora::unpack(even, 6, 2)->toString(), "-1234.56");
}
