// The cheque's page: items at the bank's positions, the payee's room, the
// amount in words over two lines.

#include <gtest/gtest.h>

#include "accounting/banks.h"
#include "accounting/cheque.h"
#include "dictionary/dates.h"

namespace velmora::accounting {
namespace {

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

TEST(Cheque, TwentyLinesAtTheBanksPositions) {
  BAN b{};
  b.ROW = kDefaultRows;
  b.COL = kDefaultColumns;
  ChequeData d;
  d.date = dates::dateOf(12, 9, 2026);
  d.payee = "CONSTRUCCIONES Y ACABADOS DEL NORTE DE MÉXICO SOCIEDAD ANONIMA DE CV";  // 65+
  d.amount = *Decimal::parse("2777777.77");
  d.message = "NO NEGOCIABLE";
  std::vector<std::string> lines;
  ASSERT_TRUE(chequeLines(b, d, lines).ok());
  ASSERT_EQ(lines.size(), 20u);
  std::vector<std::string> expected(20);
  expected[0] = std::string(9, ' ') + "NO NEGOCIABLE";
  expected[2] = std::string(54, ' ') + "9 DE DICIEMBRE DE 2026";
  // The payee stops two short of the amount's column: 45 characters.
  expected[5] =
      "  CONSTRUCCIONES Y ACABADOS DEL NORTE DE MÉXICO" + std::string(2, ' ') + "  2,777,777.77";
  expected[9] = "  (DOS MILLONES SETECIENTOS SETENTA Y SIETE MIL SETECIENTOS";
  expected[10] = "  SETENTA Y SIETE PESOS 77/100. M.N.)";
  for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(rtrim(lines[i]), expected[i]) << i + 1;
  EXPECT_EQ(lines[0].size(), 250u);

  // Rows at 0 print nothing: a blank cheque. The words do not reach past
  // their cents, even for the largest amount.
  b.ROW = {0, 0, 1, 0, 0};
  b.COL = {0, 0, 1, 0, 0};
  d.amount = *Decimal::parse("999999999999.99");
  ASSERT_TRUE(chequeLines(b, d, lines).ok());
  std::string words;
  for (const std::string& l : lines) words += rtrim(l) + (rtrim(l).empty() ? "" : " ");
  EXPECT_NE(words.find("99/100. M.N.)"), std::string::npos) << words;
  for (const std::string& l : lines) EXPECT_LE(rtrim(l).size(), 60u);
  d.amount = *Decimal::parse("1000000000000");
  EXPECT_FALSE(chequeLines(b, d, lines).ok());
}

}  // namespace
}  // namespace velmora::accounting
