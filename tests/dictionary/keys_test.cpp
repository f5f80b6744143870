// Keys on real table files: uniqueness, letter case, left-out records,
// order, reading in key order while writing, and automatic numbering.

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "dictionary/storage.h"
#include "tests/support/back_end.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

class Keys : public ::testing::TestWithParam<test::BackEnd> {
 protected:
  void SetUp() override {
    if (GetParam() == test::BackEnd::Server) server.use(storage, folder.path().string());
    for (const char* label : {"PART", "PROV", "DPOL", "MAQU", "CONT", "OBRA"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
  }
  void TearDown() override { test::expectNoFilesOnServer(GetParam(), folder.path()); }
  Table& open(const char* label) {
    Table& t = ctx.table(label);
    Status st = t.open();
    EXPECT_TRUE(st.ok()) << st.text;
    return t;
  }
  void addPart(Table& t, double conc, int proc, int fren, const char* text, int cont = 0) {
    t.clear();
    auto& p = t.rec<PAR>();
    p.CONC = conc;
    p.PROC = proc;
    p.FREN = fren;
    p.TEXT = text;
    p.CONT = std::int16_t(cont);
    Status st = t.add();
    ASSERT_TRUE(st.ok()) << st.text;
  }
  // Every record in a key's order, as "value" strings of one field.
  std::vector<std::string> walk(Table& t, const char* key, const char* field,
                                bool backwards = false) {
    std::vector<std::string> out;
    EXPECT_TRUE(t.setStart(t.info().key(key)).ok());
    while ((backwards ? t.previous() : t.next()).ok()) out.push_back(toText(t.buffer().get(field)));
    return out;
  }

  test::ServerDatabase server;
  test::TempFolder folder;
  Storage storage;
  Context ctx{storage};
};

TEST_P(Keys, UniqueKeysRefuseDuplicatesAndNameTheKey) {
  Table& part = open("PART");
  addPart(part, 12.01, 1, 1, "EXCAVACION");
  addPart(part, 12.01, 1, 2, "EXCAVACION");  // same concept, other front
  addPart(part, 12.01, 2, 1, "EXCAVACION");  // same concept, other process
  part.clear();
  part.rec<PAR>().CONC = 12.01;
  part.rec<PAR>().PROC = 1;
  part.rec<PAR>().FREN = 1;
  Status st = part.add();
  EXPECT_EQ(st.code, err::DuplicateKey);
  EXPECT_EQ(st.key, "PAR:CTA_KEY");
  EXPECT_EQ(st.table, "PART");
  std::int64_t n = 0;
  ASSERT_TRUE(part.records(n).ok());
  EXPECT_EQ(n, 3);

  // A change that would collide is refused too, and the record keeps its values.
  part.clear();
  part.rec<PAR>().CONC = 12.01;
  part.rec<PAR>().PROC = 2;
  part.rec<PAR>().FREN = 1;
  ASSERT_TRUE(part.get("PAR:CTA_KEY").ok());
  part.rec<PAR>().PROC = 1;
  EXPECT_EQ(part.put().code, err::DuplicateKey);
  part.rec<PAR>().PROC = 2;
  ASSERT_TRUE(part.get("PAR:CTA_KEY").ok());

  // Two contractors may not share a name; two suppliers may not share an RFC
  // that differs only in letter case, Ñ and É included.
  Table& cont = open("CONT");
  cont.rec<CTR>().CTA = 1;
  cont.rec<CTR>().NOMB = "JUAN PEREZ";
  ASSERT_TRUE(cont.add().ok());
  cont.rec<CTR>().CTA = 2;
  EXPECT_EQ(cont.add().key, "CTR:NOM_KEY");
  Table& prov = open("PROV");
  prov.rec<PRV>().CTA = 1;
  prov.rec<PRV>().NOMB = "UNO";
  prov.rec<PRV>().RFC = "PEÑE800101É";
  ASSERT_TRUE(prov.add().ok());
  prov.rec<PRV>().CTA = 2;
  prov.rec<PRV>().NOMB = "DOS";
  prov.rec<PRV>().RFC = "peñe800101é";
  EXPECT_EQ(prov.add().key, "PRV:RFC_KEY");
  prov.rec<PRV>().RFC = "PENE800101E";
  EXPECT_TRUE(prov.add().ok()) << "Ñ is not N";
}

TEST_P(Keys, CaseInsensitiveKeysFoldEveryLetterAndFindAnyCase) {
  Table& part = open("PART");
  addPart(part, 1, 0, 0, "ñandú");
  addPart(part, 2, 0, 0, "Zanja");
  addPart(part, 3, 0, 0, "árbol");
  addPart(part, 4, 0, 0, "ÉPOCA");
  addPart(part, 5, 0, 0, "NANDU");
  // Windows-1252 order with letters folded: N < Z < É(0xC9) < Ñ(0xD1) ... Á(0xC1) first.
  EXPECT_EQ(walk(part, "PAR:TEX_KEY", "PAR:TEXT"),
            (std::vector<std::string>{"NANDU", "Zanja", "árbol", "ÉPOCA", "ñandú"}));
  part.clear();
  part.rec<PAR>().TEXT = "ÑANDÚ";
  ASSERT_TRUE(part.get("PAR:TEX_KEY").ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 1);
  part.clear();
  part.rec<PAR>().TEXT = "época";
  ASSERT_TRUE(part.get("PAR:TEX_KEY").ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 4);
  // PAR:DES_KEY is case-sensitive: "zanja" is not there.
  part.clear();
  part.rec<PAR>().TEXT = "zanja";
  EXPECT_EQ(part.get("PAR:DES_KEY").code, err::RecordNotFound);
}

TEST_P(Keys, BlankOrZeroRecordsAreLeftOutOfTheirKeyOnly) {
  Table& part = open("PART");
  addPart(part, 1, 0, 0, "B");
  addPart(part, 2, 0, 0, "");  // not in PAR:TEX_KEY
  addPart(part, 3, 0, 0, "A");
  EXPECT_EQ(walk(part, "PAR:TEX_KEY", "PAR:CONC"), (std::vector<std::string>{"3", "1"}));
  EXPECT_EQ(walk(part, "PAR:CTA_KEY", "PAR:CONC"), (std::vector<std::string>{"1", "2", "3"}));
  part.clear();
  EXPECT_EQ(part.get("PAR:TEX_KEY").code, err::RecordNotFound);  // a blank value is never found
  part.rec<PAR>().CONC = 2;
  ASSERT_TRUE(part.get("PAR:CTA_KEY").ok());
  EXPECT_EQ(part.rec<PAR>().TEXT, "");

  // A unique key that leaves blanks out takes any number of them.
  Table& obra = open("OBRA");
  for (int i = 0; i < 3; ++i) {
    obra.clear();
    ASSERT_TRUE(obra.add().ok());
  }
  obra.rec<OBR>().CTA = "OB1";
  ASSERT_TRUE(obra.add().ok());
  EXPECT_EQ(obra.add().code, err::DuplicateKey);
}

TEST_P(Keys, ComponentsCompareInOrderAndTiesKeepRecordOrder) {
  Table& part = open("PART");
  addPart(part, 5, 1, 1, "x", 2);
  addPart(part, 1, 1, 1, "y", 1);
  addPart(part, 3, 1, 1, "b", 2);
  addPart(part, 2, 1, 1, "y", 1);
  addPart(part, 4, 1, 1, "a", 2);
  // PAR:DES_KEY: contractor, then text; equal pairs in the order they were added.
  EXPECT_EQ(walk(part, "PAR:DES_KEY", "PAR:CONC"),
            (std::vector<std::string>{"1", "2", "4", "3", "5"}));
  EXPECT_EQ(walk(part, "PAR:DES_KEY", "PAR:CONC", true),
            (std::vector<std::string>{"5", "3", "4", "2", "1"}));

  Table& dpol = open("DPOL");
  for (int i = 0; i < 30; ++i) {
    dpol.clear();
    dpol.rec<DPO>().CTA = std::int16_t(i % 3);
    dpol.rec<DPO>().PART = i;
    ASSERT_TRUE(dpol.add().ok());
  }
  // Positioned on a value: next reads from the first equal record, previous
  // from the last equal one; ties in record order both ways.
  dpol.clear();
  dpol.rec<DPO>().CTA = 1;
  ASSERT_TRUE(dpol.set(dpol.info().key("DPO:CTA_KEY")).ok());
  std::vector<double> seen;
  while (dpol.next().ok() && dpol.rec<DPO>().CTA == 1) seen.push_back(dpol.rec<DPO>().PART);
  ASSERT_EQ(seen.size(), 10u);
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], 1 + 3.0 * double(i));
  dpol.clear();
  dpol.rec<DPO>().CTA = 1;
  ASSERT_TRUE(dpol.set(dpol.info().key("DPO:CTA_KEY")).ok());
  ASSERT_TRUE(dpol.previous().ok());
  EXPECT_EQ(dpol.rec<DPO>().PART, 28);
  ASSERT_TRUE(dpol.previous().ok());
  EXPECT_EQ(dpol.rec<DPO>().PART, 25);
  // Turning round reads the other neighbour of the current record.
  ASSERT_TRUE(dpol.next().ok());
  EXPECT_EQ(dpol.rec<DPO>().PART, 28);
  // At the ends: 33, record not available.
  ASSERT_TRUE(dpol.setStart(dpol.info().key("DPO:CTA_KEY")).ok());
  ASSERT_TRUE(dpol.previous().ok());
  EXPECT_EQ(dpol.rec<DPO>().PART, 29);
  ASSERT_TRUE(dpol.setStart(nullptr).ok());
  int n = 0;
  while (dpol.next().ok()) ++n;
  EXPECT_EQ(n, 30);
  EXPECT_EQ(dpol.next().code, err::NoRecord);
}

TEST_P(Keys, PositionOnLeadingComponentsOrNextToARecord) {
  Table& part = open("PART");
  addPart(part, 1, 0, 0, "C", 1);
  addPart(part, 2, 0, 0, "B", 2);
  addPart(part, 3, 0, 0, "A", 2);
  addPart(part, 4, 0, 0, "Z", 3);
  addPart(part, 5, 0, 0, "A", 2);
  const auto* des = part.info().key("PAR:DES_KEY");  // contractor, text
  part.clear();
  part.rec<PAR>().CONT = 2;
  part.rec<PAR>().TEXT = "ZZZ";  // ignored: only the contractor counts
  ASSERT_TRUE(part.set(des, 1).ok());
  ASSERT_TRUE(part.next().ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 3);  // (2, "A") first, ties in record order
  part.clear();
  part.rec<PAR>().CONT = 2;
  ASSERT_TRUE(part.set(des, 1).ok());
  ASSERT_TRUE(part.previous().ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 2);  // the last of contractor 2: (2, "B")
  // Next to a record: its neighbours in the key, whatever the buffer holds.
  part.clear();
  part.rec<PAR>().CONC = 3;
  ASSERT_TRUE(part.get("PAR:CTA_KEY").ok());
  std::int64_t third = part.position();
  part.clear();
  ASSERT_TRUE(part.setAfter(des, third).ok());
  ASSERT_TRUE(part.next().ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 5);
  ASSERT_TRUE(part.setAfter(des, third).ok());
  ASSERT_TRUE(part.previous().ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 1);
  EXPECT_EQ(part.setAfter(des, 999).code, err::RecordNotFound);
}

TEST_P(Keys, ReadingInKeyOrderWhileWritingTheSameTable) {
  Table& dpol = open("DPOL");
  for (int i = 1; i <= 600; ++i) {
    dpol.clear();
    dpol.rec<DPO>().CTA = std::int16_t(i);
    ASSERT_TRUE(dpol.add().ok());
  }
  // Delete every even record and renumber every odd one past the end, as the
  // audit does: every original record is seen exactly once.
  ASSERT_TRUE(dpol.setStart(dpol.info().key("DPO:CTA_KEY")).ok());
  int visited = 0;
  while (dpol.next().ok()) {
    auto& d = dpol.rec<DPO>();
    if (d.CTA > 600) break;
    ++visited;
    if (d.CTA % 2 == 0) {
      ASSERT_TRUE(dpol.remove().ok());
    } else {
      d.TACT = d.CTA;
      d.CTA = std::int16_t(d.CTA + 1000);
      ASSERT_TRUE(dpol.put().ok());
    }
  }
  EXPECT_EQ(visited, 600);
  std::int64_t n = 0;
  ASSERT_TRUE(dpol.records(n).ok());
  EXPECT_EQ(n, 300);
}

TEST_P(Keys, AutomaticNumbersAreHeldWithoutARecordAndOutliveNoStation) {
  Table& maq = open("MAQU");
  const auto& key = *maq.info().key("MAQ:CTA_KEY");  // MAQ:CTA, MAQ:FREN numbered
  auto reserve = [&](Table& t, int cta, std::int64_t& held) {
    t.clear();
    t.rec<MAQ>().CTA = std::int16_t(cta);
    Status st = t.reserveAutoNumber(key, held);
    EXPECT_TRUE(st.ok()) << st.text;
    return int(t.rec<MAQ>().FREN);
  };
  auto records = [&] {
    std::int64_t n = -1;
    EXPECT_TRUE(maq.records(n).ok());
    return n;
  };
  std::int64_t first = 0, second = 0, other = 0;
  EXPECT_EQ(reserve(maq, 7, first), 1);
  EXPECT_EQ(reserve(maq, 7, second), 2);  // the first is still held
  EXPECT_EQ(reserve(maq, 8, other), 1);   // other leading value: its own count
  EXPECT_EQ(records(), 0);                // nobody sees a record not yet saved
  // Saving the second; the first and the other are given back.
  maq.clear();
  maq.rec<MAQ>().CTA = 7, maq.rec<MAQ>().FREN = 2, maq.rec<MAQ>().DESC = "RETROEXCAVADORA";
  ASSERT_TRUE(maq.add().ok());
  for (std::int64_t held : {first, second, other}) ASSERT_TRUE(maq.releaseReservation(held).ok());
  EXPECT_EQ(reserve(maq, 7, first), 3);
  ASSERT_TRUE(maq.releaseReservation(first).ok());

  // Another station holding a number, then killed with its form open.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Storage theirs;
    if (!server.connection().empty()) theirs.setServer(server.connection(), folder.path().string());
    theirs.setFileName(*dict::findTable("MAQU"), folder.file("MAQU.TPS"));
    Context c{theirs};
    Table& t = c.table("MAQU");
    std::int64_t held = 0;
    char n = t.open() ? char(reserve(t, 7, held)) : 0;
    (void)!write(fds[1], &n, 1);
    pause();
    _exit(0);
  }
  close(fds[1]);
  char theirs = 0;
  ASSERT_EQ(read(fds[0], &theirs, 1), 1);
  close(fds[0]);
  EXPECT_EQ(theirs, 3);
  EXPECT_EQ(reserve(maq, 7, first), 4);  // theirs is held while they live
  ASSERT_TRUE(maq.releaseReservation(first).ok());
  EXPECT_EQ(records(), 1);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  // A stopped station holds nothing. The server ends a dead station's session a
  // moment after its process is gone, not at once: wait for that, within reason.
  int after = 0;
  for (int tries = 0; tries < 100; ++tries) {
    after = reserve(maq, 7, first);
    if (after == 3) break;
    ASSERT_TRUE(maq.releaseReservation(first).ok());
    usleep(50'000);
  }
  EXPECT_EQ(after, 3);
  EXPECT_EQ(records(), 1);

  // The side table of reservations does not make the file foreign.
  maq.close();
  if (GetParam() == test::BackEnd::Files) {
    const dict::TableInfo* found = nullptr;
    ASSERT_TRUE(Table::identify(storage, folder.file("MAQU.TPS"), found).ok());
    EXPECT_EQ(found->label, std::string_view("MAQU"));
  }
  Context again{storage};
  EXPECT_TRUE(again.table("MAQU").open().ok());

  // A SHORT number that would overflow is refused, not wrapped.
  Table& cont = open("CONT");
  cont.rec<CTR>().CTA = 32767;
  cont.rec<CTR>().NOMB = "ULTIMO";
  ASSERT_TRUE(cont.add().ok());
  cont.clear();
  std::int64_t held = 0;
  EXPECT_EQ(cont.reserveAutoNumber(*cont.info().key("CTR:CTA_KEY"), held).code, err::ValueRefused);
  EXPECT_EQ(held, 0);
}

INSTANTIATE_TEST_SUITE_P(, Keys, ::testing::Values(test::BackEnd::Files, test::BackEnd::Server),
                         test::backEndName);

}  // namespace
}  // namespace velmora::db
