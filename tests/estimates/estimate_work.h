#pragma once

// A work of two contractors for estimate tests, and what must hold after
// every step a clerk takes on it: no item paid past its ceiling, no
// contractor owing a negative advance or holding a negative fund, and an
// audit that finds nothing to correct.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "estimates/audit_engine.h"
#include "estimates/estimate_rules.h"
#include "tests/support/back_end.h"
#include "tests/support/temp_folder.h"

namespace velmora::estimates::test {

class EstimateWork : public ::testing::Test {
 protected:
  void SetUp() override {
    if (onServer()) {
      ASSERT_FALSE(server.use(storage, folder.path().string()).empty());
    }
    name(storage);
  }
  // The work kept on the server instead of in files.
  virtual bool onServer() const { return false; }
  void name(db::Storage& s) {
    if (!server.connection().empty()) s.setServer(server.connection(), folder.path().string());
    for (const dict::TableInfo* t : {&PAR::info(), &CTR::info(), &POL::info(), &DPO::info()})
      s.setFileName(*t, folder.file(std::string(t->label) + ".TPS"));
    s.setBusyTimeout(5000);
  }

  // Two contractors; a lump sum, an item estimated at half its labour with
  // a variation, and odd quantities and prices.
  void work() {
    db::Context c(storage, 90);
    db::Table& cont = c.table("CONT");
    ASSERT_TRUE(cont.open().ok());
    for (std::int16_t n : {1, 2}) {
      cont.clear();
      CTR& k = cont.rec<CTR>();
      k.CTA = n, k.NOMB = n == 1 ? "PEREZ" : "GOMEZ";
      k.PANT = 20, k.PGAR = 5, k.IVA = 16, k.ICON = 0;
      ASSERT_TRUE(cont.add().ok());
    }
    struct Item {
      double conc, cant, pres, vpre, pest;
      std::int16_t contractor;
    };
    db::Table& part = c.table("PART");
    ASSERT_TRUE(part.open().ok());
    for (const Item& i :
         {Item{1, 1, 95800, 0, 100, 1}, Item{2, 10, 1000, 200, 50, 1}, Item{3, 3, 900, 0, 100, 1},
          Item{4, 7, 7777.77, 0, 100, 2}, Item{5, 12.5, 3333.33, 111.11, 80, 2}}) {
      part.clear();
      PAR& r = part.rec<PAR>();
      r.CONC = i.conc, r.PROC = 1, r.FREN = 1, r.TEXT = "PARTIDA", r.UNID = "M2";
      r.CANT = i.cant, r.PRES = i.pres, r.VPRE = i.vpre, r.PEST = i.pest, r.CONT = i.contractor;
      ASSERT_TRUE(part.add().ok());
    }
    // The budgets summed per contractor, as the audit leaves them.
    db::Context a(storage, 91);
    AuditRun run(a);
    run.run();
    ASSERT_TRUE(run.finished());
  }

  template <class R>
  std::vector<R> all(const char* label) {
    db::Context c(storage, 92);
    db::Table& t = c.table(label);
    std::vector<R> rows;
    EXPECT_TRUE(t.open().ok());
    Status st = t.setStart(nullptr);
    while (st && (st = t.next())) rows.push_back(t.rec<R>());
    return rows;
  }

  // What must hold after every step.
  void check(const std::string& step) {
    SCOPED_TRACE(step);
    for (const PAR& r : all<PAR>("PART")) {
      const ItemBudget b = itemBudget(r);
      EXPECT_LE(b.paid, b.ceiling) << "item " << r.CONC;
      EXPECT_LE(b.executed, b.quantity) << "item " << r.CONC;
    }
    for (const CTR& k : all<CTR>("CONT")) {
      EXPECT_GE(figure(k.ANTI).cents(), figure(k.AAMO).cents()) << "contractor " << k.CTA;
      EXPECT_GE(figure(k.GAAC).cents(), 0) << "contractor " << k.CTA;
    }
    db::Context c(storage, 93);
    AuditRun run(c);
    run.run();
    ASSERT_TRUE(run.finished());
    const AuditCounts& n = run.counts();
    EXPECT_TRUE(n.changedNothing())
        << "estimates " << n.estimatesWritten << " contractors " << n.contractorsWritten
        << " items " << n.itemsWritten << " lines " << n.linesWritten;
  }

  PAR readItem(db::Context& c, double conc) {
    db::Table& part = c.table("PART");
    if (!part.isOpen()) {
      EXPECT_TRUE(part.open().ok());
    }
    part.clear();
    part.rec<PAR>().CONC = conc, part.rec<PAR>().PROC = 1, part.rec<PAR>().FREN = 1;
    EXPECT_TRUE(part.get("PAR:CTA_KEY").ok());
    return part.rec<PAR>();
  }
  CTR readContractor(db::Context& c, std::int16_t n) {
    db::Table& cont = c.table("CONT");
    if (!cont.isOpen()) {
      EXPECT_TRUE(cont.open().ok());
    }
    cont.clear();
    cont.rec<CTR>().CTA = n;
    EXPECT_TRUE(cont.get("CTR:CTA_KEY").ok());
    return cont.rec<CTR>();
  }

  std::vector<double> itemsOf(std::int16_t contractor) {
    return contractor == 1 ? std::vector<double>{1, 2, 3} : std::vector<double>{4, 5};
  }

  std::optional<POL> lastOf(std::int16_t contractor) {
    db::Context c(storage, 94);
    const CTR k = readContractor(c, contractor);
    for (const POL& p : all<POL>("POLI"))
      if (p.CONT == contractor && p.ESTI == k.UEST && k.UEST > 0) return p;
    return std::nullopt;
  }

  velmora::test::ServerDatabase server;
  velmora::test::TempFolder folder;
  db::Storage storage;
  db::Context ctx{storage};
};

}  // namespace velmora::estimates::test
