// Random sequences of what a clerk does with estimates (capture, change,
// change and cancel, delete, advances, fund returns), figured as the
// windows figure them and saved through the operations they call. After
// every single step the audit finds nothing to correct, no item is paid past
// its ceiling, and no contractor owes a negative advance or holds a negative
// fund. Two stations saving at once from the same figures: one is refused.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "dictionary/dates.h"
#include "estimates/audit_engine.h"
#include "estimates/contractor_totals.h"
#include "estimates/estimate_messages.h"
#include "estimates/estimate_rules.h"
#include "estimates/estimate_save.h"
#include "tests/accounting/accounting_fixture.h"
#include "tests/estimates/estimate_work.h"

namespace velmora::estimates {
namespace {

Decimal d(const char* text) { return *Decimal::parse(text); }

class EstimateSequences : public test::EstimateWork {
 protected:
  const std::int32_t kPostingDay = dates::dateOf(3, 15, 2026);
  void SetUp() override {
    EstimateWork::SetUp();
    for (const char* label : accounting::test::kBookTables)
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
  }
  // The work's accounts, its bank and automatic policies on.
  void books() {
    using accounting::test::acct;
    accounting::test::writeBooks(
        storage, {acct(5101, 1), acct(5102, 1), acct(1190, 1), acct(1150, 1), acct(1160, 1),
                  acct(2150, 1), acct(1102, 1, 2, 3, 4)});
  }
  // A line figured as UP_AVAN figures it, from one of its three inputs.
  std::optional<EstimateLine> figureLine(PAR item, std::mt19937& rng) {
    const ItemBudget b = itemBudget(item);
    LineFigures f;
    const std::int64_t room = b.ceiling.cents() - b.paid.cents();
    if (room <= 0) return std::nullopt;
    // Now and then a little more than what is left, to be refused.
    const std::int64_t cents =
        std::uniform_int_distribution<std::int64_t>(1, room + room / 10)(rng);
    switch (rng() % 3) {
      case 0:
        f.amount = Decimal::fromCents(cents);
        if (amountGiven(b, f).refused) return std::nullopt;
        break;
      case 1:
        f.percent = b.done + Ratio::fromDecimal(Decimal::fromCents(cents)) * Ratio::of(100) /
                                 Ratio::fromDecimal(b.ceiling);
        if (percentGiven(b, f).refused) return std::nullopt;
        break;
      default:
        f.quantity = (b.quantity - b.executed) * Ratio::fromDecimal(Decimal::fromCents(cents)) /
                     Ratio::fromDecimal(Decimal::fromCents(room));
        if (quantityGiven(b, f).refused) return std::nullopt;
    }
    if (checkLine(b, f, item.CONC, item.PROC, item.FREN) != LineCheck::Add) return std::nullopt;
    EstimateLine l;
    l.conc = item.CONC, l.process = item.PROC, l.front = item.FREN;
    l.paidBefore = b.paid, l.doneBefore = item.AVAN;
    l.quantity = f.quantity, l.amount = f.amount, l.percent = f.percent;
    return l;
  }

  // A new estimate, or a change of the contractor's last one, as UP_ESTI and
  // POLFIN figure it.
  Status capture(db::Context& c, std::int16_t contractor, std::optional<POL> change,
                 std::mt19937& rng, SaveOutcome& out) {
    ProgressEstimate e;
    e.header.contractor = contractor;
    e.header.date = 80000 + int(rng() % 50);
    e.header.insert = !change;
    e.header.read = change;
    CTR k = readContractor(c, contractor);
    std::vector<ItemBefore> before;
    if (change) {
      std::vector<EstimateLine> kept;
      EXPECT_TRUE(readEstimateLines(c, change->CTA, kept, &before).ok());
      EXPECT_TRUE(
          contractorBefore(c.table("POLI"), c.table("CONT"), contractor, change->CTA, k).ok());
      // Some lines kept as they were read, the rest figured again.
      for (EstimateLine& l : kept)
        if (rng() % 2) e.lines.push_back(l);
    }
    for (double conc : itemsOf(contractor)) {
      if (rng() % 2) continue;
      bool there = false;
      for (const EstimateLine& l : e.lines) there = there || l.conc == conc;
      if (there) continue;
      PAR item = readItem(c, conc);
      for (const ItemBefore& b : before)
        if (b.conc == conc) item.TPAG = b.paid, item.AVAN = b.progress;
      if (auto l = figureLine(item, rng)) e.lines.push_back(*l);
    }
    Decimal total;
    for (const EstimateLine& l : e.lines)
      total = Decimal::fromCents(total.cents() + l.amount.cents());
    FinalFigures f = openFinal(k, total, change ? *change : POL{}, !change, false);
    if (rng() % 4 == 0) {
      f.payroll = Decimal::fromCents(total.cents() / 10);
      payrollGiven(f, k);
    }
    if (rng() % 4 == 0) {
      f.toPay = Decimal::fromCents(f.finalAmount.cents() + 50000);
      toPayGiven(f);
    }
    e.finals = finalValues(f);
    return saveProgressEstimate(c, e, &out);
  }
};

// On table files and on a work kept on the server.
class EstimateSequencesOn : public EstimateSequences,
                            public ::testing::WithParamInterface<velmora::test::BackEnd> {
 protected:
  bool onServer() const override { return GetParam() == velmora::test::BackEnd::Server; }
};

TEST_P(EstimateSequencesOn, EveryStepLeavesTheTotalsTheAuditWouldRebuild) {
  work();
  books();
  int saved = 0, refused = 0, posts = 0;
  for (unsigned seed : {11u, 23u, 47u}) {
    std::mt19937 rng(seed);
    for (int step = 0; step < 45; ++step) {
      const std::int16_t who = std::int16_t(1 + rng() % 2);
      SaveOutcome out;
      Status st;
      std::string what;
      switch (rng() % 8) {
        case 7: {
          // Posted with its policy: frozen from then on.
          what = "contabiliza";
          std::vector<std::int16_t> open;
          for (const POL& p : all<POL>("POLI"))
            if (p.NOPO == 0) open.push_back(p.CTA);
          if (open.empty()) break;
          accounting::PostingInput in;
          in.estimate = open[rng() % open.size()], in.bank = 1, in.work = "OB1";
          in.today = kPostingDay, in.now = 100;
          accounting::PostingOutcome posted;
          st = accounting::postEstimate(ctx, in, &posted);
          if (st) ++posts;
          if (!st)
            out.message = {posted.messages.empty() ? st.text : posted.messages[0][0], "", ""};
          break;
        }
        case 0:
        case 1:
          what = "alta";
          st = capture(ctx, who, std::nullopt, rng, out);
          break;
        case 2:
          what = "cambia";
          if (auto last = lastOf(who)) st = capture(ctx, who, last, rng, out);
          break;
        case 3: {
          // Opened for a change and cancelled: nothing is written.
          what = "cambia y cancela";
          if (auto last = lastOf(who)) {
            std::vector<EstimateLine> lines;
            std::vector<ItemBefore> before;
            CTR k{};
            ASSERT_TRUE(readEstimateLines(ctx, last->CTA, lines, &before).ok());
            ASSERT_TRUE(
                contractorBefore(ctx.table("POLI"), ctx.table("CONT"), who, last->CTA, k).ok());
          }
          break;
        }
        case 4: {
          what = "borra";
          const auto estimates = all<POL>("POLI");
          if (!estimates.empty())
            st = deleteEstimate(ctx, estimates[rng() % estimates.size()].CTA, {}, &out);
          break;
        }
        case 5: {
          what = "anticipo";
          AdvanceEntry a;
          a.header.contractor = who, a.header.date = 80000 + int(rng() % 50), a.type = '1';
          const Decimal room = advanceRoom(readContractor(ctx, who));
          a.amount = Decimal::fromCents(1 + std::int64_t(rng() % std::uint64_t(room.cents() + 1)));
          st = saveAdvance(ctx, a, &out);
          break;
        }
        default: {
          what = "devolucion de fondo";
          AdvanceEntry a;
          a.header.contractor = who, a.header.date = 80000 + int(rng() % 50), a.type = '3';
          const Decimal fund = figure(readContractor(ctx, who).GAAC);
          a.amount = Decimal::fromCents(1 + std::int64_t(rng() % std::uint64_t(fund.cents() + 1)));
          st = saveAdvance(ctx, a, &out);
        }
      }
      (st ? saved : refused) += 1;
      // Every policy balances and has its estimate, and every posted
      // estimate its policy.
      std::vector<std::string> differences;
      if (posts > 0) {
        db::Context books(storage, 96);
        ASSERT_TRUE(accounting::checkLedger(books, 3, 2026, differences).ok());
      }
      for (const std::string& d : differences) ADD_FAILURE() << what << ": " << d;
      check("semilla " + std::to_string(seed) + " paso " + std::to_string(step) + " " + what +
            (st ? "" : " rechazado: " + out.message[0]));
      if (HasFatalFailure() || HasFailure()) return;
    }
  }
  EXPECT_GT(saved, 60);
  EXPECT_GT(refused, 5);
  EXPECT_GT(posts, 5);
}

// The example that once paid 1 500 on a ceiling of 1 000: a change opened
// and cancelled writes nothing, so the next capture is figured on the item
// as it stands; a delete takes its lines off the items at once.
TEST_P(EstimateSequencesOn, ACancelledChangeAndADeleteLeaveItemsAsTheyStand) {
  work();
  std::mt19937 rng(5);
  SaveOutcome out;
  PAR item = readItem(ctx, 3);  // 3 units, 900
  LineFigures f{Ratio::of(1), {}, {}};
  ASSERT_FALSE(quantityGiven(itemBudget(item), f).refused);
  ProgressEstimate e;
  e.header.contractor = 1, e.header.date = 80000;
  EstimateLine l;
  l.conc = 3, l.process = 1, l.front = 1, l.quantity = f.quantity, l.amount = f.amount;
  l.percent = f.percent;
  e.lines = {l};
  ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok()) << out.message[0];
  std::vector<EstimateLine> lines;
  std::vector<ItemBefore> before;
  ASSERT_TRUE(readEstimateLines(ctx, out.saved.CTA, lines, &before).ok());
  item = readItem(ctx, 3);
  EXPECT_EQ(item.TPAG, 300);  // opening the change wrote nothing
  EXPECT_NEAR(itemBudget(item).executed.toDouble(), 1, 1e-9);
  check("cambia y cancela");

  // Deleted: the item is as before the estimate, at once.
  ASSERT_TRUE(deleteEstimate(ctx, out.saved.CTA, {}, &out).ok());
  item = readItem(ctx, 3);
  EXPECT_EQ(item.TPAG + item.AVAN, 0);
  EXPECT_EQ(readContractor(ctx, 1).UEST, 0);
  check("borra");

  // A line figured before another estimate paid the same item is refused,
  // naming the item.
  e.lines[0].paidBefore = Decimal();
  ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok());
  EXPECT_EQ(saveProgressEstimate(ctx, e, &out).code, err::ValueRefused);
  EXPECT_EQ(out.message[0], "OTRA ESTACION MODIFICO LA PARTIDA");
  EXPECT_EQ(out.message[1], "3/1/1; REVISE LA");
  // No line, negative figures and payroll above the estimate are refused.
  ProgressEstimate empty = e;
  empty.lines.clear();
  EXPECT_EQ(saveProgressEstimate(ctx, empty, &out).code, err::ValueRefused);
  EXPECT_EQ(out.message[0], "LA ESTIMACION NO TIENE CONCEPTOS");
  e.lines[0].paidBefore = figure(readItem(ctx, 3).TPAG);
  e.lines[0].doneBefore = readItem(ctx, 3).AVAN;
  e.finals.payroll = d("300.01");
  EXPECT_EQ(saveProgressEstimate(ctx, e, &out).code, err::ValueRefused);
  e.finals.payroll = Decimal();
  e.finals.loan = d("-1");
  EXPECT_EQ(saveProgressEstimate(ctx, e, &out).code, err::ValueRefused);
  EXPECT_EQ(all<POL>("POLI").size(), 1u);
  check("rechazos");
}

// A change keeps the advance balance and the previous date it was saved
// with: its own amortisation is not taken twice.
TEST_P(EstimateSequencesOn, AChangeKeepsItsAdvanceBalanceAndPreviousDate) {
  work();
  SaveOutcome out;
  AdvanceEntry a;
  a.header.contractor = 1, a.header.date = 79990, a.type = '1', a.amount = d("10000");
  ASSERT_TRUE(saveAdvance(ctx, a, &out).ok()) << out.message[0];
  std::mt19937 rng(3);
  auto first = [&](std::int32_t date) {
    ProgressEstimate e;
    e.header.contractor = 1, e.header.date = date;
    PAR item = readItem(ctx, 3);
    LineFigures f{Ratio::of(1), {}, {}};
    EXPECT_FALSE(quantityGiven(itemBudget(item), f).refused);
    EstimateLine l;
    l.conc = 3, l.process = 1, l.front = 1, l.quantity = f.quantity, l.amount = f.amount;
    l.percent = f.percent, l.paidBefore = figure(item.TPAG), l.doneBefore = item.AVAN;
    e.lines = {l};
    e.finals = finalValues(openFinal(readContractor(ctx, 1), f.amount, POL{}, true, false));
    return e;
  };
  ASSERT_TRUE(saveProgressEstimate(ctx, first(80000), &out).ok()) << out.message[0];
  ProgressEstimate e = first(80010);
  ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok()) << out.message[0];
  const POL saved = out.saved;
  EXPECT_EQ(saved.SANT, 10000 - 60 - 60);
  EXPECT_EQ(saved.UFEC, 80000);

  // Changed with no edits: the same figures.
  std::vector<EstimateLine> lines;
  std::vector<ItemBefore> before;
  ASSERT_TRUE(readEstimateLines(ctx, saved.CTA, lines, &before).ok());
  CTR k{};
  ASSERT_TRUE(contractorBefore(ctx.table("POLI"), ctx.table("CONT"), 1, saved.CTA, k).ok());
  EXPECT_EQ(figure(k.ANTI).cents() - figure(k.AAMO).cents(), 994000);
  e.header.insert = false;
  e.header.read = saved;
  e.lines = lines;
  e.finals = finalValues(openFinal(k, figure(saved.CANT), saved, false, false));
  ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok()) << out.message[0];
  EXPECT_EQ(out.saved.SANT, saved.SANT);
  EXPECT_EQ(out.saved.UFEC, saved.UFEC);
  EXPECT_EQ(out.saved.CANT, saved.CANT);
  check("cambio sin ediciones");

  // The advance cannot go while what it financed is amortised.
  EXPECT_EQ(deleteEstimate(ctx, 1, {}, &out).code, err::ValueRefused);
  EXPECT_EQ(out.message[0], "EL ANTICIPO YA FUE AMORTIZADO");
  check("anticipo amortizado");
}

// Two stations figure an estimate on the same item and contractor from the
// same files and are held before OK; both then save. The first is saved,
// the second refused with nothing written: no item past its ceiling, no
// loan deducted twice, and the audit finds nothing to correct.
TEST_P(EstimateSequencesOn, TwoStationsHeldBeforeOkOneIsRefused) {
  work();
  SaveOutcome out;
  {
    // A loan outstanding and an item 85 % paid.
    ProgressEstimate e;
    e.header.contractor = 1, e.header.date = 80000;
    PAR item = readItem(ctx, 3);
    LineFigures f{{}, Ratio::of(85), {}};
    ASSERT_FALSE(percentGiven(itemBudget(item), f).refused);
    EstimateLine l;
    l.conc = 3, l.process = 1, l.front = 1, l.quantity = f.quantity, l.amount = f.amount;
    l.percent = f.percent;
    e.lines = {l};
    e.finals.loan = d("500");
    ASSERT_TRUE(saveProgressEstimate(ctx, e, &out).ok()) << out.message[0];
  }
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  std::vector<int> ready;
  for (int station = 0; station < 2; ++station) {
    int r[2];
    ASSERT_EQ(pipe(r), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      close(r[0]);
      db::Storage s;
      name(s);
      db::Context c(s, 100 + station);
      // The window's figures: 10 % more of the item, the loan deducted.
      PAR item = readItem(c, 3);
      LineFigures f{{}, Ratio::of(95), {}};
      if (percentGiven(itemBudget(item), f).refused) _exit(4);
      ProgressEstimate e;
      e.header.contractor = 1, e.header.date = 80001;
      EstimateLine l;
      l.conc = 3, l.process = 1, l.front = 1, l.quantity = f.quantity, l.amount = f.amount;
      l.percent = f.percent, l.paidBefore = figure(item.TPAG), l.doneBefore = item.AVAN;
      e.lines = {l};
      e.finals = finalValues(openFinal(readContractor(c, 1), f.amount, POL{}, true, false));
      if (e.finals.previousLoan != d("500")) _exit(5);
      (void)!write(r[1], "1", 1);
      char x;
      if (read(go[0], &x, 1) != 1) _exit(6);
      SaveOutcome o;
      const Status st = saveProgressEstimate(c, e, &o);
      if (st) _exit(0);
      _exit(o.message[0] == "OTRA ESTACION MODIFICO LA PARTIDA" ||
                    o.message[0] == "OTRA ESTACION MODIFICO LOS SALDOS"
                ? 1
                : 2);
    }
    close(r[1]);
    children.push_back(pid);
    ready.push_back(r[0]);
  }
  close(go[0]);
  for (int r : ready) {
    char x;
    ASSERT_EQ(read(r, &x, 1), 1);
    close(r);
  }
  ASSERT_EQ(write(go[1], "gg", 2), 2);
  close(go[1]);
  int savedCount = 0, refusedCount = 0;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    const int code = WEXITSTATUS(status);
    ASSERT_TRUE(code == 0 || code == 1) << "exit " << code;
    (code == 0 ? savedCount : refusedCount) += 1;
  }
  EXPECT_EQ(savedCount, 1);
  EXPECT_EQ(refusedCount, 1);
  EXPECT_EQ(all<POL>("POLI").size(), 2u);
  EXPECT_EQ(readContractor(ctx, 1).PRES, 0);
  check("dos estaciones");
}

INSTANTIATE_TEST_SUITE_P(, EstimateSequencesOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::estimates
