// The ledger's roll-up and the lines of an estimate's policy, without files
// where none are needed.

#include <random>

#include "tests/accounting/accounting_fixture.h"

namespace velmora::accounting::test {
namespace {

std::int64_t c(const Decimal& d) { return d.cents(); }

EstimateAccounts accounts() {
  EstimateAccounts a;
  a.payroll = acct(5101, 1), a.cost = acct(5102, 1), a.iva = acct(1190, 1);
  a.advances = acct(1150, 1), a.loans = acct(1160, 1), a.funds = acct(2150, 1);
  a.bank = acct(1102, 1, 2, 3, 4);
  return a;
}

POL pol(double cant, double iva, double pant, double pfon, double nomi = 0, double pres = 0,
        double ppre = 0, std::int32_t esti = 1) {
  POL p{};
  p.CTA = 7, p.ESTI = esti;
  p.CANT = cant, p.IVA = iva, p.PANT = pant, p.PFON = pfon, p.NOMI = nomi, p.PRES = pres,
  p.PPRE = ppre;
  return p;
}

std::string sides(const std::vector<PolicyLine>& lines) {
  std::string s;
  for (const PolicyLine& l : lines) s += std::to_string(l.row) + char(l.side);
  return s;
}

TEST(PolicyLines, WorkedBalanceSignsAndRounding) {
  CTR k{};
  k.CTA = 12, k.NOMB = "PEREZ";
  // Estimate 100 000, IVA 15 000, amortisation 20 000, fund 5 000.
  auto lines = estimatePolicyLines(pol(100000, 15000, 20000, 5000), k, accounts());
  EXPECT_EQ(sides(lines), "3C4C5A6A8A");
  EXPECT_EQ(c(lines[0].amount), 10000000);
  EXPECT_EQ(c(lines[1].amount), 1500000);
  EXPECT_EQ(c(lines.back().amount), 9000000);
  EXPECT_EQ(lines[0].description, "DESTAJO PEREZ");
  EXPECT_EQ(lines[1].description, "IVA DESTAJO C/12");
  EXPECT_EQ(lines.back().description, "PAGO ESTIMACION 7");
  EXPECT_EQ(lines.back().account, accounts().bank);
  EXPECT_EQ(lines[1].account, accounts().iva);

  // Payroll: a debit and a credit of the payroll account; a loan larger
  // before than now is a credit of the loans account.
  lines = estimatePolicyLines(pol(50000, 0, 0, 0, 10000, 1000, 3000), k, accounts());
  EXPECT_EQ(sides(lines), "1C2A3C7A8A");
  EXPECT_EQ(lines[0].account, lines[1].account);
  EXPECT_EQ(c(lines[2].amount), 4000000);  // the estimate less payroll
  EXPECT_EQ(c(lines[3].amount), 200000);
  EXPECT_EQ(c(lines.back().amount), 3800000);

  // Decimal rounding of the amount as it reads.
  lines = estimatePolicyLines(pol(1234.565, 0, 0, 0), k, accounts());
  EXPECT_EQ(c(lines[0].amount), 123457);
  EXPECT_EQ(c(lines.back().amount), 123457);

  // An advance entry: the advances account debited, the bank credited.
  lines = estimatePolicyLines(pol(0, 0, -8000, 0, 0, 0, 0, 0), k, accounts());
  EXPECT_EQ(sides(lines), "5C8A");
  EXPECT_EQ(c(lines.back().amount), 800000);

  // Long names are cut to the field.
  k.NOMB = std::string(30, 'N');
  lines = estimatePolicyLines(pol(100, 0, 10, 0), k, accounts());
  EXPECT_EQ(lines[1].description.size(), 30u);
}

// Any estimate: debits equal credits to the cent, every amount is positive,
// and the bank pays the estimate's amount to pay within the rounding.
TEST(PolicyLines, EveryPolicyBalances) {
  std::mt19937 rng(18);
  auto amount = [&](double top) {
    return std::uniform_int_distribution<int>(0, int(top * 1000))(rng) / 1000.0;
  };
  CTR k{};
  k.CTA = 3;
  for (int i = 0; i < 400; ++i) {
    const int kind = i % 4;  // progress, with payroll, advance, fund return
    POL p = pol(amount(900000), amount(150000), amount(50000), amount(20000));
    if (kind == 1) p.NOMI = amount(p.CANT), p.PRES = amount(9000), p.PPRE = amount(9000);
    if (kind == 2) p = pol(0, amount(1000), -amount(90000), 0, 0, 0, 0, 0);
    if (kind == 3) p = pol(0, 0, 0, -amount(90000), 0, 0, 0, -1);
    const auto lines = estimatePolicyLines(p, k, accounts());
    std::int64_t debit = 0, credit = 0;
    for (const PolicyLine& l : lines) {
      ASSERT_GE(c(l.amount), 0);
      (l.side == Side::Debit ? debit : credit) += c(l.amount);
    }
    EXPECT_EQ(debit, credit) << i;
    const double progress = p.ESTI > 0 ? p.CANT - p.NOMI : 0;
    const double toPay = progress + p.IVA - p.PANT - p.PFON - p.PPRE + p.PRES;
    const PolicyLine& bank = lines.back();
    const double paid = (bank.side == Side::Credit ? 1 : -1) * bank.amount.toDouble();
    EXPECT_NEAR(paid, toPay, 0.035) << i;
  }
}

TEST_F(Ledger, RollUpReachesEveryParentOnce) {
  books();
  db::Table& cuen = ctx.table("CUEN");
  ASSERT_TRUE(cuen.open().ok());
  int updated = 0;
  ASSERT_TRUE(rollUp(cuen, bank, *Decimal::parse("10.25"), Side::Debit, 3, &updated).ok());
  EXPECT_EQ(updated, 5);
  ASSERT_TRUE(rollUp(cuen, acct(1102), *Decimal::parse("1"), Side::Credit, 3, &updated).ok());
  EXPECT_EQ(updated, 1);
  for (const AccountNumber& a :
       {bank, acct(1102, 1, 2, 3), acct(1102, 1, 2), acct(1102, 1), acct(1102)})
    EXPECT_DOUBLE_EQ(read(a).CARGOS[2], 10.25) << a.text();
  EXPECT_DOUBLE_EQ(read(acct(1102)).ABONOS[2], 1);
  EXPECT_DOUBLE_EQ(read(acct(1102, 1)).ABONOS[2], 0);
  // A parent missing from the chart is passed over; the account must exist.
  ASSERT_TRUE(rollUp(cuen, acct(1102, 7), *Decimal::parse("1"), Side::Debit, 3).code != 0);
  account(acct(3000, 0, 5));
  ASSERT_TRUE(rollUp(cuen, acct(3000, 0, 5), *Decimal::parse("2"), Side::Debit, 12, &updated).ok());
  EXPECT_EQ(updated, 1);

  CUE r{};
  r.CARGOS[12] = 0.01, r.ABONOS[0] = -0.01;
  EXPECT_TRUE(mayDeleteAccount(r));
  r.ABONOS[5] = 0.02;
  EXPECT_FALSE(mayDeleteAccount(r));
}

}  // namespace
}  // namespace velmora::accounting::test
