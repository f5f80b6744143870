#include "framework/picture.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "dictionary/dates.h"

namespace velmora {
namespace {

using I = std::int64_t;

std::string fmt(std::string_view picture, const Value& v) { return formatPicture(picture, v); }

Picture compiled(std::string_view picture) {
  auto p = compilePicture(picture);
  if (!p) throw std::invalid_argument(std::string(picture));
  return *p;
}

Value parsed(std::string_view picture, std::string_view text) {
  Value out = std::string("sin tocar");
  const Status s = parse(compiled(picture), text, out);
  EXPECT_TRUE(s.ok()) << picture << " «" << text << "»: " << s.text;
  return out;
}

// A refusal must say why in Spanish and leave the caller's value alone.
std::string refusal(std::string_view picture, std::string_view text) {
  Value out = std::string("sin tocar");
  const Status s = parse(compiled(picture), text, out);
  EXPECT_EQ(s.code, err::ValueRefused) << picture << " «" << text << "» was accepted";
  EXPECT_FALSE(s.text.empty());
  EXPECT_EQ(out, Value(std::string("sin tocar"))) << picture << " «" << text << "»";
  return s.text;
}

I day(int y, int m, int d) { return dates::fromYmd({y, m, d}); }

TEST(Picture, CompilesEveryFormAndRefusesMalformedOnes) {
  const Picture amount = compiled("@n-14.2B");
  EXPECT_EQ(amount.kind, PictureKind::Number);
  EXPECT_EQ(amount.size, 14);
  EXPECT_EQ(amount.places, 2);
  EXPECT_TRUE(amount.leadingSign);
  EXPECT_FALSE(amount.trailingSign);
  EXPECT_TRUE(amount.blankWhenZero);
  EXPECT_EQ(compiled("n15.2-B").trailingSign, true);
  EXPECT_EQ(compiled("N*16.2").fill, '*');
  EXPECT_EQ(compiled("@n06").fill, '0');
  EXPECT_EQ(compiled("@n_4b"), compiled("@N_4B"));
  EXPECT_EQ(compiled("N_6"), compiled("@n_6"));
  EXPECT_EQ(compiled("D6"), compiled("@d06"));
  EXPECT_EQ(compiled("pHoja <<<#p").pattern, "Hoja <<<#");

  EXPECT_EQ(width(compiled("@n14.2")), 14);
  EXPECT_EQ(width(compiled("@s30")), 30);
  EXPECT_EQ(width(compiled("@D6")), 10);
  EXPECT_EQ(width(compiled("@D1")), 8);
  EXPECT_EQ(width(compiled("@D12")), 8);
  EXPECT_EQ(width(compiled("@T1")), 5);
  EXPECT_EQ(width(compiled("@T6")), 10);
  EXPECT_EQ(width(compiled("pHoja <<<#p")), 9);

  for (const char* bad : {"",
                          "@",
                          "@x5",
                          "@n",
                          "@n.2",
                          "@n3.2",
                          "@n14.",
                          "@n-14.2-",
                          "@n14.2x",
                          "@n0",
                          "@n99",
                          "@s",
                          "@s0",
                          "@s12a",
                          "@D4",
                          "@D",
                          "@D12-",
                          "@D6x",
                          "@T7",
                          "@T",
                          "pHoja p",
                          "pHoja <<<#",
                          "@P"
                          "<<<<<<<<<<<<<<<<<<<"
                          "P"})
    EXPECT_FALSE(compilePicture(bad)) << bad;
  EXPECT_THROW(formatPicture("@x5", 1.0), std::invalid_argument);
}

TEST(Picture, AmountsGroupSignAndAlignRight) {
  EXPECT_EQ(fmt("@n14.2", 1234567.891), "  1,234,567.89");
  EXPECT_EQ(fmt("N14.2", 100.0), "        100.00");
  EXPECT_EQ(fmt("@n13.2", 0.5), "         0.50");
  EXPECT_EQ(fmt("@n-14.2", -1234.5), "     -1,234.50");
  EXPECT_EQ(fmt("N-14.2", 100000.0), "    100,000.00");
  // The trailing sign keeps its position blank for positives so columns line up.
  EXPECT_EQ(fmt("@n14.2-", -1234.5), "     1,234.50-");
  EXPECT_EQ(fmt("@n14.2-", 1234.5), "     1,234.50 ");
  EXPECT_EQ(fmt("@n16.2-", -2500000.0), "   2,500,000.00-");
  EXPECT_EQ(fmt("n15.2-B", 1500.0), "      1,500.00 ");
  // No sign in the picture still shows a debt as a debt.
  EXPECT_EQ(fmt("@n14.2", -1234567.891), " -1,234,567.89");
  EXPECT_EQ(fmt("@n-7", I{-1234}), " -1,234");
  EXPECT_EQ(fmt("@n-7", I{-12345}), "-12,345");
  EXPECT_EQ(fmt("@n-7", I{-123456}), "#######");  // "-123,456" needs 8
  EXPECT_EQ(fmt("N6.2", 12.3456), " 12.35");
  EXPECT_EQ(fmt("n7.2", 12.5), "  12.50");

  // Every numeric kind of Value gives the same text.
  EXPECT_EQ(fmt("@n-14.2", Decimal::fromCents(-123450)), "     -1,234.50");
  EXPECT_EQ(fmt("@n-14.2", I{-1234}), "     -1,234.00");
  EXPECT_EQ(fmt("@n-14.2", std::string(" -1234.5 ")), "     -1,234.50");
  EXPECT_EQ(fmt("@n_30", std::numeric_limits<I>::min()), "          -9223372036854775808");
}

TEST(Picture, FillsBlankWhenZeroAndOverflow) {
  // The amount in words reads 13 integer positions, the point and two decimals.
  EXPECT_EQ(fmt("N*16.2", 2500000.0), "******2500000.00");
  EXPECT_EQ(fmt("N*16.2", 0.75), "************0.75");
  EXPECT_EQ(fmt("N*16.2", 1234567890123.45), "1234567890123.45");
  EXPECT_EQ(fmt("N*16.2", 12345678901234.0), "################");
  EXPECT_EQ(fmt("N*16.2", -5.0), "-***********5.00");
  EXPECT_EQ(fmt("N_6", 42.0), "    42");
  EXPECT_EQ(fmt("@n_6", I{123456}), "123456");
  EXPECT_EQ(fmt("@n_6", I{1234567}), "######");
  EXPECT_EQ(fmt("@n_9.2", 1234.5), "  1234.50");
  EXPECT_EQ(fmt("@n06", I{42}), "000042");
  EXPECT_EQ(fmt("@n-06", I{-42}), "-00042");
  EXPECT_EQ(fmt("@n6.2", 100.0), "100.00");
  EXPECT_EQ(fmt("@n6.2", 1000.0), "######");  // "1,000.00"

  EXPECT_EQ(fmt("@n6.2B", 0.0), "      ");
  EXPECT_EQ(fmt("@n_3B", I{0}), "   ");
  EXPECT_EQ(fmt("@n_3B", I{7}), "  7");
  EXPECT_EQ(fmt("n15.2-B", 0.0), std::string(15, ' '));
  EXPECT_EQ(fmt("n15.2-B", -0.004), std::string(15, ' '));  // zero once rounded
  EXPECT_EQ(fmt("@n_3", I{0}), "  0");
  EXPECT_EQ(fmt("@n6.2", -0.004), "  0.00");  // never "-0.00"

  EXPECT_EQ(fmt("@n14.2", std::numeric_limits<double>::quiet_NaN()), std::string(14, '#'));
  EXPECT_EQ(fmt("@n14.2", std::numeric_limits<double>::infinity()), std::string(14, '#'));
  EXPECT_EQ(fmt("@n14.2", std::string("doce")), std::string(14, '#'));
}

TEST(Picture, RoundsHalfAwayFromZeroAsTyped) {
  // Decimal halves that binary doubles hold slightly below the half.
  EXPECT_EQ(fmt("@n_9.2", 2.675), "     2.68");
  EXPECT_EQ(fmt("@n_9.2", -2.675), "    -2.68");
  EXPECT_EQ(fmt("@n_9.2", 1.005), "     1.01");
  EXPECT_EQ(fmt("@n-9.2", -0.125), "    -0.13");
  EXPECT_EQ(fmt("@n_9.2", 0.125), "     0.13");
  EXPECT_EQ(fmt("@n_6", 2.5), "     3");
  EXPECT_EQ(fmt("@n-6", -2.5), "    -3");
  EXPECT_EQ(fmt("@n-6", -2.49), "    -2");
  EXPECT_EQ(fmt("@n_9.2", 9.995), "    10.00");
  EXPECT_EQ(fmt("@n_6.2", 999.995), "######");  // the carry makes it 1000.00
  EXPECT_EQ(fmt("@n14.2", 999999.995), "  1,000,000.00");
  EXPECT_EQ(fmt("@n_9.2", Decimal::fromCents(-5)), "    -0.05");
}

TEST(Picture, ParsesTypedNumbers) {
  EXPECT_EQ(parsed("@n14.2", "1,234,567.89"), Value(1234567.89));
  EXPECT_EQ(parsed("@n14.2", "  1234.5 "), Value(1234.5));
  EXPECT_EQ(parsed("@n14.2", "1,234.567"), Value(1234.57));
  EXPECT_EQ(parsed("@n14.2", ".5"), Value(0.5));
  EXPECT_EQ(parsed("@n14.2", ""), Value(0.0));
  EXPECT_EQ(parsed("@n14.2", "12345678.9"), Value(12345678.9));
  EXPECT_EQ(parsed("@n-14.2", "-1,234.50"), Value(-1234.5));
  EXPECT_EQ(parsed("@n-14.2", "1234.50-"), Value(-1234.5));
  EXPECT_EQ(parsed("@n-14.2", "- 12"), Value(-12.0));
  EXPECT_EQ(parsed("@n14.2-", "1,234.50-"), Value(-1234.5));
  EXPECT_EQ(parsed("N*16.2", "******2500000.00"), Value(2500000.0));
  EXPECT_EQ(parsed("N*16.2", "****"), Value(0.0));
  EXPECT_EQ(parsed("@n_6", "123456"), Value(I{123456}));
  EXPECT_EQ(parsed("@n_6", "0001"), Value(I{1}));
  EXPECT_EQ(parsed("@n_6", "12.0"), Value(I{12}));
  EXPECT_EQ(parsed("@n_3B", ""), Value(I{0}));
  EXPECT_EQ(parsed("@n-7", "-12,345"), Value(I{-12345}));
  EXPECT_EQ(parsed("@n-7", "+12"), Value(I{12}));

  EXPECT_NE(refusal("@n14.2", "-5").find("negativos"), std::string::npos);
  refusal("@n_6", "-1");
  EXPECT_NE(refusal("@n14.2", "12a").find("no es un número"), std::string::npos);
  refusal("@n14.2", "doce");
  refusal("@n14.2", "1.2.3");
  refusal("@n14.2", ".");
  refusal("@n14.2", "1 234");
  refusal("@n_6", "*5");  // '*' only where the picture fills with it
  // A decimal comma would otherwise silently become a thousands separator.
  EXPECT_NE(refusal("@n14.2", "1,5").find("separador de miles"), std::string::npos);
  refusal("@n14.2", "12,34.5");
  refusal("@n14.2", "1234,567");
  refusal("@n-14.2", "--5");
  refusal("@n-14.2", "-5-");
  EXPECT_NE(refusal("@n14.2", "12345678901").find("no cabe"),
            std::string::npos);  // 12,345,678,901.00
  refusal("@n_6", "1234567");
  refusal("@n-7", "1234567");   // grouped it needs 9 positions
  refusal("@n-7", "-1234567");  // the minus takes a position too
  refusal("N*16.2", "12345678901234");
  refusal("@n_6.2", "999.995");  // rounds up to 1000.00
  EXPECT_NE(refusal("@n_6", "12.5").find("decimales"), std::string::npos);
}

TEST(Picture, NumbersRoundTripThroughTheirPictures) {
  const double values[] = {0, 0.01, 0.005, 1234.5, 98765.43, 1e9, -0.01, -1234.5, -98765.43};
  for (const char* pic : {"@n14.2", "@n-14.2", "@n14.2-", "@n16.2-", "n15.2-B", "N*16.2", "@n_9.2",
                          "@n13.2", "N-14.2", "@n-13.2B", "@n12.2B"}) {
    const Picture p = compiled(pic);
    for (double v : values) {
      const std::string shown = format(p, v);
      ASSERT_EQ(static_cast<int>(shown.size()), width(p)) << pic << " " << v;
      if (shown.find('#') != std::string::npos) continue;
      Value back;
      const Status s = parse(p, shown, back);
      if (v < 0 && !p.leadingSign && !p.trailingSign) {
        // Shown for safety, but such a field does not take negatives.
        EXPECT_FALSE(s.ok()) << pic << " «" << shown << "»";
        continue;
      }
      ASSERT_TRUE(s.ok()) << pic << " «" << shown << "»: " << s.text;
      EXPECT_EQ(format(p, back), shown) << pic << " " << v;
      EXPECT_NEAR(std::get<double>(back), v, 0.0051) << pic;
    }
  }
  for (I v : {I{0}, I{7}, I{999}, I{123456}})
    for (const char* pic : {"@n_6", "N_6", "@n-7", "@n_6B", "@n06"}) {
      const Picture p = compiled(pic);
      Value back;
      ASSERT_TRUE(parse(p, format(p, v), back).ok()) << pic << " " << v;
      EXPECT_EQ(back, Value(v)) << pic;
    }
}

TEST(Picture, StringsAreCutByCharacters) {
  EXPECT_EQ(fmt("@s30", std::string("EXCAVACION EN MATERIAL TIPO II CON EQUIPO")),
            "EXCAVACION EN MATERIAL TIPO II");
  EXPECT_EQ(fmt("@s3", std::string("ÑAÑO")), "ÑAÑ");
  EXPECT_EQ(fmt("@s5", std::string("abc")), "abc");
  EXPECT_EQ(fmt("@s8", I{42}), "42");
  EXPECT_EQ(parsed("@s4", "Año nuevo"), Value(std::string("Año ")));
  EXPECT_EQ(parsed("@s30", "Camión"), Value(std::string("Camión")));
}

TEST(Picture, DatesShowAndReadDayMonthYear) {
  const I d = day(2024, 3, 5);
  EXPECT_EQ(fmt("@D6", d), "05/03/2024");
  EXPECT_EQ(fmt("D6", d), "05/03/2024");
  EXPECT_EQ(fmt("@D5", d), "05/03/24");
  EXPECT_EQ(fmt("@D1", d), "03/05/24");
  EXPECT_EQ(fmt("@D2", d), "03/05/2024");
  EXPECT_EQ(fmt("@D9", d), "24/03/05");
  EXPECT_EQ(fmt("@D10", d), "2024/03/05");
  EXPECT_EQ(fmt("@D11", d), "240305");
  EXPECT_EQ(fmt("@D12", d), "20240305");
  EXPECT_EQ(fmt("@D6.", d), "05.03.2024");
  EXPECT_EQ(fmt("@D6-", d), "05-03-2024");
  EXPECT_EQ(fmt("@d6_", d), "05 03 2024");
  EXPECT_EQ(fmt("@D6", I{dates::kFirstDate}), "01/01/1801");
  EXPECT_EQ(fmt("@D6", I{dates::kLastDate}), "31/12/2099");
  EXPECT_EQ(fmt("@D6", I{0}), std::string(10, ' '));
  EXPECT_EQ(fmt("@D6", I{dates::kLastDate + 1}), std::string(10, '#'));
  EXPECT_EQ(fmt("@D6", I{-3}), std::string(10, '#'));

  for (const char* typed :
       {"5/3/2024", "05/03/2024", " 05-03-2024 ", "5.3.2024", "5 / 3 / 2024", "05032024"})
    EXPECT_EQ(parsed("@D6", typed), Value(d)) << typed;
  EXPECT_EQ(parsed("@D2", "3/5/2024"), Value(d));
  EXPECT_EQ(parsed("@D10", "2024-3-5"), Value(d));
  EXPECT_EQ(parsed("@D12", "20240305"), Value(d));
  EXPECT_EQ(parsed("@D6", ""), Value(I{0}));
  EXPECT_EQ(parsed("@D6", "29/02/2024"), Value(day(2024, 2, 29)));
  EXPECT_EQ(parsed("@D6", "29/02/2000"), Value(day(2000, 2, 29)));
  const int thisYear = dates::yearOf(dates::today());
  EXPECT_EQ(parsed("@D6", "5/3/24"), Value(day(expandYear(24, thisYear), 3, 5)));
  EXPECT_EQ(parsed("@D6", "050324"), Value(day(expandYear(24, thisYear), 3, 5)));

  for (const char* impossible : {"29/02/2023", "29/02/1900", "31/04/2024", "32/01/2024",
                                 "00/01/2024", "13/13/2024", "5/0/2024"})
    EXPECT_NE(refusal("@D6", impossible).find("no es una fecha válida"), std::string::npos)
        << impossible;
  EXPECT_NE(refusal("@D6", "31/12/1800").find("fuera de rango"), std::string::npos);
  EXPECT_NE(refusal("@D6", "01/01/2100").find("fuera de rango"), std::string::npos);
  for (const char* junk : {"5/3", "5/3/2024/1", "5/3/", "a/3/2024", "5/3/202", "5/3/20245",
                           "005/03/2024", "0503202", "hoy", "5/3/2024x"})
    EXPECT_NE(refusal("@D6", junk).find("día/mes/año"), std::string::npos) << junk;
  refusal("@D1", "31/12/2024");  // month first there

  for (I date : {I{dates::kFirstDate}, I{dates::kLastDate}, day(2008, 2, 29), d, I{dates::today()}})
    for (const char* pic : {"@D6", "@D2", "@D10", "@D12", "@D6-"}) {
      const Picture p = compiled(pic);
      EXPECT_EQ(parsed(pic, format(p, date)), Value(date)) << pic << " " << date;
    }
  // Two-digit years come back only inside the window around today.
  EXPECT_EQ(parsed("@D5", fmt("@D5", I{dates::today()})), Value(I{dates::today()}));
}

TEST(Picture, TwoDigitYearsFallInAHundredYearWindow) {
  EXPECT_EQ(expandYear(45, 2025), 2045);
  EXPECT_EQ(expandYear(46, 2025), 1946);
  EXPECT_EQ(expandYear(0, 2025), 2000);
  EXPECT_EQ(expandYear(99, 2025), 1999);
  EXPECT_EQ(expandYear(25, 2025), 2025);
  EXPECT_EQ(expandYear(24, 2080), 2024);
  EXPECT_EQ(expandYear(0, 2080), 2100);
}

TEST(Picture, TimesShowAndReadTheClock) {
  const I t = dates::timeOf(8, 5, 59, 99);
  EXPECT_EQ(fmt("@T1", t), "08:05");  // cut, not rounded up to 08:06
  EXPECT_EQ(fmt("@T2", t), "0805");
  EXPECT_EQ(fmt("@T4", t), "08:05:59");
  EXPECT_EQ(fmt("@T5", t), "080559");
  EXPECT_EQ(fmt("@T6", t), "08:05:59AM");
  EXPECT_EQ(fmt("@T3", I{dates::timeOf(13, 30, 0)}), "01:30PM");
  EXPECT_EQ(fmt("@T3", I{dates::timeOf(0, 15, 0)}), "12:15AM");
  EXPECT_EQ(fmt("@T3", I{dates::timeOf(12, 0, 0)}), "12:00PM");
  EXPECT_EQ(fmt("@T1", I{1}), "00:00");
  EXPECT_EQ(fmt("@T1", I{0}), "     ");
  EXPECT_EQ(fmt("@T1", I{dates::kLastTime + 1}), "#####");

  const I eight5 = dates::timeOf(8, 5, 0);
  for (const char* typed : {"8:05", "08:05", "8.05", "0805", "805", " 8:5 ", "8:05:00", "8:05 am"})
    EXPECT_EQ(parsed("@T1", typed), Value(eight5)) << typed;
  EXPECT_EQ(parsed("@T1", "8"), Value(I{dates::timeOf(8, 0, 0)}));
  EXPECT_EQ(parsed("@T4", "20:30:15"), Value(I{dates::timeOf(20, 30, 15)}));
  EXPECT_EQ(parsed("@T4", "203015"), Value(I{dates::timeOf(20, 30, 15)}));
  EXPECT_EQ(parsed("@T1", "8:30 p.m."), Value(I{dates::timeOf(20, 30, 0)}));
  EXPECT_EQ(parsed("@T1", "12:00AM"), Value(I{1}));  // midnight is 1, not "no time"
  EXPECT_EQ(parsed("@T1", "12:10pm"), Value(I{dates::timeOf(12, 10, 0)}));
  EXPECT_EQ(parsed("@T1", ""), Value(I{0}));
  for (const char* bad : {"24:00", "8:60", "8:05:60", "13pm", "0am", "8:", ":30", "8::30",
                          "1:2:3:4", "abc", "1234567", "pm", "8-30"})
    EXPECT_NE(refusal("@T1", bad).find("no es una hora"), std::string::npos) << bad;

  for (I time : {I{1}, eight5, I{dates::timeOf(23, 59, 59)}, I{dates::timeOf(12, 0, 1)}})
    for (const char* pic : {"@T4", "@T5", "@T6"})
      EXPECT_EQ(parsed(pic, fmt(pic, time)), Value(time)) << pic << " " << time;
}

TEST(Picture, PatternsNumberThePages) {
  EXPECT_EQ(fmt("pHoja <<<#p", I{5}), "Hoja 5");
  EXPECT_EQ(fmt("pHoja <<<#p", 123.0), "Hoja 123");
  EXPECT_EQ(fmt("pHoja <<<#p", I{1234}), "Hoja 1234");
  EXPECT_EQ(fmt("pHoja <<<#p", I{0}), "Hoja 0");
  EXPECT_EQ(fmt("pHoja <<<#p", I{12345}), "#########");
  EXPECT_EQ(fmt("pHoja <<<#p", I{-1}), "#########");
  EXPECT_EQ(fmt("@P<<,<<#P", I{12345}), "12,345");
  EXPECT_EQ(fmt("@P<<,<<#P", I{5}), "5");
  EXPECT_EQ(fmt("@P###-####P", I{12345}), "001-2345");
  EXPECT_EQ(fmt("@P(<<#)P", I{7}), "(7)");

  EXPECT_EQ(parsed("pHoja <<<#p", "Hoja 12"), Value(I{12}));
  EXPECT_EQ(parsed("pHoja <<<#p", "hoja 7"), Value(I{7}));
  EXPECT_EQ(parsed("pHoja <<<#p", "12"), Value(I{12}));
  EXPECT_EQ(parsed("@P###-####P", "001-2345"), Value(I{12345}));
  refusal("pHoja <<<#p", "Hoja x");
  refusal("pHoja <<<#p", "12345");
}

TEST(Picture, ParseGivesThePicturesKindOfValue) {
  EXPECT_TRUE(std::holds_alternative<double>(parsed("@n6.2", "5")));
  EXPECT_TRUE(std::holds_alternative<I>(parsed("@n_6", "5")));
  EXPECT_TRUE(std::holds_alternative<I>(parsed("@D6", "5/3/2024")));
  EXPECT_TRUE(std::holds_alternative<I>(parsed("@T1", "8:00")));
  EXPECT_TRUE(std::holds_alternative<std::string>(parsed("@s5", "5")));
  // The double overload and the cache answer like a fresh compile.
  EXPECT_EQ(formatPicture("N_6", 5), format(compiled("N_6"), Value(5.0)));
  EXPECT_EQ(formatPicture("N_6", 5), "     5");
}

}  // namespace
}  // namespace velmora
