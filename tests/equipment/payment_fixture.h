#pragma once

// Supplier payments on real files: the ledger of the accounting tests with a
// supplier, his invoices and the payment inputs the tests post.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include "accounting/imp_dos.h"
#include "equipment/equipment.h"
#include "equipment/payments.h"
#include "framework/browse.h"
#include "framework/program.h"
#include "tests/accounting/accounting_fixture.h"
#include "tests/support/posting_flag_station.h"
#include "tests/support/run_command.h"
#include "tests/support/test_host.h"

namespace velmora::equipment::test {

using accounting::Side;
using accounting::test::acct;

class Payments : public accounting::test::Ledger {
 protected:
  const accounting::AccountNumber suppliers = acct(2101, 1), advancesAcct = acct(1120, 1);

  void SetUp() override {
    Ledger::SetUp();
    nameMore(storage);
  }
  void nameMore(db::Storage& s) {
    for (const char* label : {"PAGM", "PROV", "FAMA"})
      s.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    // The policies of the month of `today`, named as a work names them.
    s.setFileName(*dict::findTable("POLMES"), folder.file("POLMAR.TPS"));
  }
  // The work with the equipment policies on or off, its accounts, one bank
  // of 500 000.00, the control record and suppliers 1 to 3.
  void setUpBooks(bool enabled = true) {
    for (const auto& a : {suppliers, advancesAcct}) {
      account(acct(a.levels[0]), false);
      account(a);
    }
    account(acct(1102), false), account(acct(1102, 1), false), account(acct(1102, 1, 2), false);
    account(acct(1102, 1, 2, 3), false), account(bank);
    OBR w{};
    w.CTA = "OB1";
    w.POAU[1] = enabled ? 1 : 0;
    w.CONTA[1].CC = 2101, w.CONTA[1].SCC = 1;
    w.CONTA[2].CC = 1120, w.CONTA[2].SCC = 1;
    add("OBRA", w);
    BAN b{};
    b.CTA = 1, b.NOMB = "BANCO DEL NORTE", b.CUE = "0123456789", b.SALD = 500000;
    b.ROW = {2, 5, 7, 5, 11}, b.COL = {58, 8, 8, 62, 8};
    putAccount(b, bank);
    add("BANC", b);
    add("CONTROL", CTL{});
    for (std::int32_t n = 1; n <= 3; ++n) {
      PRV p{};
      p.CTA = n, p.NOMB = "PROVEEDOR " + std::to_string(n), p.TIPO = 2;
      p.RFC = "RFC" + std::to_string(n);
      add("PROV", p);
    }
  }
  void invoice(std::int32_t folio, std::int32_t supplier, double impo, double iva,
               double pago = 0) {
    FAM f{};
    f.CTA = folio, f.PROV = supplier, f.IMPO = impo, f.IVA = iva, f.PAGO = pago;
    add("FAMA", f);
  }
  PaymentInput pay(std::int32_t supplier, std::int32_t folio, double cant, double anti) {
    PaymentInput in;
    in.payment.PROV = supplier, in.payment.FACT = folio, in.payment.TIPO = "F";
    in.payment.CANT = cant, in.payment.ANTI = anti;
    in.payment.FECH = today, in.payment.BANK = 1, in.payment.CHEC = 100;
    in.work = "OB1", in.today = today, in.now = 100, in.user = 1;
    return in;
  }
  PaymentInput advance(std::int32_t supplier, double anti) {
    PaymentInput in = pay(supplier, 0, 0, anti);
    in.payment.TIPO = "A";
    return in;
  }
  PRV supplier(std::int32_t n) { return all<PRV>("PROV").at(std::size_t(n - 1)); }
  std::int64_t c(double v) { return money(v).cents(); }
};

}  // namespace velmora::equipment::test
