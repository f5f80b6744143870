// VOROVID's audit and the operations it audits: random sequences of
// invoices, payments and advances of several suppliers, with their changes
// and deletes, leave after every single step each supplier, invoice, item
// and equipment total as their records give it, and every policy balanced;
// the audit mends totals damaged from outside and a second run finds
// nothing; checking writes nothing.

#include <map>
#include <random>
#include <string>
#include <vector>

#include "accounting/ledger_check.h"
#include "dictionary/dates.h"
#include "dictionary/work_files.h"
#include "equipment/invoices.h"
#include "equipment/payments.h"
#include "equipment/supplier_audit.h"
#include "tests/accounting/accounting_fixture.h"

namespace velmora::equipment::test {
namespace {

using accounting::AccountNumber;
using accounting::test::acct;

class SupplierTotals : public accounting::test::Ledger {
 protected:
  // Today itself: a payment is only taken back in the month of its policy
  // file, the station's current one.
  const std::int32_t today = dates::today();
  const AccountNumber taxAcct = acct(1108, 1), suppliersAcct = acct(2101, 1),
                      advancesAcct = acct(1120, 1), warehouse = acct(1115, 1, 1);

  void SetUp() override {
    Ledger::SetUp();
    for (const char* label : {"FAMA", "MAQU", "PROV", "PART", "PAGM", "PERS", "PROB"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    // The month's policy files by their month, as a work names them.
    const std::string month(db::monthAbbreviation(dates::monthOf(today)));
    storage.setFileName(POA::info(), folder.file("POL" + month + ".TPS"));
    storage.setFileName(DEA::info(), folder.file("DET" + month + ".TPS"));
  }

  // Equipment and payment policies on, suppliers 1 to 3, equipment 7 and 8
  // on fronts 1 and 2 (the same numbers on both), an item for each.
  void work(bool policies = true) {
    for (const AccountNumber& a : {taxAcct, suppliersAcct, advancesAcct}) {
      account(acct(a.levels[0]), false);
      account(a);
    }
    account(acct(1115), false), account(acct(1115, 1), false), account(warehouse);
    account(acct(1102), false), account(acct(1102, 1), false), account(acct(1102, 1, 2), false);
    account(acct(1102, 1, 2, 3), false), account(bank);
    OBR w{};
    w.CTA = "OB1";
    w.POAU[1] = policies ? 1 : 0;
    auto slot = [&](int n, const AccountNumber& a) {
      OBR::CONTA_t& s = w.CONTA[std::size_t(n - 1)];
      s.CC = a.levels[0], s.SCC = a.levels[1], s.SSCC = a.levels[2];
    };
    slot(2, suppliersAcct), slot(3, advancesAcct), slot(4, taxAcct), slot(10, warehouse);
    add("OBRA", w);
    BAN b{};
    b.CTA = 1, b.NOMB = "BANCO DEL NORTE", b.CUE = "0123456789", b.SALD = 9000000;
    putAccount(b, bank);
    add("BANC", b);
    add("CONTROL", CTL{});
    for (std::int32_t n = 1; n <= 3; ++n) {
      PRV p{};
      p.CTA = n, p.NOMB = "PROVEEDOR " + std::to_string(n), p.TIPO = 2;
      p.RFC = "RFC" + std::to_string(n);
      add("PROV", p);
    }
    for (std::int32_t front : {1, 2})
      for (std::int32_t number : {7, 8}) {
        MAQ m{};
        m.CTA = number, m.FREN = front, m.PROC = 20, m.DESC = "EQUIPO";
        m.PRRE = number == 7 ? 95.125 : 250;
        add("MAQU", m);
      }
    for (std::int32_t front : {1, 2}) {
      PAR i{};
      i.CONC = 0, i.PROC = 20, i.FREN = front, i.TEXT = "EQUIPO";
      add("PART", i);
    }
    PRB k{};
    k.CTA = 20, k.TEXT = "EXCAVACIONES";
    add("PROB", k);
    PER e{};
    e.CTA = 1, e.NOMB = "ING. SALINAS";
    add("PERS", e);
    // The work's estimates and the month's policies, none yet: the ledger
    // check reads them too.
    db::Context c(storage, 96);
    for (const char* label : {"POLI", "POLMES", "DETMES"}) ASSERT_TRUE(c.table(label).open().ok());
  }

  // What the audit, checking, would correct; and the month's policies.
  void expectTotalsHold(const std::string& step) {
    SCOPED_TRACE(step);
    db::Context c(storage, 97);
    SupplierAudit check(c, true);
    check.run();
    ASSERT_TRUE(check.finished()) << check.failure().text;
    for (const std::string& d : check.differences()) ADD_FAILURE() << d;
    std::vector<std::string> ledger;
    const Status st =
        accounting::checkLedger(c, dates::monthOf(today), dates::yearOf(today), ledger);
    ASSERT_TRUE(st.ok()) << st.text << " " << st.table;
    for (const std::string& d : ledger) ADD_FAILURE() << d;
  }

  InvoiceInput invoice(std::int32_t folio, std::mt19937& rng) {
    InvoiceInput in;
    FAM& f = in.invoice;
    f.CTA = folio, f.PROV = 1 + std::int32_t(rng() % 3), f.FACT = 5000 + folio, f.FECH = today;
    f.MAQU = rng() % 2 ? 7 : 8, f.FREN = 1 + std::int32_t(rng() % 2), f.PROC = 20, f.AUTO = 1;
    f.CANT = double(1 + rng() % 40000) / 100;
    const Decimal amount = hoursAmount(f.CANT, f.MAQU == 7 ? 95.125 : 250);
    f.IMPO = amount.toDouble();
    f.IVA = proposedTax(amount, kDefaultTaxRate).toDouble();
    in.work = "OB1", in.today = today, in.now = 100, in.user = 1;
    return in;
  }
  PaymentInput payment(const FAM& f, std::mt19937& rng, const PRV& s) {
    PaymentInput in;
    PGM& p = in.payment;
    p.PROV = f.PROV, p.FACT = f.CTA, p.TIPO = "F", p.FECH = today, p.BANK = 1, p.CHEC = 100;
    const std::int64_t balance = invoiceBalance(f).cents();
    // Now and then more than the balance, to be refused.
    const std::int64_t cant = 1 + std::int64_t(rng() % std::uint64_t(balance + balance / 10 + 1));
    const std::int64_t room = std::min(outstandingAdvances(s).cents(), cant);
    p.CANT = Decimal::fromCents(cant).toDouble();
    p.ANTI = room > 0 && rng() % 2
                 ? Decimal::fromCents(std::int64_t(rng() % std::uint64_t(room + 1))).toDouble()
                 : 0;
    in.work = "OB1", in.today = today, in.now = 100, in.user = 1;
    return in;
  }

  // Random steps: invoices, payments and advances, and changes and deletes
  // of both (refused or reversed), the totals checked after every one.
  void sequence(unsigned seed) {
    std::mt19937 rng(seed);
    std::int32_t folio = 0;
    std::map<std::string, int> done;
    for (int step = 0; step < 160; ++step) {
      std::string what;
      Status st;
      const auto invoices = all<FAM>("FAMA");
      const auto payments = all<PGM>("PAGM");
      switch (rng() % 8) {
        case 0:
        case 1: {
          what = "factura";
          InvoiceOutcome out;
          st = saveInvoice(ctx, invoice(++folio, rng), &out);
          break;
        }
        case 2: {
          what = "pago";
          std::vector<FAM> owing;
          for (const FAM& f : invoices)
            if (invoiceBalance(f).cents() > 0) owing.push_back(f);
          if (owing.empty()) continue;
          const FAM f = owing[rng() % owing.size()];
          PaymentOutcome out;
          st =
              postPayment(ctx, payment(f, rng, all<PRV>("PROV").at(std::size_t(f.PROV - 1))), &out);
          break;
        }
        case 3: {
          what = "anticipo";
          PaymentInput in;
          in.payment.PROV = 1 + std::int32_t(rng() % 3), in.payment.TIPO = "A";
          in.payment.ANTI = double(1 + rng() % 500000) / 100;
          in.payment.FECH = today, in.payment.BANK = 1, in.payment.CHEC = 200;
          in.work = "OB1", in.today = today, in.now = 100, in.user = 1;
          PaymentOutcome out;
          st = postPayment(ctx, in, &out);
          break;
        }
        case 4: {
          if (invoices.empty()) continue;
          what = "cambia factura";
          InvoiceChange in;
          in.read = invoices[rng() % invoices.size()];
          in.invoice = in.read;
          FAM& f = in.invoice;
          switch (rng() % 4) {
            case 0: {
              f.CANT = double(1 + rng() % 40000) / 100;
              const Decimal amount = hoursAmount(f.CANT, f.MAQU == 7 ? 95.125 : 250);
              f.IMPO = amount.toDouble();
              f.IVA = proposedTax(amount, kDefaultTaxRate).toDouble();
              break;
            }
            case 1: f.FREN = 3 - f.FREN; break;
            case 2: f.PROV = 1 + std::int32_t(rng() % 3); break;
            default: f.FACT += 1;
          }
          in.work = "OB1", in.today = today, in.now = 100, in.user = 1;
          InvoiceOutcome out;
          st = changeInvoice(ctx, in, &out);
          break;
        }
        case 5: {
          if (invoices.empty()) continue;
          what = "borra factura";
          InvoiceOutcome out;
          st = deleteInvoice(ctx, invoices[rng() % invoices.size()].CTA, 1, &out);
          break;
        }
        case 6: {
          if (payments.empty()) continue;
          what = "cambia pago";
          PaymentChange in;
          in.read = payments[rng() % payments.size()];
          in.payment = in.read;
          if (rng() % 2) {
            in.payment.CHEC += 1;
          } else if (in.payment.TIPO == "A") {
            in.payment.ANTI = double(1 + rng() % 500000) / 100;
          } else {
            in.payment.CANT = double(1 + rng() % 5000000) / 100;
            in.payment.ANTI = 0;
          }
          in.work = "OB1", in.today = today, in.now = 100, in.user = 1;
          PaymentOutcome out;
          st = changePayment(ctx, in, &out);
          break;
        }
        default: {
          if (payments.empty()) continue;
          what = "borra pago";
          PaymentOutcome out;
          st = deletePayment(ctx, payments[rng() % payments.size()], 1, &out);
        }
      }
      ++done[what + (st ? "" : " rechazado")];
      expectTotalsHold("paso " + std::to_string(step) + " " + what + (st ? "" : " rechazado"));
      if (HasFailure()) return;
    }
    // Every kind of step happened, saved and refused.
    for (const char* kind : {"factura", "pago", "anticipo", "cambia factura", "borra factura",
                             "cambia pago", "borra pago"})
      EXPECT_GT(done[kind] + done[std::string(kind) + " rechazado"], 3) << kind;
    EXPECT_GT(done["cambia factura"] + done["borra factura"], 0);
    EXPECT_GT(done["cambia factura rechazado"] + done["borra pago rechazado"], 0);
    EXPECT_GT(done["borra pago"] + done["cambia pago"], 3);
  }
};

// On the table files and on a company kept on the server.
class SupplierTotalsOn : public velmora::test::OnBackEnd<SupplierTotals> {};

TEST_P(SupplierTotalsOn, RandomSequencesWithPoliciesKeepEveryTotalWhatItsRecordsGive) {
  work(true);
  sequence(2026);
}

// Without policies a payment's change or delete is reversed rather than
// refused: the totals must follow it exactly.
TEST_P(SupplierTotalsOn, RandomSequencesWithoutPoliciesKeepEveryTotalWhatItsRecordsGive) {
  work(false);
  sequence(77);
}

// The damage is done with the files' own SQL (texts of numbers as they
// store them): on the files only.
class SupplierTotalsOnFiles : public SupplierTotalsOn {};

// Totals damaged from outside are rebuilt from the records, in one run; a
// second run and a check find nothing; a check of damaged totals lists them
// and writes nothing.
TEST_P(SupplierTotalsOnFiles, TheAuditRebuildsDamagedTotalsAndCheckingWritesNothing) {
  work();
  std::mt19937 rng(7);
  for (std::int32_t folio = 1; folio <= 6; ++folio) {
    InvoiceOutcome out;
    ASSERT_TRUE(saveInvoice(ctx, invoice(folio, rng), &out).ok());
  }
  const FAM first = all<FAM>("FAMA").at(0);
  PaymentOutcome paid;
  ASSERT_TRUE(
      postPayment(ctx, payment(first, rng, all<PRV>("PROV").at(std::size_t(first.PROV - 1))), &paid)
          .ok());
  const auto goodSuppliers = all<PRV>("PROV");
  const auto goodInvoices = all<FAM>("FAMA");
  const auto goodItems = all<PAR>("PART");
  const auto goodEquipment = all<MAQ>("MAQU");
  // Damage one total of each kind behind the programs' back.
  sql("PROV",
      "UPDATE PROV SET TFAC = TFAC + 1.5, TPAG = 7 WHERE CTA = " + std::to_string(first.PROV));
  sql("FAMA", "UPDATE FAMA SET PAGO = 0");
  sql("PART", "UPDATE PART SET TEQU = 123.45");
  sql("MAQU", "UPDATE MAQU SET RECI = 1, IMPO = 2");

  db::Context c(storage, 98);
  SupplierAudit check(c, true);
  check.run();
  ASSERT_TRUE(check.finished());
  EXPECT_GE(check.differences().size(), 4u);
  EXPECT_EQ(all<PAR>("PART").at(0).TEQU, 123.45);  // nothing written

  SupplierAudit audit(c);
  audit.run();
  ASSERT_TRUE(audit.finished()) << audit.failure().text;
  EXPECT_EQ(audit.counts().suppliersWritten, 1);
  EXPECT_EQ(audit.counts().invoicesWritten, 1);
  EXPECT_EQ(audit.counts().itemsWritten, 2);
  EXPECT_EQ(audit.counts().equipmentWritten, 4);
  EXPECT_EQ(all<PRV>("PROV"), goodSuppliers);
  EXPECT_EQ(all<FAM>("FAMA"), goodInvoices);
  EXPECT_EQ(all<PAR>("PART"), goodItems);
  EXPECT_EQ(all<MAQ>("MAQU"), goodEquipment);

  SupplierAudit again(c);
  again.run();
  EXPECT_TRUE(again.counts().changedNothing());
}

INSTANTIATE_TEST_SUITE_P(, SupplierTotalsOnFiles, ::testing::Values(velmora::test::BackEnd::Files),
                         velmora::test::backEndName);
INSTANTIATE_TEST_SUITE_P(, SupplierTotalsOn,
                         ::testing::Values(velmora::test::BackEnd::Files,
                                           velmora::test::BackEnd::Server),
                         velmora::test::backEndName);

}  // namespace
}  // namespace velmora::equipment::test
