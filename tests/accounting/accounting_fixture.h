#pragma once

// A work with automatic policies on: its settings, chart of accounts, one
// bank, the control record and contractor 1, in a folder of its own.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <string>
#include <vector>

#include "accounting/estimate_policy.h"
#include "accounting/ledger_check.h"
#include "dictionary/dates.h"
#include "dictionary/schema.h"
#include "tests/support/back_end.h"
#include "tests/support/temp_folder.h"

namespace velmora::accounting::test {

inline AccountNumber acct(std::int16_t a, std::int16_t b = 0, std::int16_t c = 0,
                          std::int16_t d = 0, std::int16_t e = 0) {
  return {{a, b, c, d, e}};
}

// The tables a posting reads and writes besides the estimates.
inline constexpr const char* kBookTables[] = {"OBRA",   "BANC",   "CUEN",
                                              "POLMES", "DETMES", "CONTROL"};

template <class R>
void addRecord(db::Storage& storage, const char* label, const R& r) {
  db::Context c(storage, 90);
  db::Table& t = c.table(label);
  ASSERT_TRUE(t.open().ok());
  t.rec<R>() = r;
  ASSERT_TRUE(t.add().ok()) << label;
}

// The accounts of slots 11, 13, 4, 6, 7 and 8 and the bank's.
struct BookAccounts {
  AccountNumber payroll, cost, iva, advances, loans, funds, bank;
};

// Work OB1 with automatic policies on (or off), every account of `a` with its
// parents, bank 1 on `a.bank` with 500 000 in it, and the control record.
inline void writeBooks(db::Storage& storage, const BookAccounts& a, bool enabled = true) {
  auto account = [&](const AccountNumber& n, bool last) {
    CUE r{};
    putAccount(r, n);
    r.DESC = "CUENTA " + n.text();
    r.ULNI = last ? "S" : "N";
    addRecord(storage, "CUEN", r);
  };
  for (const AccountNumber& n : {a.payroll, a.cost, a.iva, a.advances, a.loans, a.funds}) {
    account(acct(n.levels[0]), false);
    account(n, true);
  }
  for (int depth = 1; depth < 5; ++depth) {
    AccountNumber parent = a.bank;
    for (int l = depth; l < 5; ++l) parent.levels[std::size_t(l)] = 0;
    account(parent, false);
  }
  account(a.bank, true);
  OBR w{};
  w.CTA = "OB1";
  w.POAU[0] = enabled ? 1 : 0;
  auto slot = [&](int n, const AccountNumber& x) {
    OBR::CONTA_t& s = w.CONTA[std::size_t(n - 1)];
    s.CC = x.levels[0], s.SCC = x.levels[1], s.SSCC = x.levels[2], s.SSSCC = x.levels[3],
    s.SSSSCC = x.levels[4];
  };
  slot(11, a.payroll), slot(13, a.cost), slot(4, a.iva), slot(6, a.advances), slot(7, a.loans),
      slot(8, a.funds);
  addRecord(storage, "OBRA", w);
  BAN b{};
  b.CTA = 1, b.NOMB = "BANCO DEL NORTE", b.CUE = "0123456789", b.SALD = 500000;
  putAccount(b, a.bank);
  addRecord(storage, "BANC", b);
  CTL k{};
  k.CTA = 1;
  addRecord(storage, "CONTROL", k);
}

class Ledger : public ::testing::Test {
 protected:
  static constexpr const char* kTables[] = {"OBRA", "POLI",   "CONT",   "BANC",
                                            "CUEN", "POLMES", "DETMES", "CONTROL"};
  // Slots 11, 13, 4, 6, 7 and 8, and the bank's five-level account.
  const AccountNumber payroll = acct(5101, 1), cost = acct(5102, 1), iva = acct(1190, 1),
                      advances = acct(1150, 1), loans = acct(1160, 1), funds = acct(2150, 1),
                      bank = acct(1102, 1, 2, 3, 4);
  const std::int32_t today = dates::dateOf(3, 15, 2026);

  void SetUp() override { name(storage); }
  void name(db::Storage& s) {
    // A company on the server when the test put it there: every station
    // the test starts names the same tables.
    if (!server.connection().empty()) s.setServer(server.connection(), folder.path().string());
    for (const char* label : kTables)
      s.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    s.setBusyTimeout(10000);
  }

  template <class R>
  void add(const char* label, const R& r) {
    db::Context c(storage, 90);
    db::Table& t = c.table(label);
    ASSERT_TRUE(t.open().ok());
    t.rec<R>() = r;
    ASSERT_TRUE(t.add().ok()) << label;
  }
  void account(const AccountNumber& a, bool last = true) {
    CUE r{};
    putAccount(r, a);
    r.DESC = "CUENTA " + a.text();
    r.ULNI = last ? "S" : "N";
    add("CUEN", r);
  }
  // Every account with its parents, the work, the bank, the control record
  // and the contractor.
  void books(bool enabled = true) {
    writeBooks(storage, {payroll, cost, iva, advances, loans, funds, bank}, enabled);
    CTR c{};
    c.CTA = 1, c.NOMB = "PEREZ";
    add("CONT", c);
  }
  POL estimate(std::int16_t folio, double cant, double iva, double pant, double pfon,
               double nomi = 0, double pres = 0, double ppre = 0) {
    POL p{};
    p.CTA = folio, p.CONT = 1, p.ESTI = folio, p.FECH = today;
    p.CANT = cant, p.IVA = iva, p.PANT = pant, p.PFON = pfon, p.NOMI = nomi, p.PRES = pres,
    p.PPRE = ppre;
    return p;
  }
  PostingInput input(std::int16_t folio) {
    PostingInput in;
    in.estimate = folio, in.bank = 1, in.work = "OB1", in.today = today, in.now = 100;
    return in;
  }
  template <class R>
  std::vector<R> all(const char* label) {
    db::Context c(storage, 91);
    db::Table& t = c.table(label);
    std::vector<R> rows;
    EXPECT_TRUE(t.open().ok());
    Status st = t.setStart(nullptr);
    while (st && (st = t.next())) rows.push_back(t.rec<R>());
    EXPECT_EQ(st.code, err::NoRecord);
    return rows;
  }
  CUE read(const AccountNumber& a) {
    for (const CUE& r : all<CUE>("CUEN"))
      if (accountOf(r) == a) return r;
    ADD_FAILURE() << a.text();
    return {};
  }
  // Plain SQL on a table file (or the server's table), past the engine: to
  // make a write fail.
  void sql(const char* label, const std::string& statement) {
    if (!server.connection().empty()) {
      db::server::Connection c(server.connection());
      ASSERT_TRUE(c.status().ok()) << c.status().text;
      const Status st = c.exec("SET search_path TO programa; " + statement);
      EXPECT_TRUE(st.ok()) << st.text;
      return;
    }
    const dict::TableInfo& t = *dict::findTable(label);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(folder.file(std::string(label) + ".TPS").c_str(), &db), SQLITE_OK);
    db::schema::registerCollations(db);
    const std::string key = storage.rawKey(t.password, db::Storage::saltFor(t.password));
    const std::string all = "PRAGMA key=\"" + key +
                            "\";PRAGMA cipher_page_size=" + std::to_string(db::kPageSize) + ";" +
                            statement;
    EXPECT_EQ(sqlite3_exec(db, all.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }

  // Writes of the accounts `where` names refused, as a damaged file or a
  // full disk refuses them: on the files the rows are given a value the
  // record cannot hold (their image no longer matches), on the server a
  // constraint no new version of them meets.
  void refuseAccountWrites(const std::string& where) {
    if (!server.connection().empty())
      sql("CUEN", "ALTER TABLE \"CUEN\" ADD CONSTRAINT prueba_rechazo CHECK (NOT (" + where +
                      ")) NOT VALID");
    else
      sql("CUEN", "UPDATE \"CUEN\" SET \"CLAVE\"=99999 WHERE " + where);
  }
  void allowAccountWrites() {
    if (!server.connection().empty())
      sql("CUEN", "ALTER TABLE \"CUEN\" DROP CONSTRAINT prueba_rechazo");
    else
      sql("CUEN", "UPDATE \"CUEN\" SET \"CLAVE\"=0");
  }

  velmora::test::ServerDatabase server;  // unused unless a test puts the company there
  velmora::test::TempFolder folder;
  db::Storage storage;
  db::Context ctx{storage};
};

}  // namespace velmora::accounting::test
