#pragma once

// The work an equipment invoice is posted into (accounts, supplier,
// equipment, item), on the table files or on the server.

#include <string>

#include "equipment/invoices.h"
#include "tests/accounting/accounting_fixture.h"
#include "tests/support/back_end.h"

namespace velmora::equipment::test {

using accounting::AccountNumber;
using accounting::Side;
using accounting::test::acct;

class Invoices : public accounting::test::Ledger {
 protected:
  const AccountNumber iva = acct(1108, 1), suppliers = acct(2101, 1), warehouse = acct(1115, 1, 1);

  void SetUp() override {
    Ledger::SetUp();
    for (const char* label :
         {"FAMA", "MAQU", "PROV", "PART", "PERS", "PROB", "PAGM", "HORA", "FREN"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
  }

  // The work with its equipment accounts, supplier 1, equipment 7 on front
  // 3 and process 20 at 250.00 an hour, and the item it is charged to.
  void work(bool policies = true, bool withWarehouse = true) {
    for (const AccountNumber& a : {iva, suppliers}) {
      account(acct(a.levels[0]), false);
      account(a);
    }
    if (withWarehouse) {
      account(acct(1115), false), account(acct(1115, 1), false);
      account(warehouse);
    }
    OBR w{};
    w.CTA = "OB1";
    w.POAU[1] = policies ? 1 : 0;
    auto slot = [&](int n, const AccountNumber& a) {
      OBR::CONTA_t& s = w.CONTA[std::size_t(n - 1)];
      s.CC = a.levels[0], s.SCC = a.levels[1], s.SSCC = a.levels[2];
    };
    slot(2, suppliers), slot(4, iva), slot(10, warehouse);
    add("OBRA", w);
    PRV p{};
    p.CTA = 1, p.NOMB = "RENTAS DEL BAJIO", p.TIPO = 2, p.TFAC = 100;
    add("PROV", p);
    MAQ m{};
    m.CTA = 7, m.FREN = 3, m.PROC = 20, m.PRRE = 250, m.DESC = "RETROEXCAVADORA";
    add("MAQU", m);
    PAR i{};
    i.CONC = 0, i.PROC = 20, i.FREN = 3, i.TEXT = "EQUIPO", i.TEQU = 50;
    add("PART", i);
    PRB k{};
    k.CTA = 20, k.TEXT = "EXCAVACIONES";
    add("PROB", k);
    PER e{};
    e.CTA = 1, e.NOMB = "ING. SALINAS";
    add("PERS", e);
  }

  InvoiceInput invoice(std::int32_t folio, double amount, double tax) {
    InvoiceInput in;
    FAM& f = in.invoice;
    f.CTA = folio, f.PROV = 1, f.FACT = 5500 + folio, f.FECH = today, f.MAQU = 7, f.AUTO = 1;
    f.CANT = 8, f.IMPO = amount, f.IVA = tax;
    in.work = "OB1", in.today = today, in.now = 100, in.user = 1;
    return in;
  }
};

}  // namespace velmora::equipment::test
