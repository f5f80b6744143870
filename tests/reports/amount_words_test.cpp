// Amounts in words as the cheques print them, and the amounts they refuse.

#include "reports/amount_words.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace velmora {
namespace {

// A refusal must carry its code and a message, and never leave a text behind.
template <typename Amount>
std::string words(Amount amount) {
  std::string text = "texto anterior";
  Status st = amountInWords(amount, text);
  if (st.ok()) return text;
  EXPECT_EQ(st.code, err::ValueRefused);
  EXPECT_FALSE(st.text.empty());
  EXPECT_TRUE(text.empty()) << text;
  return "RECHAZADO";
}

std::string pesos(const std::string& w, const std::string& cents = "00") {
  return "(" + w + " PESOS " + cents + "/100. M.N.)";
}

TEST(AmountWords, DocumentedExamples) {
  EXPECT_EQ(words(1.0), "(UN PESOS 00/100. M.N.)");
  EXPECT_EQ(words(100.0), "(CIEN PESOS 00/100. M.N.)");
  EXPECT_EQ(words(101.0), "(CIENTO UN PESOS 00/100. M.N.)");
  EXPECT_EQ(words(115.50), "(CIENTO QUINCE PESOS 50/100. M.N.)");
  EXPECT_EQ(words(16.0), "(DIEZ Y SEIS PESOS 00/100. M.N.)");
  EXPECT_EQ(words(1000.0), "(UN MIL PESOS 00/100. M.N.)");
  EXPECT_EQ(words(21000.0), "(VEINTE Y UN MIL PESOS 00/100. M.N.)");
  EXPECT_EQ(words(1000000.0), "(UN MILLON PESOS 00/100. M.N.)");
  EXPECT_EQ(words(2500000.0), "(DOS MILLONES QUINIENTOS MIL PESOS 00/100. M.N.)");
  EXPECT_EQ(words(21000000.0), "(VEINTE Y UN MILLONES PESOS 00/100. M.N.)");
  EXPECT_EQ(words(2000000000.0), "(DOS MIL MILLONES PESOS 00/100. M.N.)");
  EXPECT_EQ(words(0.75), "( 75/100. M.N.)");
  EXPECT_EQ(words(700.0), "(SETECIENTOS PESOS 00/100. M.N.)");
  EXPECT_EQ(words(200.0), "(DOS CIENTOS PESOS 00/100. M.N.)");
}

TEST(AmountWords, GroupBoundaries) {
  const std::string n999 = "NOVECIENTOS NOVENTA Y NUEVE";
  EXPECT_EQ(words(999.0), pesos(n999));
  EXPECT_EQ(words(999999.0), pesos(n999 + " MIL " + n999));
  EXPECT_EQ(words(1000001.0), pesos("UN MILLON UN"));
  EXPECT_EQ(words(1500000.0), pesos("UN MILLON QUINIENTOS MIL"));
  EXPECT_EQ(words(11000000.0), pesos("ONCE MILLONES"));
  EXPECT_EQ(words(999999999.0), pesos(n999 + " MILLONES " + n999 + " MIL " + n999));
  EXPECT_EQ(words(1000000000.0), pesos("UN MIL MILLONES"));
  EXPECT_EQ(words(1000000001.0), pesos("UN MIL MILLONES UN"));
  EXPECT_EQ(words(1001000000.0), pesos("UN MIL UN MILLONES"));
  EXPECT_EQ(words(1000001000.0), pesos("UN MIL MILLONES UN MIL"));
  // The largest the four groups spell, and one cent more.
  EXPECT_EQ(words(999999999999.99),
            pesos(n999 + " MIL " + n999 + " MILLONES " + n999 + " MIL " + n999, "99"));
  EXPECT_EQ(words(999999999999.995), "RECHAZADO");
  for (double big : {1e12, 1234567890123.0, 1e13, 1e20, 1e300, std::numeric_limits<double>::max()})
    EXPECT_EQ(words(big), "RECHAZADO") << big;
  // The longest words still fit the 200-character text.
  const std::string n474 = "CUATRO CIENTOS SETENTA Y CUATRO";
  std::string longest = words(474474474474.77);
  EXPECT_EQ(longest, pesos(n474 + " MIL " + n474 + " MILLONES " + n474 + " MIL " + n474, "77"));
  EXPECT_LE(longest.size(), 200u);
}

TEST(AmountWords, HundredsTeensAndTwentiesInEveryGroup) {
  const std::vector<std::string> hundreds = {"CIEN",           "DOS CIENTOS",  "TRES CIENTOS",
                                             "CUATRO CIENTOS", "QUINIENTOS",   "SEIS CIENTOS",
                                             "SETECIENTOS",    "OCHO CIENTOS", "NOVECIENTOS"};
  const std::vector<std::string> tenTo29 = {
      "DIEZ",           "ONCE",          "DOCE",           "TRECE",         "CATORCE",
      "QUINCE",         "DIEZ Y SEIS",   "DIEZ Y SIETE",   "DIEZ Y OCHO",   "DIEZ Y NUEVE",
      "VEINTE",         "VEINTE Y UN",   "VEINTE Y DOS",   "VEINTE Y TRES", "VEINTE Y CUATRO",
      "VEINTE Y CINCO", "VEINTE Y SEIS", "VEINTE Y SIETE", "VEINTE Y OCHO", "VEINTE Y NUEVE"};
  const double scale[] = {1, 1e3, 1e6, 1e9};
  const std::string suffix[] = {"", " MIL", " MILLONES", " MIL MILLONES"};
  for (int g = 0; g < 4; ++g) {
    SCOPED_TRACE(suffix[g]);
    for (int h = 1; h <= 9; ++h)
      EXPECT_EQ(words(h * 100 * scale[g]), pesos(hundreds[h - 1] + suffix[g]));
    EXPECT_EQ(words(101 * scale[g]), pesos("CIENTO UN" + suffix[g]));
    EXPECT_EQ(words(110 * scale[g]), pesos("CIENTO DIEZ" + suffix[g]));
    EXPECT_EQ(words(199 * scale[g]), pesos("CIENTO NOVENTA Y NUEVE" + suffix[g]));
    for (int n = 10; n <= 29; ++n)
      EXPECT_EQ(words(n * scale[g]), pesos(tenTo29[n - 10] + suffix[g]));
  }
}

TEST(AmountWords, CentsAndRounding) {
  for (int c = 0; c <= 99; ++c) {
    std::string cc = (c < 10 ? "0" : "") + std::to_string(c);
    EXPECT_EQ(words(7 + c / 100.0), pesos("SIETE", cc));
    EXPECT_EQ(words(c / 100.0), "( " + cc + "/100. M.N.)");
  }
  // Half away from zero on the decimal as typed, not on its binary neighbour.
  EXPECT_EQ(words(0.125), "( 13/100. M.N.)");
  EXPECT_EQ(words(2.675), pesos("DOS", "68"));
  EXPECT_EQ(words(1.005), pesos("UN", "01"));
  EXPECT_EQ(words(0.004999), "( 00/100. M.N.)");
  EXPECT_EQ(words(0.995), pesos("UN"));
  EXPECT_EQ(words(999999.999), pesos("UN MILLON"));
}

TEST(AmountWords, NegativeAndNonFinite) {
  for (double bad :
       {-1.0, -0.005, -2500000.0, std::nan(""), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()})
    EXPECT_EQ(words(bad), "RECHAZADO") << bad;
  // Rounds to no cents at all: zero, not a negative amount.
  EXPECT_EQ(words(-0.0), "( 00/100. M.N.)");
  EXPECT_EQ(words(-0.004), "( 00/100. M.N.)");
}

TEST(AmountWords, FieldForms) {
  using F = std::string_view;
  EXPECT_EQ(words(F("*****2500000.00")), "RECHAZADO");  // 15 characters
  for (F field : {"******2500000.00", "      2500000.00", "0000002500000.00"})
    EXPECT_EQ(words(field), pesos("DOS MILLONES QUINIENTOS MIL"));
  EXPECT_EQ(words(F("999999999999.99")), "RECHAZADO");
  EXPECT_EQ(words(F("0999999999999.99")).substr(0, 12), "(NOVECIENTOS");
  EXPECT_EQ(words(F("************0.75")), "( 75/100. M.N.)");
  EXPECT_EQ(words(F("*************.75")), "( 75/100. M.N.)");
  EXPECT_EQ(words(F("             .00")), "( 00/100. M.N.)");
  for (F bad : {"1000000000000.00", "9000000000001.00", "################", "*****-2500000.00",
                "-00002500000.00*", "******2500000,00", "*******2500000.0", "******25*0000.00",
                "******2500000.7*", "****2500000.00**", "*******2500000.0 ", "******25OOOOO.00",
                "                "})
    EXPECT_EQ(words(bad), "RECHAZADO") << bad;
}

}  // namespace
}  // namespace velmora
