// Equipment invoices: the save with the supplier's total, the item, the
// equipment and the policy as one unit; the equipment as the pair of number
// and front; changes and deletes that move every total back or are refused;
// the policy's accounts, lines and numbering; and a save killed half way.
// The form and the script: invoice_window_test.cpp.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "accounting/invoice_policy.h"
#include "equipment/equipment.h"
#include "equipment/hours_import.h"
#include "equipment/invoices.h"
#include "tests/accounting/accounting_fixture.h"
#include "tests/equipment/invoice_fixture.h"

namespace velmora::equipment {
namespace {

using namespace velmora::equipment::test;
using accounting::AccountNumber;
using accounting::Side;
using accounting::test::acct;

// On the table files and on a company kept on the server.
class InvoicesOn : public velmora::test::OnBackEnd<Invoices> {};

TEST_P(InvoicesOn, EightHoursMakeTheInvoiceItsTotalsAndItsPolicy) {
  work();
  const Decimal amount = hoursAmount(8, 250);
  const Decimal tax = proposedTax(amount, kDefaultTaxRate);
  EXPECT_EQ(amount.cents(), 200000);
  EXPECT_EQ(tax.cents(), 30000);
  EXPECT_EQ(proposedTax(*Decimal::parse("33.33"), kDefaultTaxRate).cents(), 500);  // 4.9995

  InvoiceOutcome out;
  ASSERT_TRUE(saveInvoice(ctx, invoice(1, amount.toDouble(), tax.toDouble()), &out).ok());
  EXPECT_EQ(out.policy, PolicyState::Written);
  EXPECT_EQ(out.policyNumber, 1);  // the first of an empty month
  EXPECT_TRUE(out.messages.empty());
  const FAM f = all<FAM>("FAMA").at(0);
  EXPECT_EQ(f.FREN, 3);
  EXPECT_EQ(f.PROC, 20);
  EXPECT_DOUBLE_EQ(all<PRV>("PROV")[0].TFAC, 2400);  // 100 + 2 300
  EXPECT_DOUBLE_EQ(all<PAR>("PART")[0].TEQU, 2050);

  const auto heads = all<POA>("POLMES");
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(heads[0].DESC, "FACTURA A REVISION No      1");
  EXPECT_DOUBLE_EQ(heads[0].CANT, 2300);  // its debits
  EXPECT_EQ(heads[0].FECH, today);
  const auto lines = all<DEA>("DETMES");
  ASSERT_EQ(lines.size(), 3u);
  const std::array<std::tuple<AccountNumber, const char*, double>, 3> want = {
      {{warehouse, "C", 2300}, {iva, "A", 300}, {suppliers, "A", 2000}}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ((AccountNumber{{lines[i].CTA, lines[i].SCTA, lines[i].SSCTA, lines[i].SSSCTA,
                              lines[i].SSSSCTA}}),
              std::get<0>(want[i]));
    EXPECT_EQ(lines[i].CARG, std::get<1>(want[i]));
    EXPECT_DOUBLE_EQ(lines[i].CANT, std::get<2>(want[i]));
    EXPECT_EQ(lines[i].DESC, "F/REVISION      1");
    EXPECT_EQ(lines[i].DIA, 15);
  }
  // Rolled into March of the account and each parent.
  EXPECT_DOUBLE_EQ(read(warehouse).CARGOS[2], 2300);
  EXPECT_DOUBLE_EQ(read(acct(1115)).CARGOS[2], 2300);
  EXPECT_DOUBLE_EQ(read(acct(2101)).ABONOS[2], 2000);

  // The next invoice takes the next number; the ledger check finds nothing.
  ASSERT_TRUE(saveInvoice(ctx, invoice(2, 1000, 150), &out).ok());
  EXPECT_EQ(out.policyNumber, 2);
  std::vector<std::string> found;
  ASSERT_TRUE(ctx.table("POLI").open().ok());  // no estimates in this work
  ctx.table("POLI").close();
  Status checked = accounting::checkLedger(ctx, 3, 2026, found);
  ASSERT_TRUE(checked.ok()) << checked.text;
  EXPECT_TRUE(found.empty()) << found.front();
}

TEST_P(InvoicesOn, TheFrontGivenIsTheFrontChargedAndAnUnknownPairIsRefused) {
  work(false);
  MAQ m{};
  m.CTA = 7, m.FREN = 5, m.PROC = 30, m.PRRE = 300, m.DESC = "RETROEXCAVADORA";
  add("MAQU", m);
  PAR i{};
  i.PROC = 30, i.FREN = 5, i.TEXT = "EQUIPO F5";
  add("PART", i);

  // Multiplied exactly, rounded once: not 400 × 95.13.
  EXPECT_EQ(hoursAmount(400, 95.125).cents(), 3805000);
  EXPECT_EQ(hoursAmount(7.5, 33.333).cents(), 25000);  // 249.9975
  EXPECT_EQ(taxRateCaption(160000), "IVA propuesto: 16 %");
  EXPECT_EQ(taxRateCaption(155000), "IVA propuesto: 15.5 %");

  InvoiceInput in = invoice(1, 2400, 360);
  in.invoice.FREN = 5;
  InvoiceOutcome out;
  ASSERT_TRUE(saveInvoice(ctx, in, &out).ok());
  EXPECT_EQ(out.saved.FREN, 5);
  EXPECT_EQ(out.saved.PROC, 30);
  const auto items = all<PAR>("PART");  // by key: process 20 first
  EXPECT_DOUBLE_EQ(items[0].TEQU, 50);
  EXPECT_DOUBLE_EQ(items[1].TEQU, 2400);
  auto machines = all<MAQ>("MAQU");
  EXPECT_DOUBLE_EQ(machines[0].RECI, 0);
  EXPECT_DOUBLE_EQ(machines[1].RECI, 8);
  EXPECT_DOUBLE_EQ(machines[1].IMPO, 2400);
  EXPECT_EQ(machines[1].USUA, 1);

  // A front without that equipment: refused, nothing written, and told why.
  in = invoice(2, 1000, 150);
  in.invoice.FREN = 4;
  EXPECT_EQ(saveInvoice(ctx, in, &out).code, err::RecordNotFound);
  EXPECT_EQ(out.step, InvoiceStep::Equipment);
  ASSERT_EQ(out.messages.size(), 1u);
  EXPECT_EQ(out.messages[0], (Lines3{"NO ENCONTRE EL EQUIPO 7", "EN EL FRENTE 4 DEL CATALOGO:",
                                     "CORRIJA EL FRENTE O ELIJA EL EQUIPO"}));
  EXPECT_EQ(all<FAM>("FAMA").size(), 1u);
  // No front: the first that has the number, as the form proposes it.
  ASSERT_TRUE(saveInvoice(ctx, invoice(2, 1000, 150), &out).ok());
  EXPECT_EQ(out.saved.FREN, 3);
  EXPECT_DOUBLE_EQ(all<PAR>("PART")[0].TEQU, 1050);
}

TEST_P(InvoicesOn, ChangesAndDeletesMoveEveryTotalBackOrAreRefused) {
  work(false);
  MAQ m{};
  m.CTA = 7, m.FREN = 5, m.PROC = 30, m.PRRE = 300;
  add("MAQU", m);
  PAR i{};
  i.PROC = 30, i.FREN = 5, i.TEXT = "EQUIPO F5";
  add("PART", i);
  ASSERT_TRUE(saveInvoice(ctx, invoice(1, 1000, 150), nullptr).ok());
  ASSERT_TRUE(saveInvoice(ctx, invoice(2, 500, 75), nullptr).ok());
  auto stored = [&](std::int32_t folio) {
    for (const FAM& f : all<FAM>("FAMA"))
      if (f.CTA == folio) return f;
    return FAM{};
  };
  auto change = [&](std::int32_t folio, auto edit) {
    InvoiceChange c;
    c.read = stored(folio);
    c.invoice = c.read;
    edit(c.invoice);
    c.work = "OB1", c.today = today, c.now = 200, c.user = 2;
    return c;
  };
  // Every total as the invoices on file give it.
  auto agrees = [&](const char* when) {
    SCOPED_TRACE(when);
    std::int64_t tfac = 10000, tequ3 = 5000, tequ5 = 0, reci3 = 0, reci5 = 0, impo3 = 0, impo5 = 0;
    for (const FAM& f : all<FAM>("FAMA")) {
      const std::int64_t impo = std::llround(f.IMPO * 100), hours = std::llround(f.CANT * 100);
      tfac += impo + std::llround(f.IVA * 100);
      (f.FREN == 3 ? tequ3 : tequ5) += impo;
      (f.FREN == 3 ? reci3 : reci5) += hours;
      (f.FREN == 3 ? impo3 : impo5) += impo;
    }
    EXPECT_EQ(std::llround(all<PRV>("PROV")[0].TFAC * 100), tfac);
    const auto items = all<PAR>("PART");
    EXPECT_EQ(std::llround(items[0].TEQU * 100), tequ3);
    EXPECT_EQ(std::llround(items[1].TEQU * 100), tequ5);
    const auto machines = all<MAQ>("MAQU");
    EXPECT_EQ(std::llround(machines[0].RECI * 100), reci3);
    EXPECT_EQ(std::llround(machines[1].RECI * 100), reci5);
    EXPECT_EQ(std::llround(machines[0].IMPO * 100), impo3);
    EXPECT_EQ(std::llround(machines[1].IMPO * 100), impo5);
  };
  agrees("saved");

  // An unpaid invoice moves to the other front with new hours and amounts.
  InvoiceOutcome out;
  Status st = changeInvoice(
      ctx, change(1, [](FAM& f) { f.FREN = 5, f.CANT = 10, f.IMPO = 3000, f.IVA = 450; }), &out);
  ASSERT_TRUE(st.ok()) << st.text;
  EXPECT_EQ(stored(1).FREN, 5);
  EXPECT_EQ(stored(1).PROC, 30);
  EXPECT_EQ(stored(1).USUA, 2);
  EXPECT_DOUBLE_EQ(all<PRV>("PROV")[0].TFAC, 100 + 3450 + 575);
  agrees("moved to front 5");
  // Its folio too: the totals stay.
  ASSERT_TRUE(changeInvoice(ctx, change(1, [](FAM& f) { f.CTA = 11; }), nullptr).ok());
  EXPECT_EQ(stored(11).FREN, 5);
  agrees("new folio");
  // A front without the equipment is refused and the front kept.
  EXPECT_FALSE(changeInvoice(ctx, change(11, [](FAM& f) { f.FREN = 4; }), &out).ok());
  EXPECT_EQ(out.step, InvoiceStep::Equipment);
  EXPECT_EQ(stored(11).FREN, 5);

  // Another station changed it since it was read: nothing is written.
  InvoiceChange stale = change(11, [](FAM& f) { f.IMPO = 10; });
  ASSERT_TRUE(changeInvoice(ctx, change(11, [](FAM& f) { f.FACT = 9999; }), nullptr).ok());
  EXPECT_EQ(changeInvoice(ctx, stale, &out).code, err::RecordChanged);
  EXPECT_EQ(out.step, InvoiceStep::Changed);
  ASSERT_EQ(out.messages.size(), 1u);
  EXPECT_EQ(out.messages[0][0], "LA FACTURA 11 LA CAMBIO");
  EXPECT_DOUBLE_EQ(stored(11).IMPO, 3000);
  agrees("stale change refused");

  // Paid (a payment names it, or FAM:PAGO says so): the money stays, the
  // rest can be corrected, and it cannot go.
  PGM payment{};
  payment.PROV = 1, payment.FACT = 2, payment.CANT = 100;
  add("PAGM", payment);
  sql("FAMA", "UPDATE \"FAMA\" SET \"PAGO\"=10 WHERE \"CTA\"=11");
  for (std::int32_t folio : {2, 11}) {
    SCOPED_TRACE(folio);
    for (auto edit : std::initializer_list<void (*)(FAM&)>{
             [](FAM& f) { f.IMPO += 1; }, [](FAM& f) { f.IVA = 0.5; }, [](FAM& f) { f.CTA = 77; },
             [](FAM& f) { f.PROV = 2; }, [](FAM& f) { f.FREN = f.FREN == 3 ? 5 : 3; }}) {
      EXPECT_EQ(changeInvoice(ctx, change(folio, edit), &out).code, err::ValueRefused);
      EXPECT_EQ(out.step, InvoiceStep::Paid);
      ASSERT_EQ(out.messages.size(), 1u);
      EXPECT_EQ(out.messages[0][0], "FACTURA CON PAGOS: NO CAMBIAN FOLIO,");
    }
    EXPECT_EQ(deleteInvoice(ctx, folio, 2, &out).code, err::ValueRefused);
    EXPECT_EQ(out.step, InvoiceStep::Paid);
    EXPECT_EQ(out.messages.at(0)[0],
              "LA FACTURA " + std::to_string(folio) + " TIENE PAGOS Y NO SE");
    ASSERT_TRUE(
        changeInvoice(ctx, change(folio, [](FAM& f) { f.FECH -= 3, f.CANT += 1; }), &out).ok());
    EXPECT_DOUBLE_EQ(stored(folio).PAGO, folio == 11 ? 10 : 0);  // never the form's
  }
  agrees("paid");

  // Unpaid again: the delete takes back everything it moved.
  sql("FAMA", "UPDATE \"FAMA\" SET \"PAGO\"=0");
  ASSERT_TRUE(deleteInvoice(ctx, 11, 2, &out).ok());
  EXPECT_EQ(out.saved.CTA, 11);
  agrees("deleted");
  EXPECT_DOUBLE_EQ(all<MAQ>("MAQU")[1].RECI, 0);
  EXPECT_EQ(deleteInvoice(ctx, 11, 2, &out).code, err::RecordChanged);  // gone already
  EXPECT_EQ(out.messages.at(0)[0], "LA FACTURA 11 YA NO EXISTE:");
}

TEST_P(InvoicesOn, AnInvoiceWithAPolicyKeepsItsFiguresAndCannotBeDeleted) {
  work();
  InvoiceOutcome out;
  ASSERT_TRUE(saveInvoice(ctx, invoice(1, 1000, 150), &out).ok());
  EXPECT_EQ(all<FAM>("FAMA")[0].POLI, out.policyNumber);
  const FAM saved = all<FAM>("FAMA")[0];
  InvoiceChange c;
  c.read = saved, c.work = "OB1", c.today = today, c.user = 1;
  for (auto edit : std::initializer_list<void (*)(FAM&)>{
           [](FAM& f) { f.IMPO = 900; }, [](FAM& f) { f.IVA = 0; }, [](FAM& f) { f.CTA = 3; }}) {
    c.invoice = saved;
    edit(c.invoice);
    EXPECT_EQ(changeInvoice(ctx, c, &out).code, err::ValueRefused);
    EXPECT_EQ(out.step, InvoiceStep::Posted);
    EXPECT_EQ(out.messages.at(0)[0], "LA FACTURA TIENE LA POLIZA 1:");
  }
  EXPECT_EQ(deleteInvoice(ctx, 1, 1, &out).code, err::ValueRefused);
  EXPECT_EQ(out.step, InvoiceStep::Posted);
  EXPECT_DOUBLE_EQ(all<PRV>("PROV")[0].TFAC, 1250);
  // What the policy does not say may change.
  c.invoice = saved;
  c.invoice.FACT = 8080, c.invoice.AUTO = 1, c.invoice.CANT = 9;
  ASSERT_TRUE(changeInvoice(ctx, c, &out).ok());
  EXPECT_EQ(all<FAM>("FAMA")[0].FACT, 8080);
  EXPECT_DOUBLE_EQ(all<MAQ>("MAQU")[0].RECI, 9);
  EXPECT_EQ(all<POA>("POLMES").size(), 1u);
}

// The clean-up of an import keeps equipment that invoices refer to, even
// where its progress was never recorded.
TEST_P(InvoicesOn, TheHoursImportKeepsEquipmentThatInvoicesReferTo) {
  work(false);
  for (std::int32_t front : {3, 5}) {
    FRE r{};
    r.CTA = front;
    add("FREN", r);
  }
  MAQ m{};
  m.CTA = 8, m.FREN = 3, m.PRRE = 100;
  add("MAQU", m);
  m.CTA = 9;
  add("MAQU", m);
  HOR h{};
  h.CTA = 50, h.CANT = 10, h.PREC = 10;
  add("HORA", h);
  InvoiceInput in = invoice(1, 1000, 150);
  ASSERT_TRUE(saveInvoice(ctx, in, nullptr).ok());
  in = invoice(2, 800, 120);
  in.invoice.MAQU = 9;
  ASSERT_TRUE(saveInvoice(ctx, in, nullptr).ok());
  // Invoiced before its hours were kept: nothing recorded on 9.
  sql("MAQU", "UPDATE \"MAQU\" SET \"RECI\"=0, \"IMPO\"=0 WHERE \"CTA\"=9");

  CleanUp count;
  ASSERT_TRUE(countCleanUp(ctx, count).ok());
  EXPECT_EQ(count.records, 1);  // 8 alone
  HoursImport im;
  im.front = 5, im.factor = Decimal::fromCents(100), im.accumulate = false;
  ImportResult r;
  ASSERT_TRUE(importHours(ctx, im, &r).ok());
  EXPECT_EQ(r.deleted, 1);
  std::vector<std::int32_t> left;
  for (const MAQ& e : all<MAQ>("MAQU")) left.push_back(e.CTA);
  EXPECT_EQ(left, (std::vector<std::int32_t>{7, 9, 50}));
}

TEST_P(InvoicesOn, MissingValuesAndAUsedFolioWriteNothing) {
  work();
  FAM f = invoice(1, 10, 0).invoice;
  EXPECT_EQ(missingInvoiceField(f), "");
  // In the order the form asks for them.
  for (auto [clear, field] : std::initializer_list<std::pair<void (*)(FAM&), const char*>>{
           {[](FAM& r) { r.CTA = 0, r.PROV = 0; }, "FAM:CTA"},
           {[](FAM& r) { r.FACT = 0, r.IMPO = 0; }, "FAM:FACT"},
           {[](FAM& r) { r.FECH = 0, r.MAQU = 0; }, "FAM:FECH"},
           {[](FAM& r) { r.PROV = 0, r.AUTO = 0; }, "FAM:PROV"},
           {[](FAM& r) { r.AUTO = 0; }, "FAM:AUTO"},
           {[](FAM& r) { r.MAQU = 0; }, "FAM:MAQU"},
           {[](FAM& r) { r.IMPO = 0.004; }, "FAM:IMPO"}}) {
    FAM g = f;
    clear(g);
    EXPECT_EQ(missingInvoiceField(g), field);
    InvoiceInput in = invoice(1, 10, 0);
    in.invoice = g;
    InvoiceOutcome out;
    EXPECT_FALSE(saveInvoice(ctx, in, &out).ok());
    EXPECT_EQ(out.step, InvoiceStep::Missing);
  }
  EXPECT_TRUE(all<FAM>("FAMA").empty());

  ASSERT_TRUE(saveInvoice(ctx, invoice(1, 1000, 150), nullptr).ok());
  InvoiceOutcome out;
  Status st = saveInvoice(ctx, invoice(1, 500, 75), &out);
  EXPECT_EQ(st.code, err::DuplicateKey);
  EXPECT_EQ(out.step, InvoiceStep::Duplicate);
  EXPECT_EQ(all<FAM>("FAMA").size(), 1u);
  EXPECT_DOUBLE_EQ(all<PRV>("PROV")[0].TFAC, 1250);
  EXPECT_EQ(all<POA>("POLMES").size(), 1u);
  EXPECT_EQ(all<DEA>("DETMES").size(), 3u);
  EXPECT_DOUBLE_EQ(read(warehouse).CARGOS[2], 1150);

  // Equipment not on file: refused before anything is written.
  InvoiceInput unknown = invoice(3, 10, 1);
  unknown.invoice.MAQU = 99;
  EXPECT_FALSE(saveInvoice(ctx, unknown, &out).ok());
  EXPECT_EQ(out.step, InvoiceStep::Equipment);
  EXPECT_EQ(all<FAM>("FAMA").size(), 1u);
}

TEST_P(InvoicesOn, PolicyLinesRoundSkipAndBalance) {
  const accounting::InvoiceAccounts a{iva, suppliers, warehouse};
  auto cents = [](const std::vector<accounting::PolicyLine>& ls) {
    std::vector<std::pair<char, std::int64_t>> v;
    for (const auto& l : ls) v.emplace_back(char(l.side), l.amount.cents());
    return v;
  };
  FAM f{};
  f.CTA = 12, f.IMPO = 1000, f.IVA = 0.004;  // the tax rounds to nothing: no line
  EXPECT_EQ(cents(accounting::invoicePolicyLines(f, a)),
            (std::vector<std::pair<char, std::int64_t>>{{'C', 100000}, {'A', 100000}}));
  f.IMPO = 33.33, f.IVA = 4.9995;  // fractions: the supplier takes the rest
  EXPECT_EQ(cents(accounting::invoicePolicyLines(f, a)),
            (std::vector<std::pair<char, std::int64_t>>{{'C', 3833}, {'A', 500}, {'A', 3333}}));
  f.IMPO = -100, f.IVA = -15;  // a credit note turns every side
  EXPECT_EQ(cents(accounting::invoicePolicyLines(f, a)),
            (std::vector<std::pair<char, std::int64_t>>{{'A', 11500}, {'C', 1500}, {'C', 10000}}));
}

TEST_P(InvoicesOn, APolicyThatCannotBeWrittenLeavesTheInvoiceSavedAndSaysSo) {
  work(true, false);  // no warehouse account in the chart
  InvoiceOutcome out;
  ASSERT_TRUE(saveInvoice(ctx, invoice(1, 1000, 150), &out).ok());
  EXPECT_EQ(out.policy, PolicyState::Missing);
  ASSERT_EQ(out.messages.size(), 2u);
  EXPECT_EQ(out.messages[0][0].rfind("ERROR ", 0), 0u);
  EXPECT_EQ(out.messages[0][1], "NO ENCONTRE LA CTA DE ALMACEN");
  EXPECT_EQ(out.messages[0][2], "DEBE DEFINIRSE LA CTA");
  EXPECT_EQ(out.messages[1][0], "LA POLIZA CONTABLE NO SERA INCLUIDA");
  EXPECT_EQ(all<FAM>("FAMA").size(), 1u);
  EXPECT_DOUBLE_EQ(all<PRV>("PROV")[0].TFAC, 1250);
  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_TRUE(all<DEA>("DETMES").empty());

  // A line the file refuses half way: no part of the policy stays, nothing
  // is rolled up, and the invoice is saved alone.
  account(acct(1115), false), account(acct(1115, 1), false), account(warehouse);
  refuseAccountWrites("\"CTA\"=2101 AND \"SCTA\"=0");
  ASSERT_TRUE(saveInvoice(ctx, invoice(2, 1000, 150), &out).ok());
  allowAccountWrites();
  EXPECT_EQ(out.policy, PolicyState::Failed);
  ASSERT_EQ(out.messages.size(), 2u);
  // On the server the refusal of a write over a held row comes with the
  // policy's next statement: the policy is told, not its line.
  EXPECT_EQ(out.messages[0][2], GetParam() == velmora::test::BackEnd::Files
                                    ? "CUENTA DEL PROVEEDOR"
                                    : "POLIZA DE LA FACTURA");
  EXPECT_EQ(out.messages[1][2], "QUEDA REGISTRADA SIN POLIZA");
  EXPECT_EQ(all<FAM>("FAMA").size(), 2u);
  EXPECT_DOUBLE_EQ(all<PRV>("PROV")[0].TFAC, 2400);
  EXPECT_TRUE(all<POA>("POLMES").empty());
  EXPECT_TRUE(all<DEA>("DETMES").empty());
  EXPECT_DOUBLE_EQ(read(warehouse).CARGOS[2], 0);
}

TEST_P(InvoicesOn, PoliciesOffWriteNoPolicyAndTheRateIsASetting) {
  work(false);
  InvoiceOutcome out;
  ASSERT_TRUE(saveInvoice(ctx, invoice(1, 1000, 150), &out).ok());
  EXPECT_EQ(out.policy, PolicyState::Off);
  EXPECT_TRUE(out.messages.empty());
  EXPECT_EQ(all<FAM>("FAMA").size(), 1u);
  EXPECT_TRUE(all<POA>("POLMES").empty());

  EXPECT_EQ(taxRate(folder.path()), kDefaultTaxRate);
  std::ofstream(folder.file("VELMORA.INI")) << "[Facturas]\nIVA=0.16\n";
  EXPECT_EQ(taxRate(folder.path()), 160000);
  EXPECT_EQ(proposedTax(*Decimal::parse("1000"), taxRate(folder.path())).cents(), 16000);
  std::ofstream(folder.file("VELMORA.INI")) << "[Facturas]\nIVA=16%\n";
  EXPECT_EQ(taxRate(folder.path()), kDefaultTaxRate);
}

// A station killed while saving leaves each invoice whole or absent: the
// supplier's total, the policies and their lines agree with the invoices.
TEST_P(InvoicesOn, ASaveKilledHalfWayLeavesAllOrNothing) {
  work();
  int next = 1;
  for (int round = 0; round < 4; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The parent's storage, with its keys derived already.
      db::Context c(storage, 50);
      for (int folio = next;; ++folio) (void)saveInvoice(c, invoice(folio, 1000, 150), nullptr);
    }
    ::usleep(useconds_t(400000 + round * 70000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    const auto invoices = all<FAM>("FAMA");
    ASSERT_FALSE(invoices.empty());
    next = invoices.back().CTA + 1;
    const double n = double(invoices.size());
    EXPECT_DOUBLE_EQ(all<PRV>("PROV")[0].TFAC, 100 + 1150 * n);
    EXPECT_DOUBLE_EQ(all<PAR>("PART")[0].TEQU, 50 + 1000 * n);
    EXPECT_EQ(all<POA>("POLMES").size(), invoices.size());
    EXPECT_EQ(all<DEA>("DETMES").size(), 3 * invoices.size());
    EXPECT_DOUBLE_EQ(read(warehouse).CARGOS[2], 1150 * n);
  }
}

INSTANTIATE_TEST_SUITE_P(, InvoicesOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::equipment
