// Posting supplier payments and advances: what moves, what is refused,
// and that a posting is whole or absent.

#include "tests/equipment/payment_fixture.h"

namespace velmora::equipment::test {
namespace {

// On the table files and on a company kept on the server.
class PaymentsOn : public velmora::test::OnBackEnd<Payments> {};

TEST_P(PaymentsOn, AdvanceThenInvoicePaymentWithPoliciesOnAndOff) {
  setUpBooks();
  PaymentOutcome out;
  ASSERT_TRUE(postPayment(ctx, advance(1, 500), &out).ok());
  EXPECT_TRUE(out.policy);
  EXPECT_EQ(c(out.payment.CANT), 0);
  EXPECT_EQ(out.payment.FACT, 0);
  EXPECT_EQ(cashPaid(out.payment).cents(), 50000);

  invoice(7, 1, 1000, 150);
  PaymentInput in = pay(1, 7, 1000, 300);
  in.payment.TIPO = "";  // blank is an invoice payment
  ASSERT_TRUE(postPayment(ctx, in, &out).ok());
  EXPECT_EQ(out.payment.TIPO, "F");
  EXPECT_EQ(cashPaid(out.payment).cents(), 70000);  // the cheque from the list

  const auto heads = all<POA>("POLMES");
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_EQ(heads[0].NUM, 1);
  EXPECT_EQ(heads[0].DESC, "ANTICIPO EQ. 1");
  EXPECT_EQ(c(heads[0].CANT), 50000);
  EXPECT_EQ(heads[1].NUM, 2);
  EXPECT_EQ(heads[1].DESC, "PAGO EQ.      7 PRV 1");
  EXPECT_EQ(c(heads[1].CANT), 100000);  // its debits, so the ledger check holds
  const auto lines = all<DEA>("DETMES");
  ASSERT_EQ(lines.size(), 5u);
  auto is = [&](const DEA& d, const accounting::AccountNumber& a, const char* side, double v) {
    EXPECT_EQ(accounting::AccountNumber({d.CTA, d.SCTA, d.SSCTA, d.SSSCTA, d.SSSSCTA}), a);
    EXPECT_EQ(d.CARG, side);
    EXPECT_EQ(c(d.CANT), c(v));
  };
  is(lines[0], advancesAcct, "C", 500), is(lines[1], bank, "A", 500);
  is(lines[2], suppliers, "C", 1000), is(lines[3], advancesAcct, "A", 300);
  is(lines[4], bank, "A", 700);
  EXPECT_EQ(lines[2].DESC, "P/FACTURA      1");
  EXPECT_EQ(lines[0].DESC, "ANTICIPO      1");
  EXPECT_EQ(c(read(acct(1102)).ABONOS[2]), 120000);  // March, parents too
  EXPECT_EQ(c(read(advancesAcct).CARGOS[2]), 50000);

  PRV s = supplier(1);
  EXPECT_EQ(c(s.ANTI), 50000);
  EXPECT_EQ(c(s.AAMO), 30000);
  EXPECT_EQ(c(s.TPAG), 100000);
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 100000);
  EXPECT_EQ(c(all<BAN>("BANC")[0].SALD), 50000000 - 120000);
  EXPECT_EQ(all<PGM>("PAGM").size(), 2u);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);

  // The voucher finds its bank by the last line of the policy.
  BAN found{};
  Decimal amount;
  ASSERT_TRUE(accounting::findPolicyBank(ctx, 2, found, amount).ok());
  EXPECT_EQ(found.CTA, 1);
  EXPECT_EQ(amount.cents(), 70000);

  // Switched off: supplier and invoice move; bank and ledger do not.
  db::Context w(storage, 93);
  db::Table& obra = w.table("OBRA");
  ASSERT_TRUE(obra.open().ok() && obra.setStart(nullptr).ok() && obra.next().ok());
  obra.rec<OBR>().POAU[1] = 0;
  ASSERT_TRUE(obra.put().ok());
  obra.close();
  ASSERT_TRUE(postPayment(ctx, pay(1, 7, 100, 0), &out).ok());
  EXPECT_FALSE(out.policy);
  EXPECT_TRUE(out.messages.empty());
  EXPECT_EQ(all<POA>("POLMES").size(), 2u);
  EXPECT_EQ(c(all<BAN>("BANC")[0].SALD), 50000000 - 120000);
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 110000);
  EXPECT_EQ(c(supplier(1).TPAG), 110000);
}

TEST_P(PaymentsOn, RefusalsWriteNothingAndNameTheField) {
  setUpBooks();
  invoice(7, 1, 1000, 150, 400);
  invoice(8, 2, 50, 0);
  EXPECT_EQ(invoiceBalance(all<FAM>("FAMA")[0]).cents(), 75000);  // what 0 proposes
  PaymentOutcome out;
  auto refused = [&](PaymentInput in, const char* field) {
    EXPECT_FALSE(postPayment(ctx, in, &out).ok()) << field;
    EXPECT_EQ(out.field, field);
    EXPECT_FALSE(out.messages.empty()) << field;
  };
  refused(pay(1, 7, 800, 0), "PGM:CANT");
  EXPECT_TRUE(out.wasCut);
  EXPECT_EQ(out.cut.cents(), 75000);
  EXPECT_EQ(out.messages[0][0], "SE ESTA TRATANDO DE PAGAR");
  // No advance given yet: none can be applied; nor more than is paid.
  refused(pay(1, 7, 700, 10), "PGM:ANTI");
  EXPECT_EQ(out.messages[0][1], "AL SALDO DE ANTICIPOS DEL");
  refused(pay(1, 7, 100, 200), "PGM:ANTI");
  PaymentInput blank = pay(1, 7, 100, 0);
  blank.payment.FECH = 0;
  refused(blank, "PGM:FECH");
  blank = pay(1, 7, 100, 0), blank.payment.BANK = 0;
  refused(blank, "PGM:BANK");
  blank = pay(1, 7, 100, 0), blank.payment.BANK = 9;
  refused(blank, "PGM:BANK");
  refused(pay(1, 7, 0, 0), "PGM:CANT");
  refused(pay(1, 7, -5, 0), "PGM:CANT");
  refused(advance(1, 0), "PGM:ANTI");
  refused(pay(1, 8, 10, 0), "PGM:FACT");  // another supplier's invoice
  EXPECT_TRUE(all<PGM>("PAGM").empty());
  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_EQ(c(supplier(1).TPAG), 0);
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 40000);

  // A flag another running station holds stops the posting, naming the
  // station; the flag of a station killed while it held it is free.
  const pid_t pid = ::velmora::test::stationHoldingThePostingFlag(storage, 4);
  ASSERT_GT(pid, 0);
  EXPECT_FALSE(postPayment(ctx, pay(1, 7, 100, 0), &out).ok());
  EXPECT_EQ(out.step, PaymentStep::Busy);
  EXPECT_EQ(out.messages.at(0)[0], "ACTUALIZANDO ARCHIVOS EN OTRA");
  EXPECT_NE(out.messages.at(0)[2].find("USUARIO 4"), std::string::npos);
  EXPECT_TRUE(all<PGM>("PAGM").empty());
  ASSERT_TRUE(::velmora::test::killStation(storage, pid));
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 1);

  // Held for the voucher, then released.
  PaymentInput held = pay(1, 7, 700, 0);
  held.holdLock = true;
  ASSERT_TRUE(postPayment(ctx, held, &out).ok());
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 1);
  ASSERT_TRUE(accounting::releasePostingLock(ctx).ok());
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);

  // A second station paying the same invoice sees the new balance.
  db::Storage other;
  name(other), nameMore(other);
  db::Context station(other, 7);
  EXPECT_FALSE(postPayment(station, pay(1, 7, 100, 0), &out).ok());
  EXPECT_EQ(out.cut.cents(), 5000);
  ASSERT_TRUE(postPayment(station, pay(1, 7, 50, 0), &out).ok());
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 115000);
}

TEST_P(PaymentsOn, APolicyThatCannotBeWrittenLeavesThePaymentWhole) {
  setUpBooks();
  invoice(7, 1, 1000, 150);
  // The advances account is not in the chart.
  sql("CUEN", "DELETE FROM \"CUEN\" WHERE \"CTA\"=1120 AND \"SCTA\"=1");
  PaymentOutcome out;
  ASSERT_TRUE(postPayment(ctx, pay(1, 7, 500, 0), &out).ok());
  EXPECT_FALSE(out.policy);
  ASSERT_EQ(out.messages.size(), 2u);
  EXPECT_EQ(out.messages[0][1], "NO ENCONTRE CTA DEL PROVEEDOR");
  EXPECT_EQ(out.messages[1][0], "LA POLIZA CONTABLE NO SERA INCLUIDA");
  account(advancesAcct);

  // A line whose roll-up fails: the policy goes whole, the payment stays.
  refuseAccountWrites("\"CTA\"=1102 AND \"SCTA\"=0");
  ASSERT_TRUE(postPayment(ctx, pay(1, 7, 100, 0), &out).ok());
  allowAccountWrites();
  EXPECT_FALSE(out.policy);
  // The server answers a write over a row the posting holds with the
  // posting's next statement: the refusal is told, not its line.
  if (GetParam() == velmora::test::BackEnd::Files) {
    EXPECT_EQ(out.messages.at(0)[2], "CUENTA BANCARIA");
  } else {
    EXPECT_NE(out.messages.at(0)[0].find("prueba_rechazo"), std::string::npos);
    EXPECT_EQ(out.messages.at(0)[2], "CONTABLE");
  }
  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_TRUE(all<DEA>("DETMES").empty());
  EXPECT_EQ(c(read(suppliers).CARGOS[2]), 0);
  EXPECT_EQ(c(all<BAN>("BANC")[0].SALD), 50000000);
  EXPECT_EQ(all<PGM>("PAGM").size(), 2u);
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 60000);
}

TEST_P(PaymentsOn, SumsUnderTheListAndTheCheque) {
  setUpBooks(false);
  invoice(7, 1, 1000, 0);
  PaymentOutcome out;
  ASSERT_TRUE(postPayment(ctx, advance(1, 300), &out).ok());
  ASSERT_TRUE(postPayment(ctx, advance(1, 200), &out).ok());
  db::Table& pagm = ctx.table("PAGM");
  ASSERT_TRUE(pagm.open().ok());
  Decimal paid, applied;
  ASSERT_TRUE(paymentSums(pagm, 1, paid, applied).ok());
  EXPECT_EQ(paid.cents(), 0);
  EXPECT_EQ(applied.cents(), -50000);  // only advances: negative
  ASSERT_TRUE(postPayment(ctx, pay(1, 7, 1000, 300), &out).ok());
  ASSERT_TRUE(paymentSums(pagm, 1, paid, applied).ok());
  EXPECT_EQ(paid.cents(), 100000);
  EXPECT_EQ(applied.cents(), -20000);
  ASSERT_TRUE(paymentSums(pagm, 2, paid, applied).ok());
  EXPECT_EQ(paid.cents() + applied.cents(), 0);
  pagm.close();

  // The payee keeps to its room; no room keeps the whole name.
  EXPECT_EQ(accounting::cutPayee("MAQUINARIA DEL BAJIO", 10), "MAQUINARIA");
  EXPECT_EQ(accounting::cutPayee("GRÚAS", 3), "GRÚ");
  EXPECT_EQ(accounting::cutPayee("GRUAS", -4), "GRUAS");
  // Words past 60 characters: the first part one row above the words' row.
  BAN b = all<BAN>("BANC")[0];
  std::vector<std::string> lines;
  const Decimal long_ = Decimal::fromCents(77777777), short_ = Decimal::fromCents(100);
  ASSERT_TRUE(accounting::paymentChequeLines(b, {today, "X", long_, ""}, lines).ok());
  EXPECT_EQ(lines[5].find("(SETECIENTOS"), 7u);
  EXPECT_LE(lines[5].find_last_not_of(' '), 7u + 59);
  EXPECT_NE(lines[6].find("M.N."), std::string::npos);
  ASSERT_TRUE(accounting::paymentChequeLines(b, {today, "X", short_, ""}, lines).ok());
  EXPECT_EQ(lines[6].find("(UN PESOS"), 7u);
  EXPECT_EQ(lines[5].find_first_not_of(' '), std::string::npos);
  // A layout of all rows 0 is a blank cheque.
  b.ROW = {};
  ASSERT_TRUE(accounting::paymentChequeLines(b, {today, "X", long_, "M"}, lines).ok());
  for (const std::string& l : lines) EXPECT_EQ(l.find_first_not_of(' '), std::string::npos);
}

// Random advances and payments of three suppliers, some of them refused:
// every figure equals what the stored records give.
TEST_P(PaymentsOn, RandomPostingsKeepEveryFigure) {
  setUpBooks();
  std::mt19937 rng(20261209);
  std::uniform_int_distribution<int> pick(0, 9), who(1, 3), cents(1, 80000);
  for (std::int32_t f = 1; f <= 9; ++f) invoice(f, (f - 1) % 3 + 1, 1000 + f * 37.15, f * 11.5);
  for (int i = 0; i < 120; ++i) {
    const std::int32_t s = who(rng);
    PaymentInput in = pick(rng) < 3 ? advance(s, cents(rng) / 100.0)
                                    : pay(s, s + 3 * (pick(rng) % 3), cents(rng) / 100.0,
                                          pick(rng) < 4 ? cents(rng) / 400.0 : 0);
    PaymentOutcome out;
    if (!postPayment(ctx, in, &out).ok()) {
      ASSERT_EQ(out.step, PaymentStep::Invalid);
      if (out.wasCut && out.cut.cents() > 0) {
        in.payment.CANT = out.cut.toDouble();
        (void)postPayment(ctx, in, &out);
      }
    }
  }
  std::map<std::int32_t, std::int64_t> tpag, aamo, anti, pago;
  std::int64_t cash = 0;
  for (const PGM& p : all<PGM>("PAGM")) {
    (p.FACT == 0 ? anti : aamo)[p.PROV] += c(p.ANTI);
    tpag[p.PROV] += c(p.CANT);
    pago[p.FACT] += c(p.CANT);
    cash += cashPaid(p).cents();
  }
  for (const PRV& s : all<PRV>("PROV")) {
    EXPECT_EQ(c(s.TPAG), tpag[s.CTA]);
    EXPECT_EQ(c(s.AAMO), aamo[s.CTA]);
    EXPECT_EQ(c(s.ANTI), anti[s.CTA]);
    EXPECT_GE(outstandingAdvances(s).cents(), 0);
  }
  for (const FAM& f : all<FAM>("FAMA")) {
    EXPECT_EQ(c(f.PAGO), pago[f.CTA]);
    EXPECT_GE(invoiceBalance(f).cents(), 0);
  }
  EXPECT_EQ(c(all<BAN>("BANC")[0].SALD), 50000000 - cash);
  std::map<std::int32_t, std::int64_t> balance;
  for (const DEA& d : all<DEA>("DETMES")) balance[d.NUM] += d.CARG == "C" ? c(d.CANT) : -c(d.CANT);
  EXPECT_EQ(balance.size(), all<POA>("POLMES").size());
  for (auto [num, b] : balance) EXPECT_EQ(b, 0) << num;
}

// A payment saved without policy: a change or a delete takes back what it
// moved and posts the new figures with a new payment's checks, or is refused
// with nothing written; a record another station changed is refused.
TEST_P(PaymentsOn, ChangesAndDeletesWithoutPolicyMoveEveryFigureBack) {
  setUpBooks(false);
  invoice(7, 1, 37536, 0);
  invoice(8, 2, 100, 0);
  PaymentOutcome out;
  ASSERT_TRUE(postPayment(ctx, advance(1, 1000), &out).ok());
  ASSERT_TRUE(postPayment(ctx, pay(1, 7, 10000, 500), &out).ok());
  auto stored = [&](std::int32_t fact) {
    for (const PGM& p : all<PGM>("PAGM"))
      if (p.FACT == fact) return p;
    ADD_FAILURE() << "no payment of " << fact;
    return PGM{};
  };
  auto change = [&](const PGM& read, double cant, double anti) {
    PaymentChange in;
    in.read = read;
    in.payment = read;
    in.payment.CANT = cant, in.payment.ANTI = anti;
    in.work = "OB1", in.today = today, in.now = 200, in.user = 4;
    return changePayment(ctx, in, &out);
  };
  auto figures = [&] {
    const PRV s = supplier(1);
    return std::vector<std::int64_t>{c(s.TPAG), c(s.AAMO), c(s.ANTI), c(all<FAM>("FAMA")[0].PAGO)};
  };
  using F = std::vector<std::int64_t>;
  ASSERT_EQ(figures(), (F{1000000, 50000, 100000, 1000000}));

  // Above the invoice: refused and cut to the balance once this payment is taken back.
  const PGM first = stored(7);
  EXPECT_FALSE(change(first, 50000, 0).ok());
  EXPECT_EQ(out.field, "PGM:CANT");
  EXPECT_EQ(out.cut.cents(), 3753600);
  EXPECT_EQ(figures(), (F{1000000, 50000, 100000, 1000000}));
  // More advance than the supplier was given, or more than the amount.
  EXPECT_FALSE(change(first, 20000, 1000.01).ok());
  EXPECT_EQ(out.field, "PGM:ANTI");
  EXPECT_FALSE(change(first, 100, 200).ok());
  EXPECT_EQ(out.field, "PGM:ANTI");
  PaymentChange moved;
  moved.read = first, moved.payment = first, moved.payment.PROV = 2, moved.payment.FACT = 8;
  EXPECT_FALSE(changePayment(ctx, moved, &out).ok());
  EXPECT_EQ(out.field, "PGM:PROV");
  EXPECT_EQ(figures(), (F{1000000, 50000, 100000, 1000000}));

  ASSERT_TRUE(change(first, 20000, 800).ok());
  EXPECT_EQ(figures(), (F{2000000, 80000, 100000, 2000000}));
  EXPECT_EQ(stored(7).USUA, 4);
  EXPECT_EQ(all<PGM>("PAGM").size(), 2u);
  // The form still holding the first reading: another station changed it.
  EXPECT_FALSE(change(first, 100, 0).ok());
  EXPECT_EQ(out.step, PaymentStep::Changed);
  EXPECT_FALSE(deletePayment(ctx, first, 4, &out).ok());
  EXPECT_EQ(out.step, PaymentStep::Changed);
  EXPECT_EQ(figures(), (F{2000000, 80000, 100000, 2000000}));

  // The advance is applied: taking it back would leave more applied than given.
  EXPECT_FALSE(deletePayment(ctx, stored(0), 4, &out).ok());
  EXPECT_EQ(out.messages.at(0)[0], "LOS ANTICIPOS APLICADOS QUEDARIAN");
  PGM smaller = stored(0);
  PaymentChange lower;
  lower.read = smaller, lower.payment = smaller, lower.payment.ANTI = 700;
  lower.today = today;
  EXPECT_FALSE(changePayment(ctx, lower, &out).ok());
  lower.payment.ANTI = 900;
  ASSERT_TRUE(changePayment(ctx, lower, &out).ok());
  EXPECT_EQ(figures(), (F{2000000, 80000, 90000, 2000000}));

  ASSERT_TRUE(deletePayment(ctx, stored(7), 4, &out).ok());
  EXPECT_EQ(figures(), (F{0, 0, 90000, 0}));
  ASSERT_TRUE(deletePayment(ctx, stored(0), 4, &out).ok());
  EXPECT_EQ(figures(), (F{0, 0, 0, 0}));
  EXPECT_TRUE(all<PGM>("PAGM").empty());
  EXPECT_EQ(c(all<BAN>("BANC")[0].SALD), 50000000);
  EXPECT_EQ(all<CTL>("CONTROL")[0].OCUP, 0);
}

// A payment with a policy moved the bank and the ledger: its money stays,
// its cheque number may be corrected. So does one whose month's policies
// this station cannot see.
TEST_P(PaymentsOn, APostedPaymentKeepsItsMoney) {
  setUpBooks();
  invoice(7, 1, 37536, 0);
  PaymentOutcome out;
  ASSERT_TRUE(postPayment(ctx, pay(1, 7, 10000, 0), &out).ok());
  ASSERT_TRUE(out.policy);
  const PGM read = all<PGM>("PAGM")[0];
  PaymentChange in;
  in.read = read, in.payment = read, in.work = "OB1", in.today = today, in.now = 300;
  in.user = 2;
  for (auto edit : std::vector<std::function<void(PGM&)>>{
           [](PGM& p) { p.CANT = 5000; }, [](PGM& p) { p.BANK = 2; }, [](PGM& p) { p.FECH += 1; },
           [](PGM& p) { p.FACT = 0, p.TIPO = "A", p.ANTI = 9; }}) {
    in.payment = read;
    edit(in.payment);
    EXPECT_FALSE(changePayment(ctx, in, &out).ok());
    EXPECT_EQ(out.step, PaymentStep::Posted);
    EXPECT_EQ(out.messages.at(0)[0], "EL PAGO YA TIENE POLIZA Y MOVIO EL BANCO");
    EXPECT_EQ(out.messages.at(0)[2], "CORREGIRLO HAGA UN MOVIMIENTO CONTRARIO");
  }
  EXPECT_FALSE(deletePayment(ctx, read, 2, &out).ok());
  EXPECT_EQ(out.messages.at(0)[1], "NO SE PUEDE BORRAR; PARA DESHACERLO");
  in.payment = read, in.payment.CHEC = 4711;
  ASSERT_TRUE(changePayment(ctx, in, &out).ok());
  const PGM now = all<PGM>("PAGM").at(0);
  EXPECT_EQ(now.CHEC, 4711);
  EXPECT_EQ(now.USUA, 2);
  EXPECT_EQ(c(supplier(1).TPAG), 1000000);
  EXPECT_EQ(c(all<FAM>("FAMA")[0].PAGO), 1000000);
  EXPECT_EQ(c(all<BAN>("BANC")[0].SALD), 50000000 - 1000000);
  EXPECT_EQ(all<POA>("POLMES").size(), 1u);
  // Still posted after the cheque number changed.
  EXPECT_FALSE(deletePayment(ctx, now, 2, &out).ok());
  EXPECT_EQ(out.step, PaymentStep::Posted);

  // Saved in February: its policy, if any, is in February's file.
  sql("PAGM", "UPDATE \"PAGM\" SET \"ACFE\"=" + std::to_string(dates::dateOf(2, 20, 2026)));
  EXPECT_FALSE(deletePayment(ctx, all<PGM>("PAGM").at(0), 2, &out).ok());
  EXPECT_EQ(out.messages.at(0)[0], "EL PAGO ES DE OTRO MES Y SU POLIZA");
  EXPECT_EQ(all<PGM>("PAGM").size(), 1u);
}

// Twelve stations post payments at once and print each voucher: every
// posted payment finds its bank, or is told the real reason it did not.
TEST_P(PaymentsOn, TwelveStationsPostingAtOnceEachGetTheirVoucher) {
  setUpBooks();
  for (std::int32_t f = 1; f <= 12; ++f) invoice(f, (f - 1) % 3 + 1, 100000, 0);
  ASSERT_TRUE(all<PGM>("PAGM").empty() && all<POA>("POLMES").empty() && all<DEA>("DETMES").empty());
  constexpr int kStations = 12, kEach = 4;
  // Per station: vouchers found, postings refused as busy, voucher failures
  // named as a missing bank (wrong: the bank exists), other failures.
  int pipes[kStations][2];
  std::vector<pid_t> pids;
  for (int i = 0; i < kStations; ++i) {
    ASSERT_EQ(pipe(pipes[i]), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      db::Storage st;
      name(st), nameMore(st);
      db::Context child(st, 10 + i);
      int counts[4] = {};
      for (int k = 0; k < kEach; ++k) {
        PaymentInput in = pay((i % 3) + 1, i + 1, 10, 0);
        in.holdLock = true;
        PaymentOutcome out;
        if (!postPayment(child, in, &out).ok()) {
          ++counts[out.step == PaymentStep::Busy ? 1 : 3];
          usleep(2000);
          continue;
        }
        BAN bank{};
        Decimal amount;
        const Status found =
            accounting::findPolicyBank(child, out.written.header.NUM, bank, amount);
        (void)accounting::releasePostingLock(child);
        if (found.ok() && bank.CTA == 1 && amount.cents() == 1000)
          ++counts[0];
        else
          ++counts[found.code == err::RecordNotFound ? 2 : 3];
      }
      (void)!write(pipes[i][1], counts, sizeof counts);
      _exit(0);
    }
    close(pipes[i][1]);
    pids.push_back(pid);
  }
  int total[4] = {};
  for (int i = 0; i < kStations; ++i) {
    int counts[4] = {};
    ASSERT_EQ(::read(pipes[i][0], counts, sizeof counts), ssize_t(sizeof counts));
    close(pipes[i][0]);
    waitpid(pids[std::size_t(i)], nullptr, 0);
    for (int k = 0; k < 4; ++k) total[k] += counts[k];
  }
  EXPECT_EQ(total[2], 0) << "vouchers told their bank is missing";
  EXPECT_EQ(total[3], 0) << "postings or vouchers failed for another reason";
  EXPECT_EQ(total[0] + total[1], kStations * kEach);
  EXPECT_EQ(std::int64_t(all<PGM>("PAGM").size()), total[0]);
  EXPECT_EQ(all<POA>("POLMES").size(), all<PGM>("PAGM").size());
  // A failure other than a missing bank names its own cause.
  const auto lines = accounting::voucherReadFailure(
      Status::error(err::FileLocked, "Archivo ocupado").on("DETMES"));
  EXPECT_EQ(lines[0], "NO SE PUDO LEER LA POLIZA DEL CHEQUE");
  EXPECT_EQ(lines[1], "Archivo ocupado");
}

// A station killed at any moment of its postings leaves each one whole.
TEST_P(PaymentsOn, AKilledStationLeavesWholePostings) {
  setUpBooks();
  for (std::int32_t f = 1; f <= 3; ++f) invoice(f, f, 100000, 0);
  // Every file exists before the station starts: a kill then lands in a posting.
  ASSERT_TRUE(all<PGM>("PAGM").empty() && all<POA>("POLMES").empty() && all<DEA>("DETMES").empty());
  pid_t pid = fork();
  if (pid == 0) {
    db::Storage st;
    name(st), nameMore(st);
    db::Context child(st, 5);
    for (int i = 0; i < 400; ++i)
      (void)postPayment(child, pay(i % 3 + 1, i % 3 + 1, 10.01, 0), nullptr);
    _exit(0);
  }
  std::mt19937 rng(std::random_device{}());
  usleep(useconds_t(std::uniform_int_distribution<int>(50000, 400000)(rng)));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  const auto payments = all<PGM>("PAGM");
  EXPECT_EQ(all<POA>("POLMES").size(), payments.size());
  EXPECT_EQ(all<DEA>("DETMES").size(), payments.size() * 2);
  std::int64_t paid = 0;
  for (const FAM& f : all<FAM>("FAMA")) paid += c(f.PAGO);
  EXPECT_EQ(paid, std::int64_t(payments.size()) * 1001);
  EXPECT_EQ(c(all<BAN>("BANC")[0].SALD), 50000000 - paid);
}

// The form: no supplier chosen refuses it; an invoice proposes its balance;
// an amount above it is cut to it and posted on the second OK.
INSTANTIATE_TEST_SUITE_P(, PaymentsOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::equipment::test
