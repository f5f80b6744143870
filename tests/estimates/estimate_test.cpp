// Contractor estimates without a window: the figures of a line and of the
// final amounts, and the operations that save and delete, all or nothing.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "estimates/estimate_messages.h"
#include "estimates/estimate_rules.h"
#include "estimates/estimate_save.h"
#include "estimates/item_numbers.h"
#include "tests/estimates/estimate_work.h"

namespace velmora::estimates {
namespace {

Decimal d(const char* text) { return *Decimal::parse(text); }
Ratio r(const char* text) { return Ratio::fromDecimal(d(text)); }

PAR item(double cant, double pres, double vpre, double pest, double avan = 0, double tpag = 0) {
  PAR r{};
  r.CONC = 1, r.PROC = 1, r.FREN = 1;
  r.CANT = cant, r.PRES = pres, r.VPRE = vpre, r.PEST = pest, r.AVAN = avan, r.TPAG = tpag;
  return r;
}

TEST(EstimateLines, TheThreeInputsStopAtTheBudget) {
  const ItemBudget b = itemBudget(item(10, 1000, 0, 100));
  LineFigures f{r("10"), {}, {}};  // exactly the budget
  EXPECT_FALSE(quantityGiven(b, f).refused);
  EXPECT_EQ(f.amount, d("1000"));
  EXPECT_EQ(f.percent, r("100"));
  f = {{}, {}, d("1000")};
  EXPECT_FALSE(amountGiven(b, f).refused);
  EXPECT_EQ(f.quantity, r("10"));
  EXPECT_EQ(checkLine(b, f, 1, 1, 1), LineCheck::Add);
  for (LineFigures over : {LineFigures{r("10.01"), {}, {}}, LineFigures{r("-1"), {}, {}}}) {
    EXPECT_TRUE(quantityGiven(b, over).refused);
    EXPECT_TRUE(over.quantity.isZero() && over.percent.isZero() && over.amount.cents() == 0);
  }
  f = {{}, {}, d("1000.01")};
  EXPECT_TRUE(amountGiven(b, f).refused);
  f = {{}, r("100.01"), {}};
  LineOutcome o = percentGiven(b, f);
  EXPECT_TRUE(o.cutTo100 && !o.refused);
  EXPECT_EQ(f.percent, r("100"));
  EXPECT_EQ(f.quantity, r("10"));
  EXPECT_EQ(f.amount, d("1000"));

  // A quarter done and paid: the rest of the budget over the rest of the
  // quantity, the percentages adding up to 100 exactly.
  const ItemBudget quarter = itemBudget(item(4, 1000, 0, 100, 25, 250));
  EXPECT_EQ(quarter.executed, r("1"));
  f = {r("3"), {}, {}};
  EXPECT_FALSE(quantityGiven(quarter, f).refused);
  EXPECT_EQ(f.amount, d("750"));
  EXPECT_EQ(f.percent, r("100"));
  f = {{}, r("10"), {}};  // below what is done already
  EXPECT_TRUE(percentGiven(quarter, f).refused);
}

// Nothing is rounded before the ceiling is checked: a lump sum estimated in
// two halves that are each a little more than half is refused the second
// time, one cent over the ceiling is refused on every input, and half a
// percent of a lump sum is half a percent of its amount.
TEST(EstimateLines, TheCeilingHoldsOnExactFigures) {
  const ItemBudget lump = itemBudget(item(1, 95800, 0, 100));
  LineFigures f{{}, {}, d("48378.99")};
  ASSERT_FALSE(amountGiven(lump, f).refused);
  PAR after = item(1, 95800, 0, 100, f.percent.toDouble(), 48378.99);
  LineFigures again{{}, {}, d("48378.99")};
  EXPECT_TRUE(amountGiven(itemBudget(after), again).refused);
  again = {{}, {}, d("47421.01")};  // exactly the rest
  EXPECT_FALSE(amountGiven(itemBudget(after), again).refused);

  f = {{}, r("0.5"), {}};
  EXPECT_FALSE(percentGiven(lump, f).refused);
  EXPECT_EQ(f.quantity, Ratio::of(5) / Ratio::of(1000));
  EXPECT_EQ(f.amount, d("479"));

  const ItemBudget share = itemBudget(item(10, 1000, 200, 50));  // ceiling 700
  f = {{}, {}, d("700.01")};
  EXPECT_TRUE(amountGiven(share, f).refused);
  f = {{}, {}, d("700")};
  EXPECT_FALSE(amountGiven(share, f).refused);
  // 300 paid for 30 %: 400.01 more is one cent past the ceiling, whatever
  // the quantity says.
  const ItemBudget paid = itemBudget(item(10, 1000, 200, 50, 30, 300));
  f = {{}, {}, d("400.01")};
  EXPECT_TRUE(amountGiven(paid, f).refused);
  f = {r("7"), {}, {}};
  EXPECT_FALSE(quantityGiven(paid, f).refused);
  EXPECT_EQ(f.amount, d("400"));

  // The final amounts take no negative figure and no payroll above the
  // estimate.
  FinalFigures fin;
  fin.total = d("1000");
  fin.payroll = d("1500");
  CTR sixteen{};
  sixteen.IVA = 16;
  payrollGiven(fin, sixteen);  // the IVA that follows is negative: payroll is what is wrong
  ASSERT_TRUE(refuseFinal(fin).has_value());
  EXPECT_STREQ((*refuseFinal(fin))[0], "LO PAGADO EN NOMINA NO PUEDE");
  fin.payroll = d("1000");
  payrollGiven(fin, sixteen);
  EXPECT_FALSE(refuseFinal(fin).has_value());
  for (Decimal FinalFigures::*field : {&FinalFigures::iva, &FinalFigures::amortisation,
                                       &FinalFigures::fund, &FinalFigures::loan}) {
    FinalFigures g = fin;
    g.*field = d("-0.01");
    EXPECT_TRUE(refuseFinal(g).has_value());
  }
}

TEST(EstimateLines, CeilingShareAndEmptyItems) {
  ItemBudget b = itemBudget(item(10, 1000, 200, 50));
  EXPECT_EQ(b.budget, d("600"));
  EXPECT_EQ(b.variation, d("100"));
  EXPECT_EQ(b.ceiling, d("700"));
  EXPECT_EQ(b.unitPrice, r("70"));

  // Nothing of the labour is estimated through contractors: no line.
  b = itemBudget(item(10, 1000, 200, 0));
  LineFigures f{r("1"), {}, {}};
  EXPECT_FALSE(quantityGiven(b, f).refused);
  EXPECT_EQ(checkLine(b, f, 1, 1, 1), LineCheck::Incomplete);

  // Fully executed: no division by nothing, and any quantity is refused.
  b = itemBudget(item(10, 1000, 0, 100, 100, 1000));
  f = {r("0.01"), {}, {}};
  EXPECT_TRUE(quantityGiven(b, f).refused);
  f = {{}, {}, {}};
  EXPECT_FALSE(quantityGiven(b, f).refused);
  EXPECT_EQ(f.amount, Decimal());
  EXPECT_EQ(checkLine(b, f, 1, 1, 1), LineCheck::Incomplete);
  EXPECT_EQ(checkLine(itemBudget(item(10, 1000, 0, 100)), {r("1"), r("10"), d("100")}, 1, 0, 1),
            LineCheck::Incomplete);
}

TEST(EstimateFinals, AmortisationIvaLoanAndAdvanceCaps) {
  CTR c{};
  c.PANT = 10, c.PGAR = 5, c.IVA = 16, c.ANTI = 10000, c.AAMO = 6000, c.PRES = 1500;
  POL stored{};
  stored.NOMI = 20000;
  FinalFigures f = openFinal(c, d("100000"), stored, true, false);
  EXPECT_EQ(f.amortisation, d("4000"));  // 10 % would be 10 000; 4 000 is owed
  EXPECT_EQ(f.fund, d("5000"));
  EXPECT_EQ(f.iva, d("12800"));  // proposed on the total less payroll
  EXPECT_EQ(f.previousLoan, d("1500"));
  EXPECT_EQ(f.finalAmount, d("82300"));  // 80 000 + 12 800 - 4 000 - 5 000 - 1 500
  f.toPay = d("87300");
  toPayGiven(f);
  EXPECT_EQ(f.loan, d("5000"));
  f.payroll = Decimal();
  payrollGiven(f, c);
  EXPECT_EQ(f.iva, d("16000"));
  EXPECT_EQ(f.toPay, d("110500"));
  const FinalValues v = finalValues(f);
  EXPECT_EQ(v.previousLoan, d("1500"));
  EXPECT_EQ(v.loan, d("5000"));

  // A change deducts the loan it deducted when saved, not the one it
  // granted (now the contractor's outstanding loan), payroll or not.
  stored.PPRE = 700;
  f = openFinal(c, d("100000"), stored, false, false);
  EXPECT_EQ(f.previousLoan, d("700"));
  payrollGiven(f, c);
  EXPECT_EQ(f.previousLoan, d("700"));

  // A change keeps its IVA and amortisation; a posted one shows no balances.
  stored.IVA = 1, stored.PANT = 2;
  f = openFinal(c, d("100000"), stored, false, true);
  EXPECT_EQ(f.iva, d("1"));
  EXPECT_EQ(f.amortisation, d("2"));
  EXPECT_EQ(f.advanceBalance.cents() + f.fundBalance.cents() + f.previousLoan.cents(), 0);

  c.ICON = 100000, c.GAAC = 700;  // 10 % of the contract recovers 10 000; 4 000 owed
  Decimal advance = d("6000"), fund = d("700");
  EXPECT_FALSE(capAdvance(c, advance) || capFundReturn(c, fund));
  advance = d("6000.01"), fund = d("700.01");
  EXPECT_TRUE(capAdvance(c, advance) && capFundReturn(c, fund));
  EXPECT_EQ(advance, d("6000"));
  EXPECT_EQ(fund, d("700"));
  c.ANTI = 50000;  // owes more than it can recover: nothing more, never less
  EXPECT_TRUE(capAdvance(c, advance));
  EXPECT_EQ(advance, Decimal());
}

// --- saving -------------------------------------------------------------------------

class Estimates : public test::EstimateWork {
 protected:
  // Contractor 1 (advance 10 %, fund 5 %, IVA 16 %) with items 1..n of
  // 10 units and 1 000 of labour each.
  void work(int items) {
    db::Context c(storage, 90);
    db::Table& cont = c.table("CONT");
    ASSERT_TRUE(cont.open().ok());
    CTR& k = cont.rec<CTR>();
    k.CTA = 1, k.NOMB = "PEREZ", k.PANT = 10, k.PGAR = 5, k.IVA = 16, k.ICON = 100000;
    ASSERT_TRUE(cont.add().ok());
    db::Table& part = c.table("PART");
    ASSERT_TRUE(part.open().ok() && part.stream().ok());
    for (int i = 1; i <= items; ++i) {
      part.clear();
      PAR& r = part.rec<PAR>();
      r.CONC = i, r.PROC = 1, r.FREN = 1, r.TEXT = "MURO", r.UNID = "M2";
      r.CANT = 10, r.PRES = 1000, r.PEST = 100, r.CONT = 1;
      ASSERT_TRUE(part.add().ok());
    }
    ASSERT_TRUE(part.flush().ok());
  }
  static EstimateLine line(double conc, const char* quantity, const char* amount,
                           const char* percent) {
    EstimateLine l;
    l.conc = conc, l.process = 1, l.front = 1;
    l.quantity = r(quantity), l.amount = d(amount), l.percent = r(percent);
    return l;
  }
  // Each line figured on its item as it stands in `c` (the test's context
  // when none).
  ProgressEstimate progress(std::vector<EstimateLine> lines, std::int32_t date = 80000,
                            db::Context* c = nullptr) {
    db::Table& part = (c ? *c : ctx).table("PART");
    if (!part.isOpen()) {
      EXPECT_TRUE(part.open().ok());
    }
    for (EstimateLine& l : lines) {
      part.clear();
      part.rec<PAR>().CONC = l.conc, part.rec<PAR>().PROC = l.process;
      part.rec<PAR>().FREN = l.front;
      if (part.get("PAR:CTA_KEY")) {
        l.paidBefore = figure(part.rec<PAR>().TPAG);
        l.doneBefore = part.rec<PAR>().AVAN;
      }
    }
    ProgressEstimate e;
    e.header.contractor = 1;
    e.header.date = date;
    e.finals.fund = d("25");
    e.finals.iva = d("80");
    e.lines = std::move(lines);
    return e;
  }
};

// On table files and on a work kept on the server.
class EstimatesOn : public Estimates, public ::testing::WithParamInterface<velmora::test::BackEnd> {
 protected:
  bool onServer() const override { return GetParam() == velmora::test::BackEnd::Server; }
};

TEST_P(EstimatesOn, AProgressEstimateMovesItemsLinesAndContractor) {
  work(3);
  SaveOutcome out;
  ProgressEstimate e =
      progress({line(1, "3", "300", "30"), line(2, "0", "0", "0"), line(3, "5", "500", "50")});
  e.finals.loan = d("5000");
  ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok()) << out.message[0];
  EXPECT_EQ(out.saved.CTA, 1);
  auto items = all<PAR>("PART");
  EXPECT_EQ(items[0].TPAG * 1000 + items[0].AVAN, 300 * 1000 + 30);
  EXPECT_EQ(items[1].TPAG + items[1].AVAN, 0);  // a row without quantity is not saved
  EXPECT_EQ(items[2].TPAG * 1000 + items[2].AVAN, 500 * 1000 + 50);
  auto lines = all<DPO>("DPOL");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].CTA * 1000 + lines[1].TACT + lines[1].PACT, 1000 + 500 + 50);
  CTR k = all<CTR>("CONT")[0];
  EXPECT_EQ(k.UEST, 1);
  EXPECT_EQ(k.TPAG, 800);
  EXPECT_EQ(k.GAAC, 25);
  EXPECT_EQ(k.TIVA, 80);
  EXPECT_EQ(k.PRES, 5000);
  EXPECT_EQ(k.UFEC, 80000);

  // The next estimate takes the next folio and number, and the loan is the
  // one its final amounts deduct as the previous loan.
  FinalFigures f = openFinal(k, d("200"), POL{}, true, false);
  EXPECT_EQ(f.previousLoan, d("5000"));
  e = progress({line(1, "2", "200", "50")}, 80007);
  e.finals = finalValues(f);
  ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok());
  EXPECT_EQ(out.saved.CTA * 100 + out.saved.ESTI, 202);
  EXPECT_EQ(out.saved.PPRE, 5000);
  EXPECT_EQ(out.saved.TACU, 800);
  EXPECT_EQ(out.saved.UFEC, 80000);
  k = all<CTR>("CONT")[0];
  EXPECT_EQ(k.PRES, 0);
  EXPECT_EQ(k.TPAG, 1000);

  // A change of the last one: written over what was read, lines replaced.
  // Opening it writes nothing; the item is figured as it stood before it.
  std::vector<EstimateLine> back;
  std::vector<ItemBefore> before;
  ASSERT_TRUE(readEstimateLines(ctx, 2, back, &before).ok());
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].amount, d("200"));
  EXPECT_EQ(back[0].quantity, r("2"));
  EXPECT_EQ(all<PAR>("PART")[0].TPAG, 500);
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].paid * 1000 + before[0].progress, 300 * 1000 + 30);
  e.header.insert = false;
  e.header.read = out.saved;
  e.lines = {line(1, "7", "700", "100")};
  e.lines[0].paidBefore = d("300"), e.lines[0].doneBefore = 30;
  ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok());
  EXPECT_EQ(out.saved.CANT, 700);
  EXPECT_EQ(all<PAR>("PART")[0].TPAG, 1000);
  // Another station changed it meanwhile: nothing is written.
  e.lines = {line(1, "1", "1", "1")};
  e.lines[0].paidBefore = d("300"), e.lines[0].doneBefore = 30;
  EXPECT_EQ(saveProgressEstimate(ctx, e, &out).code, err::RecordChanged);
  EXPECT_EQ(all<PAR>("PART")[0].TPAG, 1000);
}

// A failure anywhere in the save leaves the files as they were and names
// the step for its message.
TEST_P(EstimatesOn, AFailedSaveWritesNothing) {
  work(2);
  SaveOutcome out;
  ProgressEstimate e = progress({line(1, "3", "300", "30"), line(9, "1", "100", "10")});
  EXPECT_EQ(saveProgressEstimate(ctx, e, &out).code, err::RecordNotFound);
  EXPECT_EQ(out.step, SaveStep::ReadItem);
  EXPECT_EQ(out.message[1], "ERROR AL LEER EL");
  e = progress({line(1, "3", "300", "30")});
  e.header.contractor = 7;
  EXPECT_FALSE(saveProgressEstimate(ctx, e, &out).ok());
  EXPECT_EQ(out.step, SaveStep::ReadContractor);
  EXPECT_EQ(out.message[2], "CONTRATISTA");
  EXPECT_TRUE(all<POL>("POLI").empty());
  EXPECT_TRUE(all<DPO>("DPOL").empty());
  EXPECT_EQ(all<PAR>("PART")[0].TPAG, 0);
  EXPECT_EQ(all<CTR>("CONT")[0].UEST, 0);
}

TEST_P(EstimatesOn, AdvancesReturnsAndTheDeleteRule) {
  work(1);
  SaveOutcome out;
  AdvanceEntry a;
  a.header.contractor = 1, a.header.date = 80000, a.type = '1', a.amount = d("10000.01");
  EXPECT_EQ(saveAdvance(ctx, a, &out).code, err::ValueRefused);  // past 10 % of 100 000
  EXPECT_EQ(out.message[0], "CON EL PORCENTAJE DE AMORTI-");
  a.amount = Decimal();
  EXPECT_EQ(saveAdvance(ctx, a, &out).code, err::ValueRefused);
  EXPECT_EQ(out.message[1], "NO TIENE CANTIDAD, ");
  a.amount = d("10000");
  ASSERT_TRUE(saveAdvance(ctx, a, &out).ok());
  EXPECT_EQ(out.saved.ESTI * 10 + out.saved.UFEC, -10 + 1);
  EXPECT_EQ(out.saved.CANT + out.saved.PANT, 0);
  ASSERT_TRUE(saveProgressEstimate(ctx, progress({line(1, "1", "100", "10")}), &out).ok());
  ASSERT_TRUE(saveProgressEstimate(ctx, progress({line(1, "1", "100", "20")}), &out).ok());
  a.type = '3', a.amount = d("50.01");  // 25 + 25 retained
  EXPECT_EQ(saveAdvance(ctx, a, &out).code, err::ValueRefused);
  a.amount = d("50");
  ASSERT_TRUE(saveAdvance(ctx, a, &out).ok());
  EXPECT_EQ(out.saved.PFON * 10 + out.saved.ESTI, -500 - 3);
  CTR k = all<CTR>("CONT")[0];
  EXPECT_EQ(k.ANTI, 10000);
  EXPECT_EQ(k.GAAC, 0);
  EXPECT_EQ(k.UEST, 2);

  // Folios 1 advance, 2 and 3 estimates 1 and 2, 4 the return.
  EXPECT_EQ(deleteEstimate(ctx, 2, {}, &out).code, err::ValueRefused);
  EXPECT_EQ(out.message[0], "SOLO HAY BAJA EN LA ULTIMA");
  ASSERT_TRUE(deleteEstimate(ctx, 1, {}, &out).ok());  // an advance goes at any time
  // The fund estimate 2 retained was returned: deleting it would leave a
  // negative fund.
  EXPECT_EQ(deleteEstimate(ctx, 3, {}, &out).code, err::ValueRefused);
  EXPECT_EQ(out.message[0], "EL FONDO DE GARANTIA YA FUE");
  auto lines = all<DPO>("DPOL");
  ASSERT_EQ(lines.size(), 2u);
  {
    db::Table& poli = ctx.table("POLI");
    ASSERT_TRUE(poli.open().ok());
    poli.rec<POL>().CTA = 2;
    ASSERT_TRUE(poli.get("POL:CTA_KEY").ok());
    poli.rec<POL>().NOPO = 12;
    ASSERT_TRUE(poli.put().ok());
    poli.close();
  }
  EXPECT_EQ(deleteEstimate(ctx, 2, {}, &out).code, err::ValueRefused);
  EXPECT_EQ(out.message[2], "PUEDE BORRAR...");
  EXPECT_EQ(all<POL>("POLI").size(), 3u);
}

// A writer killed at any moment leaves whole estimates: every item holds
// what its lines paid, and the contractor counts every estimate on file.
TEST_P(EstimatesOn, AWriterKilledAnywhereLeavesWholeEstimates) {
  constexpr int kItems = 40;
  work(kItems);
  std::mt19937 rng(std::random_device{}());
  int killed = 0;
  for (int round = 0; round < 4; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      db::Storage s;
      name(s);
      db::Context c(s, 1);
      for (int n = 0; n < 400; ++n) {
        std::vector<EstimateLine> lines;
        for (int i = 1; i <= kItems; ++i) lines.push_back(line(i, "0.01", "1", "0"));
        if (!saveProgressEstimate(c, progress(std::move(lines), 80000, &c), nullptr)) _exit(3);
        if (n == 0) (void)!write(ready[1], "1", 1);
      }
      _exit(0);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 200000)(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    killed += WIFSIGNALED(status);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << WEXITSTATUS(status);

    const auto estimates = all<POL>("POLI");
    const auto lines = all<DPO>("DPOL");
    EXPECT_EQ(lines.size(), estimates.size() * kItems);
    for (const PAR& r : all<PAR>("PART"))
      EXPECT_EQ(hundredths(r.TPAG), std::int64_t(estimates.size()) * 100);
    const CTR k = all<CTR>("CONT")[0];
    EXPECT_EQ(std::size_t(k.UEST), estimates.size());
    EXPECT_EQ(hundredths(k.TPAG), std::int64_t(estimates.size()) * kItems * 100);
  }
  EXPECT_GE(killed, 2) << "the writer ended before it could be killed";
}

INSTANTIATE_TEST_SUITE_P(, EstimatesOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::estimates
