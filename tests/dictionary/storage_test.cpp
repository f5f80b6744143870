// Table files: where they are made, their encryption, and every kind of bad
// file a station may meet.

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/storage.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

namespace fs = std::filesystem;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string shell(const std::string& file, const std::string& sql) {
  std::string cmd = "printf '%s' \"" + sql + "\" | sqlcipher '" + file + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  pclose(p);
  return out;
}

class Files : public ::testing::Test {
 protected:
  const dict::TableInfo& part = *dict::findTable("PART");
  Table& placed(const char* label, const std::string& path) {
    storage.setFileName(*dict::findTable(label), path);
    return ctx.table(label);
  }
  // Writes a few PART records into a new file and closes it.
  std::string makePart(const std::string& name = "OBRA10.TPS") {
    std::string path = folder.file(name);
    Context c(storage);
    storage.setFileName(part, path);
    Table& t = c.table(part);
    EXPECT_TRUE(t.open().ok());
    for (int i = 1; i <= 3; ++i) {
      t.clear();
      t.rec<PAR>().CONC = i;
      t.rec<PAR>().TEXT = "PARTIDA " + std::to_string(i);
      EXPECT_TRUE(t.add().ok());
    }
    t.close();
    return path;
  }
  // Raw access to a file, as a tool of another office would have it.
  sqlite3* raw(const std::string& path, std::string_view password = "482719") {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string key = storage.rawKey(password, slurp(path).substr(0, 16));
    std::string sql =
        "PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=" + std::to_string(kPageSize);
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    schema::registerCollations(db);
    return db;
  }
  std::int64_t count(Table& t) {
    std::int64_t n = -1;
    EXPECT_TRUE(t.records(n).ok());
    return n;
  }

  test::TempFolder folder;
  Storage storage;
  Context ctx{storage};
};

TEST_F(Files, CreatedEncryptedAndReadableWithThePassword) {
  std::string path = makePart();
  std::string bytes = slurp(path);
  ASSERT_GT(bytes.size(), 1024u);
  EXPECT_EQ(bytes.find("SQLite format"), std::string::npos);
  EXPECT_EQ(bytes.find("PARTIDA"), std::string::npos);
  EXPECT_EQ(bytes.find("CREATE TABLE"), std::string::npos);
  EXPECT_EQ(bytes.substr(0, 16), Storage::saltFor("482719"));

  // The sqlcipher shell shows the records with the owner password.
  std::string out = shell(
      path,
      "PRAGMA key='482719'; PRAGMA cipher_page_size=4096; SELECT TEXT FROM PART ORDER BY CONC;");
  EXPECT_NE(out.find("PARTIDA 1\nPARTIDA 2\nPARTIDA 3"), std::string::npos) << out;
  out = shell(path, "PRAGMA key='000000'; PRAGMA cipher_page_size=4096; SELECT TEXT FROM PART;");
  EXPECT_EQ(out.find("PARTIDA"), std::string::npos);

  // Reopened: the columns carry the field names, arrays one per element.
  Table& t = placed("PART", path);
  ASSERT_TRUE(t.open().ok());
  EXPECT_EQ(count(t), 3);
  sqlite3* db = raw(path);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(
      sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type='table'", -1, &s, nullptr),
      SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  std::string ddl = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
  sqlite3_finalize(s);
  sqlite3_close(db);
  EXPECT_NE(ddl.find("\"CONC\" REAL NOT NULL,\"PROC\" INTEGER NOT NULL"), std::string::npos) << ddl;

  // A file without a name, or in a folder that is not there, is not made.
  Table& pers = placed("PERS", folder.file("nada/DATA7"));
  Status st = pers.open();
  EXPECT_EQ(st.code, err::PathNotFound);
  EXPECT_EQ(st.table, "PERS");
  EXPECT_FALSE(fs::exists(folder.file("nada")));
  storage.setFileName(*dict::findTable("PROP"), "");
  EXPECT_EQ(ctx.table("PROP").open().code, err::FileNotFound);

  // Program-folder tables get the driver's default extension.
  EXPECT_EQ(storage.fileName(*dict::findTable("OBRA")), "DATA1");
  EXPECT_EQ(withDefaultExtension("DATA1"), "DATA1.TPS");
  EXPECT_EQ(withDefaultExtension("c/OBRA.1/OBRA10"), "c/OBRA.1/OBRA10.TPS");
  EXPECT_EQ(withDefaultExtension("ENVIO3.DAT"), "ENVIO3.DAT");
}

TEST_F(Files, SharedFileAndAliasesReadTheSameRows) {
  std::string data3 = folder.file("DATA3");
  Table& coba = placed("COBA", data3);
  Table& cobt = placed("COBT", data3);
  ASSERT_TRUE(coba.open().ok());
  ASSERT_TRUE(cobt.open().ok());
  coba.rec<COB>().CTA = 1;
  coba.rec<COB>().TEXT = "CIMBRA";
  ASSERT_TRUE(coba.add().ok());
  cobt.rec<CBT>().CTA = 1;
  ASSERT_TRUE(cobt.get("CBT:CTA_KEY").ok());
  EXPECT_EQ(cobt.rec<CBT>().TEXT, "CIMBRA");

  // An alias over a copy of a work file reads it with its own prefix.
  std::string path = makePart();
  Table& apar = placed("APAR", path);
  ASSERT_TRUE(apar.open().ok());
  apar.rec<PAR>().CONC = 2;
  ASSERT_TRUE(apar.get("APAR:CTA_KEY").ok());
  EXPECT_EQ(std::get<std::string>(apar.buffer().get("APAR:TEXT")), "PARTIDA 2");
}

TEST_F(Files, WrongPasswordForeignAndDamagedFilesAreRefused) {
  std::string path = makePart();
  std::string good = slurp(path);

  // The accounting password on a work file: another key, unreadable.
  Table& cuen = placed("CUEN", path);
  Status st = cuen.open();
  EXPECT_EQ(st.code, err::InvalidDataFile);
  EXPECT_EQ(st.table, "CUEN");
  EXPECT_EQ(slurp(path), good);

  // Not a database at all.
  std::string junk = folder.file("JUNK.TPS");
  std::ofstream(junk) << std::string(8192, 'x');
  EXPECT_EQ(placed("PART", junk).open().code, err::InvalidDataFile);
  EXPECT_EQ(slurp(junk), std::string(8192, 'x'));

  // Emptied to zero bytes: damage like any other, never a new empty table.
  std::string empty = folder.file("EMPTY.TPS");
  std::ofstream(empty, std::ios::binary).flush();
  for (bool readOnly : {false, true}) {
    Table& e = placed("PART", empty);
    EXPECT_EQ((readOnly ? e.openReadOnly() : e.open()).code, err::InvalidDataFile);
  }
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);

  // Truncated: too short to be a file, or cut in the middle of its pages.
  std::string cut = folder.file("CUT.TPS");
  std::ofstream(cut, std::ios::binary) << good.substr(0, 100);
  EXPECT_EQ(placed("PART", cut).open().code, err::InvalidDataFile);
  std::ofstream(cut, std::ios::binary) << good.substr(0, good.size() / 2 + 3);
  Context c2(storage);
  storage.setFileName(part, cut);
  Status half = c2.table(part).open();
  if (half) {
    std::int64_t n;
    EXPECT_FALSE(c2.table(part).records(n).ok() && n == 3);
  } else {
    EXPECT_EQ(half.code, err::InvalidDataFile);
  }

  // Garbled: bytes of a page overwritten.
  std::string garbled = folder.file("GARBLED.TPS");
  std::string bad = good;
  for (std::size_t i = 4096 + 100; i < 4096 + 300; ++i) bad[i] = char(bad[i] ^ 0x5A);
  std::ofstream(garbled, std::ios::binary) << bad;
  Context c3(storage);
  storage.setFileName(part, garbled);
  Table& g = c3.table(part);
  st = g.open();
  if (st) {
    g.setStart(g.info().key("PAR:CTA_KEY"));
    Status read;
    while ((read = g.next()).ok()) {
    }
    EXPECT_NE(read.code, err::NoRecord) << "damage must be reported, not read as the end";
    EXPECT_EQ(read.code, err::InvalidDataFile);
  } else {
    EXPECT_EQ(st.code, err::InvalidDataFile);
  }

  // A file of another table's layout.
  std::string contPath = folder.file("OBRA12.TPS");
  Table& cont = placed("CONT", contPath);
  ASSERT_TRUE(cont.open().ok());
  cont.close();
  st = placed("PART", contPath).open();
  EXPECT_EQ(st.code, err::InvalidRecord);
  EXPECT_NE(st.text.find("CONT"), std::string::npos) << st.text;
}

// A new file is made under a name of its own and linked into place with its
// table in it: nothing is left beside it, and what a station killed while
// making one left behind does not disturb the next.
TEST_F(Files, ANewFileAppearsWholeAndLeavesNothingBeside) {
  std::ofstream(folder.file("NUEVO.TPS.nuevo-999999-0"), std::ios::binary).flush();
  Table& t = placed("PART", folder.file("NUEVO.TPS"));
  ASSERT_TRUE(t.open().ok());
  t.rec<PAR>().CONC = 1;
  ASSERT_TRUE(t.add().ok());
  t.close();
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder.path()))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"NUEVO.TPS", "NUEVO.TPS.nuevo-999999-0"}));
  EXPECT_GE(std::filesystem::file_size(folder.file("NUEVO.TPS")), 4096u);
  ASSERT_TRUE(t.open().ok());
  EXPECT_EQ(count(t), 1);
}

TEST_F(Files, SchemaObjectsOfAFileItselfAreRefused) {
  const char* objects[] = {
      "CREATE TRIGGER t AFTER INSERT ON PART BEGIN DELETE FROM PART; END",
      "CREATE VIEW v AS SELECT * FROM PART",
      "CREATE TABLE EXTRA(a)",
      "CREATE INDEX \"PAR:OTRA\" ON PART(UNID)",
      "CREATE VIRTUAL TABLE vt USING fts3(a)",
  };
  int i = 0;
  for (const char* sql : objects) {
    std::string path = makePart("F" + std::to_string(i++) + ".TPS");
    sqlite3* db = raw(path);
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK) continue;  // a module this engine lacks cannot be planted
    Context c(storage);
    storage.setFileName(part, path);
    Table& t = c.table(part);
    Status st = t.open();
    EXPECT_EQ(st.code, err::InvalidDataFile) << sql;
    EXPECT_NE(st.text.find("ajenos"), std::string::npos) << st.text;
    EXPECT_FALSE(t.isOpen());
  }

  // A changed column list is a layout mismatch.
  std::string path = folder.file("ALTERED.TPS");
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::string key = storage.rawKey("482719", Storage::saltFor("482719"));
  sqlite3_exec(
      db,
      ("PRAGMA key=\"" + key + "\";PRAGMA cipher_page_size=4096;CREATE TABLE PART(CONC REAL)")
          .c_str(),
      nullptr, nullptr, nullptr);
  sqlite3_close(db);
  Context c(storage);
  storage.setFileName(part, path);
  EXPECT_EQ(c.table(part).open().code, err::InvalidRecord);
}

TEST_F(Files, MissingKeysAreReportedThenRebuilt) {
  std::string path = makePart();
  sqlite3* db = raw(path);
  ASSERT_EQ(sqlite3_exec(db, "DROP INDEX \"PAR:TEX_KEY\"", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  Table& t = placed("PART", path);
  EXPECT_EQ(t.open().code, err::KeysNeedRebuilding);
  ASSERT_TRUE(t.openForRebuild().ok());
  t.close();
  ASSERT_TRUE(t.open().ok());
  t.rec<PAR>().TEXT = "partida 2";
  EXPECT_TRUE(t.get("PAR:TEX_KEY").ok());
  ASSERT_TRUE(t.buildKeys().ok());
  EXPECT_EQ(count(t), 3);
}

// A key built by a program whose collation of the same name orders
// differently is out of order for us: the rebuild must make it again.
TEST_F(Files, RebuildRemakesKeysBuiltUnderAnotherCollation) {
  std::string path = makePart();
  sqlite3* db = raw(path);
  auto reversed = [](void*, int na, const void* a, int nb, const void* b) {
    return -schema::compareNoCase({static_cast<const char*>(a), std::size_t(na)},
                                  {static_cast<const char*>(b), std::size_t(nb)});
  };
  sqlite3_create_collation(db, schema::kNoCase, SQLITE_UTF8, nullptr, reversed);
  ASSERT_EQ(sqlite3_exec(db, "REINDEX", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  auto integrity = [&] {
    sqlite3* check = raw(path);
    std::string out;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(check, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK)
      while (sqlite3_step(s) == SQLITE_ROW)
        out += reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    sqlite3_close(check);
    return out;
  };
  EXPECT_NE(integrity(), "ok");
  Table& t = placed("PART", path);
  ASSERT_TRUE(t.openForRebuild().ok());
  t.close();
  EXPECT_EQ(integrity(), "ok");
  ASSERT_TRUE(t.open().ok());
  t.rec<PAR>().TEXT = "partida 2";
  EXPECT_TRUE(t.get("PAR:TEX_KEY").ok());
}

// Folded Windows-1252 order, whatever path the comparison takes: plain
// ASCII, accented letters, long texts and bytes that are not UTF-8.
TEST(NoCase, OrderOfFoldedTexts) {
  using schema::compareNoCase;
  auto sign = [](int c) { return (c > 0) - (c < 0); };
  EXPECT_EQ(compareNoCase("partida", "PARTIDA"), 0);
  EXPECT_LT(compareNoCase("abc", "ABD"), 0);
  EXPECT_GT(compareNoCase("b", "A"), 0);
  EXPECT_LT(compareNoCase("abc", "ABCD"), 0);
  EXPECT_EQ(compareNoCase("", ""), 0);
  EXPECT_EQ(compareNoCase("ñandú", "ÑANDÚ"), 0);
  EXPECT_EQ(compareNoCase("ŠŒŽŸ", "šœžÿ"), 0);
  EXPECT_GT(compareNoCase("ÑA", "NZ"), 0);  // Ñ (0xD1) after every ASCII letter
  EXPECT_LT(compareNoCase("zzz", "Á"), 0);
  EXPECT_NE(compareNoCase("ß", "SS"), 0);
  // Past the first eight bytes, and past the stack buffer.
  EXPECT_EQ(compareNoCase("CAPÍTULO de cimentación", "capítulo DE CIMENTACIÓN"), 0);
  std::string longA(300, 'a'), longB(300, 'A');
  EXPECT_EQ(compareNoCase(longA, longB), 0);
  EXPECT_GT(compareNoCase(longA + "é", longB + "F"), 0);
  // Not UTF-8: raw bytes, so a damaged text still sorts the same way each time.
  EXPECT_EQ(sign(compareNoCase("a\xff", "A\xff")), sign(std::string("a\xff").compare("A\xff")));
  EXPECT_GT(compareNoCase("a\xff", "B"), 0);
  EXPECT_LT(compareNoCase("B", "a\xff"), 0);
  // A total order over texts we store: antisymmetric and transitive.
  std::vector<std::string> texts = {"a",  "B", "á", "Á", "b", "Ñ",  "n",   "o",
                                    "zz", "Z", "",  "ÿ", "Ÿ", "12", "1 2", "ABC"};
  for (const auto& x : texts)
    for (const auto& y : texts) {
      EXPECT_EQ(sign(compareNoCase(x, y)), -sign(compareNoCase(y, x))) << x << " " << y;
      for (const auto& z : texts)
        if (compareNoCase(x, y) <= 0 && compareNoCase(y, z) <= 0) {
          EXPECT_LE(compareNoCase(x, z), 0) << x << " " << y << " " << z;
        }
    }
}

TEST_F(Files, ReadOnlyFileOrFolderAndRefusedCharacters) {
  std::string path = makePart();
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Status st = placed("PART", path).open();
  EXPECT_EQ(st.code, err::AccessDenied);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);

  fs::create_directories(folder.file("ro"));
  std::string inRo = folder.file("ro/OBRA10.TPS");
  fs::copy_file(path, inRo);
  fs::permissions(folder.file("ro"),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Context c(storage);
  storage.setFileName(part, inRo);
  EXPECT_EQ(c.table(part).open().code, err::AccessDenied);
  fs::permissions(folder.file("ro"), fs::perms::owner_write, fs::perm_options::add);

  // A text with a character outside Windows-1252 is refused; nothing is written.
  Context w(storage);
  storage.setFileName(part, path);
  Table& t = w.table(part);
  ASSERT_TRUE(t.open().ok());
  t.clear();
  t.rec<PAR>().CONC = 9;
  t.rec<PAR>().TEXT = "MURO 🧱";
  st = t.add();
  EXPECT_EQ(st.code, err::ValueRefused);
  EXPECT_NE(st.text.find("PAR:TEXT"), std::string::npos);
  EXPECT_EQ(count(t), 3);
  t.rec<PAR>().CONC = 1;
  ASSERT_TRUE(t.get("PAR:CTA_KEY").ok());
  t.rec<PAR>().TEXT = "漢字";
  EXPECT_EQ(t.put().code, err::ValueRefused);
  ASSERT_TRUE(t.get("PAR:CTA_KEY").ok());
  EXPECT_EQ(t.rec<PAR>().TEXT, "PARTIDA 1");
  // Texts longer than the field are cut as they are stored.
  t.rec<PAR>().TEXT = std::string(40, 'L');
  ASSERT_TRUE(t.put().ok());
  EXPECT_EQ(t.rec<PAR>().TEXT, std::string(30, 'L'));
  ASSERT_TRUE(t.put().ok()) << "the stored image must match what was written";
}

// Texts written by another program: cut to the field's width in characters,
// plain or accented; one the field cannot hold is refused, not read.
TEST_F(Files, ForeignTextsAreCutOrRefusedOnReading) {
  std::string path = makePart();
  auto write = [&](int conc, const std::string& text) {
    sqlite3* db = raw(path);
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE PART SET TEXT=? WHERE CONC=?", -1, &s, nullptr),
              SQLITE_OK);
    sqlite3_bind_text(s, 1, text.data(), int(text.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 2, conc);
    EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
    sqlite3_close(db);
  };
  std::string accented;
  for (int i = 0; i < 35; ++i) accented += "ñ";
  write(1, std::string(40, 'L'));
  write(2, accented);
  Table& t = placed("PART", path);
  ASSERT_TRUE(t.open().ok());
  ASSERT_TRUE(t.setStart(t.info().key("PAR:CTA_KEY")).ok());
  ASSERT_TRUE(t.next().ok());
  EXPECT_EQ(t.rec<PAR>().TEXT, std::string(30, 'L'));
  ASSERT_TRUE(t.next().ok());
  EXPECT_EQ(t.rec<PAR>().TEXT, accented.substr(0, 60));  // 30 two-byte characters
  t.close();
  write(3, "mal \xff");
  ASSERT_TRUE(t.open().ok());
  ASSERT_TRUE(t.setStart(t.info().key("PAR:CTA_KEY")).ok());
  Status st;
  while ((st = t.next()).ok()) {
  }
  EXPECT_EQ(st.code, err::InvalidDataFile);
}

TEST_F(Files, ErrorsCarryCodesAndTexts) {
  EXPECT_EQ(errorText(err::RecordNotFound), "Registro no encontrado");
  EXPECT_EQ(errorText(err::DuplicateKey), "Crea llave duplicada");
  Table& t = placed("PART", folder.file("OBRA10.TPS"));
  EXPECT_EQ(t.next().code, err::FileNotOpen);
  ASSERT_TRUE(t.open().ok());
  EXPECT_EQ(t.put().code, err::NoRecord);
  t.rec<PAR>().CONC = 99;
  Status st = t.get("PAR:CTA_KEY");
  EXPECT_EQ(st.code, err::RecordNotFound);
  EXPECT_EQ(st.text, "Registro no encontrado");
  EXPECT_EQ(st.table, "PART");
  EXPECT_EQ(t.getByPosition(12345).code, err::RecordNotFound);
  EXPECT_EQ(t.removeByPosition(12345).code, err::RecordNotFound);
}

}  // namespace
}  // namespace velmora::db
