// The write path: a refused change leaves the record and every key as they
// were, changes write only their columns, and records read inside a write
// transaction (one by one or read ahead) are not read again.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <string>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/storage.h"
#include "tests/support/back_end.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

class Writes : public ::testing::TestWithParam<test::BackEnd> {
 protected:
  void SetUp() override {
    if (GetParam() == test::BackEnd::Server) server.use(storage, folder.path().string());
    for (const char* label : {"PART", "CONT", "PROV"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
    storage.setFileName(*dict::findTable("APAR"), folder.file("PART.TPS"));
  }
  Table& open(const char* label) {
    Table& t = ctx.table(label);
    Status st = t.open();
    EXPECT_TRUE(st.ok()) << st.text;
    return t;
  }
  // The engine's own check of the file, keys against records, with our
  // collation, from a connection of its own.
  std::string integrity(const char* label) {
    if (GetParam() == test::BackEnd::Server) return "ok";  // the server keeps its own indexes
    const dict::TableInfo& t = *dict::findTable(label);
    sqlite3* db = nullptr;
    sqlite3_open_v2(folder.file(std::string(label) + ".TPS").c_str(), &db, SQLITE_OPEN_READONLY,
                    nullptr);
    schema::registerCollations(db);
    std::string key = storage.rawKey(t.password, Storage::saltFor(t.password));
    std::string pragmas =
        "PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=" + std::to_string(kPageSize) + ";";
    sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr);
    std::string out;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK)
      while (sqlite3_step(s) == SQLITE_ROW)
        out += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    else
      out = sqlite3_errmsg(db);
    sqlite3_finalize(s);
    sqlite3_close_v2(db);
    return out;
  }

  test::ServerDatabase server;
  test::TempFolder folder;
  Storage storage;
  Context ctx{storage};
};

TEST_P(Writes, RefusedChangeLeavesTheRecordAndEveryKeyAsTheyWere) {
  Table& part = open("PART");
  auto add = [&](double conc, int proc, const char* text) {
    part.clear();
    part.rec<PAR>().CONC = conc;
    part.rec<PAR>().PROC = proc;
    part.rec<PAR>().TEXT = text;
    ASSERT_TRUE(part.add().ok());
  };
  add(12.01, 1, "EXCAVACION");
  add(12.01, 2, "ZANJA");
  add(13.00, 1, "RELLENO");
  // Inside one batch: a good change, one refused on the key column it
  // changes (the other keys' columns change too), another good change.
  ASSERT_TRUE(part.stream().ok());
  ASSERT_TRUE(part.getByPosition(3).ok());
  part.rec<PAR>().TPAG = 5;
  ASSERT_TRUE(part.put().ok());
  ASSERT_TRUE(part.getByPosition(2).ok());
  part.rec<PAR>().PROC = 1;
  part.rec<PAR>().TEXT = "otra zanja";
  part.rec<PAR>().CONT = 7;
  Status st = part.put();
  EXPECT_EQ(st.code, err::DuplicateKey);
  EXPECT_EQ(st.key, "PAR:CTA_KEY");
  ASSERT_TRUE(part.getByPosition(1).ok());
  part.rec<PAR>().TEXT = "EXCAVACIÓN";
  ASSERT_TRUE(part.put().ok());
  ASSERT_TRUE(part.flush().ok());
  EXPECT_EQ(integrity("PART"), "ok");
  ASSERT_TRUE(part.getByPosition(2).ok());
  EXPECT_EQ(part.rec<PAR>().PROC, 2);
  EXPECT_EQ(part.rec<PAR>().TEXT, "ZANJA");
  EXPECT_EQ(part.rec<PAR>().CONT, 0);
  part.clear();
  part.rec<PAR>().TEXT = "zanja";  // case-insensitive key, still at its old value
  ASSERT_TRUE(part.get("PAR:TEX_KEY").ok());
  EXPECT_EQ(part.position(), 2);

  // A second unique key refuses after the first accepted its new value, in
  // a transaction over two files; and a case-insensitive unique key.
  Table& cont = open("CONT");
  Table& prov = open("PROV");
  for (int i = 1; i <= 2; ++i) {
    cont.clear();
    cont.rec<CTR>().CTA = std::int16_t(i);
    cont.rec<CTR>().NOMB = i == 1 ? "JUAN" : "PEDRO";
    ASSERT_TRUE(cont.add().ok());
    prov.clear();
    prov.rec<PRV>().CTA = i;
    prov.rec<PRV>().NOMB = i == 1 ? "UNO" : "DOS";
    prov.rec<PRV>().RFC = i == 1 ? "PEÑE800101É" : "OTRO";
    ASSERT_TRUE(prov.add().ok());
  }
  ASSERT_TRUE(ctx.begin({&cont, &prov}).ok());
  ASSERT_TRUE(cont.getByPosition(2).ok());
  cont.rec<CTR>().CTA = 3;
  cont.rec<CTR>().NOMB = "JUAN";
  st = cont.put();
  EXPECT_EQ(st.code, err::DuplicateKey);
  EXPECT_EQ(st.key, "CTR:NOM_KEY");
  ASSERT_TRUE(prov.getByPosition(2).ok());
  prov.rec<PRV>().RFC = "peñe800101é";
  EXPECT_EQ(prov.put().key, "PRV:RFC_KEY");
  ASSERT_TRUE(cont.getByPosition(1).ok());
  cont.rec<CTR>().TPAG = 10;
  ASSERT_TRUE(cont.put().ok());
  ASSERT_TRUE(ctx.commit().ok());
  EXPECT_EQ(integrity("CONT"), "ok");
  EXPECT_EQ(integrity("PROV"), "ok");
  cont.clear();
  cont.rec<CTR>().CTA = 3;
  EXPECT_EQ(cont.get("CTR:CTA_KEY").code, err::RecordNotFound);
  cont.rec<CTR>().CTA = 2;
  ASSERT_TRUE(cont.get("CTR:CTA_KEY").ok());
  EXPECT_EQ(cont.rec<CTR>().NOMB, "PEDRO");
  ASSERT_TRUE(prov.getByPosition(2).ok());
  EXPECT_EQ(prov.rec<PRV>().RFC, "OTRO");
}

TEST_P(Writes, ReadsInsideTheTransactionAreNotRepeated) {
  Table& part = open("PART");
  for (int i = 1; i <= 40; ++i) {
    part.clear();
    part.rec<PAR>().CONC = i;
    part.rec<PAR>().TEXT = "P" + std::to_string(i);
    ASSERT_TRUE(part.add().ok());
  }
  ASSERT_TRUE(part.removeByPosition(20).ok());
  // Outside a transaction nothing is read ahead.
  ASSERT_TRUE(part.prefetch({1, 2}).ok());
  ASSERT_TRUE(part.stream().ok());
  ASSERT_TRUE(part.prefetch({40, 2, 3, 20, 4, 21, 39}).ok());
  for (std::int64_t row : {2, 3, 4, 21, 39, 40}) {
    ASSERT_TRUE(part.getByPosition(row).ok()) << row;
    EXPECT_EQ(part.rec<PAR>().CONC, double(row));
    part.rec<PAR>().TPAG = double(row);
    ASSERT_TRUE(part.put().ok());
    // Read again from what was read ahead: as written.
    ASSERT_TRUE(part.getByPosition(row).ok());
    EXPECT_EQ(part.rec<PAR>().TPAG, double(row));
  }
  EXPECT_EQ(part.getByPosition(20).code, err::RecordNotFound);
  ASSERT_TRUE(part.getByPosition(3).ok());
  ASSERT_TRUE(part.remove().ok());
  EXPECT_EQ(part.getByPosition(3).code, err::RecordNotFound);
  ASSERT_TRUE(part.flush().ok());

  // A record read in an earlier transaction is checked again: another
  // station may have changed it in between.
  Context other(storage, 1);
  Table& theirs = other.table("PART");
  ASSERT_TRUE(theirs.open().ok());
  ASSERT_TRUE(part.stream().ok());
  ASSERT_TRUE(part.getByPosition(5).ok());
  ASSERT_TRUE(part.flush().ok());
  ASSERT_TRUE(theirs.getByPosition(5).ok());
  theirs.rec<PAR>().TEXT = "DE OTRA ESTACION";
  ASSERT_TRUE(theirs.put().ok());
  ASSERT_TRUE(part.stream().ok());
  part.rec<PAR>().TPAG = 1;
  EXPECT_EQ(part.put().code, err::RecordChanged);
  ASSERT_TRUE(part.flush().ok());

  // Inside one transaction, a write by another instance of the same file
  // (an alias) is seen: the record is read again before it is written.
  Table& alias = open("APAR");
  ASSERT_TRUE(ctx.begin({&part, &alias}).ok());
  ASSERT_TRUE(part.getByPosition(6).ok());
  ASSERT_TRUE(alias.getByPosition(6).ok());
  alias.rec<PAR>().TEXT = "ALIAS";
  ASSERT_TRUE(alias.put().ok());
  part.rec<PAR>().TPAG = 2;
  EXPECT_EQ(part.put().code, err::RecordChanged);
  ctx.rollback();
}

INSTANTIATE_TEST_SUITE_P(, Writes, ::testing::Values(test::BackEnd::Files, test::BackEnd::Server),
                         test::backEndName);

}  // namespace
}  // namespace velmora::db
