// Transactions across files, the relation rules, and several stations (real
// processes) sharing one file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "dictionary/storage.h"
#include "tests/support/back_end.h"
#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

class Shared : public ::testing::TestWithParam<test::BackEnd> {
 protected:
  void SetUp() override {
    if (GetParam() == test::BackEnd::Server) server.use(storage, folder.path().string());
    name(storage);
  }
  void TearDown() override { test::expectNoFilesOnServer(GetParam(), folder.path()); }
  // Every station computes the same file names, on the same back end.
  void name(Storage& s) {
    if (&s != &storage && !server.connection().empty())
      s.setServer(server.connection(), folder.path().string());
    for (const auto& t : dict::tables())
      if (t.kind == dict::Kind::Table) s.setFileName(t, folder.file(std::string(t.label) + ".TPS"));
  }
  Table& open(Context& c, const char* label) {
    Table& t = c.table(label);
    Status st = t.open();
    EXPECT_TRUE(st.ok()) << st.text;
    return t;
  }
  std::int64_t count(const char* label) {
    Context c(storage);
    Table& t = open(c, label);
    std::int64_t n = -1;
    EXPECT_TRUE(t.records(n).ok());
    return n;
  }

  test::ServerDatabase server;
  test::TempFolder folder;
  Storage storage;
  Context ctx{storage};
};

// Runs `body` in a child process (a second station) and returns its pid. The
// child reports through `ready` when it reaches the point the test waits for.
template <class Body>
pid_t station(int& readyFd, Body body) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    int code = body(fds[1]);
    _exit(code);  // no destructors of the parent's objects
  }
  close(fds[1]);
  readyFd = fds[0];
  return pid;
}

void signalReady(int fd) {
  char c = 1;
  (void)!write(fd, &c, 1);
}

bool waitReady(int fd) {
  char c;
  bool ok = read(fd, &c, 1) == 1;
  close(fd);
  return ok;
}

int exitCode(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What only table files have: a journal beside the file.
class SharedFiles : public Shared {};

TEST_P(Shared, TransactionOverSeveralFilesCommitsAllOrNothing) {
  Table& poli = open(ctx, "POLI");
  Table& dpol = open(ctx, "DPOL");
  Table& part = open(ctx, "PART");
  part.rec<PAR>().CONC = 1;
  part.rec<PAR>().TEXT = "MURO";
  ASSERT_TRUE(part.add().ok());

  ASSERT_TRUE(ctx.begin({&poli, &dpol, &part}).ok());
  poli.rec<POL>().CTA = 1;
  ASSERT_TRUE(poli.add().ok());
  dpol.rec<DPO>().CTA = 1;
  ASSERT_TRUE(dpol.add().ok());
  part.rec<PAR>().TPAG = 500;
  ASSERT_TRUE(part.put().ok());
  // Inside the transaction the writes are visible to this context only.
  EXPECT_EQ(count("POLI"), 0);
  ASSERT_TRUE(ctx.commit().ok());
  EXPECT_EQ(count("POLI"), 1);
  EXPECT_EQ(count("DPOL"), 1);

  // A failure half way: the duplicate folio is refused and the rollback takes
  // the earlier writes back.
  ASSERT_TRUE(ctx.begin({&poli, &dpol, &part}).ok());
  dpol.clear();
  dpol.rec<DPO>().CTA = 2;
  ASSERT_TRUE(dpol.add().ok());
  part.clear();
  part.rec<PAR>().CONC = 1;
  ASSERT_TRUE(part.get("PAR:CTA_KEY").ok());
  part.rec<PAR>().TPAG = 900;
  ASSERT_TRUE(part.put().ok());
  poli.clear();
  poli.rec<POL>().CTA = 1;
  EXPECT_EQ(poli.add().code, err::DuplicateKey);
  ctx.rollback();
  EXPECT_EQ(count("DPOL"), 1);
  part.clear();
  part.rec<PAR>().CONC = 1;
  ASSERT_TRUE(part.get("PAR:CTA_KEY").ok());
  EXPECT_EQ(part.rec<PAR>().TPAG, 500);

  // Tables must be open, and transactions do not nest.
  Table& cont = ctx.table("CONT");
  EXPECT_EQ(ctx.begin({&poli, &cont}).code, err::FileNotOpen);
  ASSERT_TRUE(ctx.begin({&poli}).ok());
  EXPECT_EQ(ctx.begin({&dpol}).code, err::TransactionRefused);
  ctx.rollback();
}

TEST_P(Shared, CascadeDeleteAndUpdateAndProcedureRule) {
  Table& esti = open(ctx, "ESTI");
  Table& dest = open(ctx, "DEST");
  for (int e : {1, 2}) {
    esti.clear();
    esti.rec<EST>().CTA = std::int16_t(e);
    ASSERT_TRUE(esti.add().ok());
    for (int p : {10, 11}) {
      dest.clear();
      dest.rec<DES>().CTA = e;
      dest.rec<DES>().PART = p;
      ASSERT_TRUE(dest.add().ok());
    }
  }
  RelationManager relations(ctx);
  // Changing EST:CTA renumbers its DEST records.
  esti.clear();
  esti.rec<EST>().CTA = 1;
  ASSERT_TRUE(esti.get("EST:CTA_KEY").ok());
  esti.rec<EST>().CTA = 5;
  Status st = relations.put(esti);
  ASSERT_TRUE(st.ok()) << st.text;
  dest.clear();
  dest.rec<DES>().CTA = 5;
  dest.rec<DES>().PART = 11;
  EXPECT_TRUE(dest.get("DES:CTA_KEY").ok());
  dest.rec<DES>().CTA = 1;
  EXPECT_EQ(dest.get("DES:CTA_KEY").code, err::RecordNotFound);

  // Deleting an ESTI record deletes its DEST records, and only those.
  esti.clear();
  esti.rec<EST>().CTA = 5;
  ASSERT_TRUE(esti.get("EST:CTA_KEY").ok());
  ASSERT_TRUE(relations.remove(esti).ok());
  EXPECT_EQ(count("ESTI"), 1);
  EXPECT_EQ(count("DEST"), 2);

  // POLI and DPOL: the procedures keep that relation; the lines stay.
  Table& poli = open(ctx, "POLI");
  Table& dpol = open(ctx, "DPOL");
  poli.rec<POL>().CTA = 3;
  ASSERT_TRUE(poli.add().ok());
  dpol.rec<DPO>().CTA = 3;
  ASSERT_TRUE(dpol.add().ok());
  ASSERT_TRUE(relations.remove(poli).ok());
  EXPECT_EQ(count("POLI"), 0);
  EXPECT_EQ(count("DPOL"), 1);

  // COBR (LONG) to INOB (DECIMAL): the linked values meet across types.
  Table& cobr = open(ctx, "COBR");
  Table& inob = open(ctx, "INOB");
  cobr.rec<COO>().CTA = 7;
  ASSERT_TRUE(cobr.add().ok());
  for (long cents : {700, 700, 800}) {
    inob.clear();
    inob.rec<INO>().CTA = Decimal::fromCents(cents);
    ASSERT_TRUE(inob.add().ok());
  }
  ASSERT_TRUE(relations.remove(cobr).ok());
  EXPECT_EQ(count("INOB"), 1);
}

TEST_P(Shared, RestrictRefusesAndChangesNothing) {
  Table& agen = open(ctx, "AGEN");
  Table& page = open(ctx, "PAGE");
  agen.rec<AGE>().CTA = 1;
  ASSERT_TRUE(agen.add().ok());
  agen.rec<AGE>().CTA = 2;
  ASSERT_TRUE(agen.add().ok());
  page.rec<PGE>().FOLIO = 1;
  page.rec<PGE>().AGEN = 1;
  ASSERT_TRUE(page.add().ok());
  RelationManager relations(ctx);
  agen.clear();
  agen.rec<AGE>().CTA = 1;
  ASSERT_TRUE(agen.get("AGE:CTA_KEY").ok());
  Status st = relations.remove(agen);
  EXPECT_EQ(st.code, err::RestrictedDelete);
  EXPECT_EQ(st.table, "PAGE");
  EXPECT_EQ(count("AGEN"), 2);
  agen.rec<AGE>().CTA = 2;
  ASSERT_TRUE(agen.get("AGE:CTA_KEY").ok());
  EXPECT_TRUE(relations.remove(agen).ok());
  EXPECT_EQ(count("AGEN"), 1);
}

TEST_P(Shared, ClearAndRestrictOnUpdateAndFailureHalfWay) {
  // Rules no relation of the dictionary uses on these tables, declared here
  // over real files: contractor -> budget items by PAR:CONT.
  const auto& cont = *dict::findTable("CONT");
  const auto& part = *dict::findTable("PART");
  static const dict::LinkPair link[] = {
      {std::int16_t(cont.fieldIndex("CTR:CTA")), std::int16_t(part.fieldIndex("PAR:CONT"))}};
  const int desKey = int(part.key("PAR:DES_KEY") - part.keys.data());
  const dict::RelationInfo rules[] = {
      {cont.index, part.index, desKey, link, dict::Rule::Restrict, dict::Rule::Clear}};
  Table& c = open(ctx, "CONT");
  Table& p = open(ctx, "PART");
  c.rec<CTR>().CTA = 4;
  c.rec<CTR>().NOMB = "CUATRO";
  ASSERT_TRUE(c.add().ok());
  for (int i = 1; i <= 3; ++i) {
    p.clear();
    p.rec<PAR>().CONC = i;
    p.rec<PAR>().CONT = 4;
    ASSERT_TRUE(p.add().ok());
  }
  RelationManager relations(ctx, rules);
  c.rec<CTR>().CTA = 9;
  Status st = relations.put(c);
  EXPECT_EQ(st.code, err::RestrictedUpdate);
  EXPECT_EQ(c.rec<CTR>().CTA, 4);    // back to its value on file
  c.rec<CTR>().NOMB = "CUATRO BIS";  // a change of other fields is fine
  ASSERT_TRUE(relations.put(c).ok());
  ASSERT_TRUE(relations.remove(c).ok());
  p.clear();
  ASSERT_TRUE(p.setStart(p.info().key("PAR:CTA_KEY")).ok());
  int cleared = 0;
  while (p.next().ok()) cleared += p.rec<PAR>().CONT == 0;
  EXPECT_EQ(cleared, 3);

  // Cascade that fails on its second child: nothing of it stays.
  Table& esti = open(ctx, "ESTI");
  Table& dest = open(ctx, "DEST");
  esti.rec<EST>().CTA = 1;
  ASSERT_TRUE(esti.add().ok());
  for (auto [cta, prt] : {std::pair{1, 10}, std::pair{1, 11}, std::pair{2, 11}}) {
    dest.clear();
    dest.rec<DES>().CTA = cta;
    dest.rec<DES>().PART = prt;
    ASSERT_TRUE(dest.add().ok());
  }
  RelationManager real(ctx);
  esti.rec<EST>().CTA = 2;
  st = real.put(esti);
  EXPECT_EQ(st.code, err::DuplicateKey);
  esti.clear();
  esti.rec<EST>().CTA = 1;
  EXPECT_TRUE(esti.get("EST:CTA_KEY").ok());
  dest.clear();
  dest.rec<DES>().CTA = 1;
  dest.rec<DES>().PART = 10;
  EXPECT_TRUE(dest.get("DES:CTA_KEY").ok()) << "the first child was renumbered and not rolled back";
}

// Statements are kept per open file: none may outlive the transaction that
// attached the file under a schema name, the file itself, or a sort order.
TEST_P(Shared, CachedStatementsFollowTheirFileAndOrder) {
  Table& poli = open(ctx, "POLI");
  Table& dpol = open(ctx, "DPOL");
  Table& part = open(ctx, "PART");
  auto addPart = [&](double conc, const char* text) {
    part.clear();
    part.rec<PAR>().CONC = conc;
    part.rec<PAR>().TEXT = text;
    return part.add();
  };
  // PART attached as the second file, then as the third, then alone.
  ASSERT_TRUE(ctx.begin({&poli, &part}).ok());
  ASSERT_TRUE(addPart(3, "B").ok());
  ASSERT_TRUE(ctx.commit().ok());
  ASSERT_TRUE(ctx.begin({&poli, &dpol, &part}).ok());
  ASSERT_TRUE(addPart(2, "C").ok());
  ASSERT_TRUE(ctx.commit().ok());
  ASSERT_TRUE(addPart(1, "A").ok());
  EXPECT_EQ(count("PART"), 3);
  EXPECT_EQ(count("DPOL"), 0);

  // A new order over other fields is read in its own order.
  const dict::KeyInfo* order = nullptr;
  auto firstTexts = [&](std::vector<int> fields) {
    std::string seen;
    EXPECT_TRUE(part.sortBy(fields, order).ok());
    EXPECT_TRUE(part.setStart(order).ok());
    while (part.next().ok()) seen += part.rec<PAR>().TEXT;
    return seen;
  };
  EXPECT_EQ(firstTexts({part.info().fieldIndex("TEXT")}), "ABC");
  EXPECT_EQ(firstTexts({part.info().fieldIndex("CONC"), part.info().fieldIndex("TEXT")}), "ACB");

  // Closed and opened on another file: nothing is read from the old one.
  part.close();
  storage.setFileName(part.info(), folder.file("OTRA.TPS"));
  ASSERT_TRUE(part.open().ok());
  part.clear();
  part.rec<PAR>().CONC = 1;
  EXPECT_EQ(part.get("PAR:CTA_KEY").code, err::RecordNotFound);
  ASSERT_TRUE(part.setStart(nullptr).ok());
  EXPECT_EQ(part.next().code, err::NoRecord);
}

TEST_P(Shared, ChangedByAnotherStationIsDetected) {
  Context other(storage, 1);
  Table& mine = open(ctx, "CONT");
  Table& theirs = open(other, "CONT");
  mine.rec<CTR>().CTA = 1;
  mine.rec<CTR>().NOMB = "ORIGINAL";
  ASSERT_TRUE(mine.add().ok());
  theirs.rec<CTR>().CTA = 1;
  ASSERT_TRUE(theirs.get("CTR:CTA_KEY").ok());
  theirs.rec<CTR>().NOMB = "DE LA OTRA";
  ASSERT_TRUE(theirs.put().ok());
  mine.rec<CTR>().NOMB = "MIA";
  EXPECT_EQ(mine.put().code, err::RecordChanged);
  theirs.clear();
  theirs.rec<CTR>().CTA = 1;
  ASSERT_TRUE(theirs.get("CTR:CTA_KEY").ok());
  EXPECT_EQ(theirs.rec<CTR>().NOMB, "DE LA OTRA");  // nothing overwritten
  // Read again, the change goes through; a record deleted meanwhile is reported.
  ASSERT_TRUE(mine.get("CTR:CTA_KEY").ok());
  mine.rec<CTR>().NOMB = "MIA";
  ASSERT_TRUE(mine.put().ok());
  // A delete of what was read before that change would discard it.
  EXPECT_EQ(theirs.remove().code, err::RecordChanged);
  ASSERT_TRUE(theirs.get("CTR:CTA_KEY").ok());
  ASSERT_TRUE(theirs.remove().ok());
  EXPECT_EQ(mine.put().code, err::RecordChanged);
}

TEST_P(Shared, BusyWaitThenLockReported) {
  { open(ctx, "DPOL"); }  // the file exists before the stations race
  int ready = -1;
  pid_t pid = station(ready, [&](int fd) {
    Storage s;
    name(s);
    Context c(s);
    Table& t = c.table("DPOL");
    if (!t.open() || !t.stream()) return 1;
    t.rec<DPO>().CTA = 1;
    if (!t.add()) return 2;
    signalReady(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return t.flush() ? 0 : 3;
  });
  ASSERT_TRUE(waitReady(ready));
  Table& t = ctx.table("DPOL");
  t.rec<DPO>().CTA = 2;
  Status st = t.add();  // waits for the other station's commit
  EXPECT_TRUE(st.ok()) << st.text;
  EXPECT_EQ(exitCode(pid), 0);
  EXPECT_EQ(count("DPOL"), 2);

  storage.setBusyTimeout(200);  // taken when a file is opened
  t.close();
  ASSERT_TRUE(t.open().ok());
  pid = station(ready, [&](int fd) {
    Storage s;
    name(s);
    Context c(s);
    Table& t2 = c.table("DPOL");
    // Held for writing: the file while the batch lasts, the record on the
    // server.
    if (!t2.open() || !t2.stream() || !t2.setStart(nullptr) || !t2.next()) return 1;
    t2.rec<DPO>().CTA = 9;
    if (!t2.put()) return 2;
    signalReady(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    return t2.flush() ? 0 : 3;
  });
  ASSERT_TRUE(t.setStart(nullptr).ok());
  ASSERT_TRUE(t.next().ok());
  ASSERT_TRUE(waitReady(ready));
  t.rec<DPO>().CTA = 7;
  st = t.put();
  EXPECT_EQ(st.code, err::FileLocked);
  EXPECT_EQ(exitCode(pid), 0);
  EXPECT_TRUE(t.add().ok());
}

TEST_P(Shared, FourStationsWritingAtOnceNeverFailASave) {
  { open(ctx, "DPOL"); }
  // Each save holds the lock for a moment; waiters must win it within the
  // time allowed, however eagerly the others take it again.
  std::vector<pid_t> stations;
  const auto start = std::chrono::system_clock::now() + std::chrono::milliseconds(500);
  for (int n = 0; n < 4; ++n) {
    int ready = -1;
    stations.push_back(station(ready, [&, n](int fd) {
      Storage s;
      name(s);
      // A short allowance, so that an unfair wait shows within the test.
      s.setBusyTimeout(2000);
      Context c(s);
      Table& t = c.table("DPOL");
      if (!t.open()) return 1;
      signalReady(fd);
      std::this_thread::sleep_until(start);  // all four at once
      int failed = 0;
      for (int k = 0; k < 100; ++k) {
        // A save that keeps the lock a while, as a posting over several
        // records does.
        if (!t.stream()) {
          ++failed;
          continue;
        }
        t.clear();
        t.rec<DPO>().CTA = std::int16_t(n * 1000 + k);
        if (!t.add()) ++failed;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!t.flush()) ++failed;
      }
      return failed == 0 ? 0 : 10 + std::min(failed, 100);
    }));
    ASSERT_TRUE(waitReady(ready));
  }
  for (pid_t pid : stations) EXPECT_EQ(exitCode(pid), 0);
  EXPECT_EQ(count("DPOL"), 400);
}

TEST_P(Shared, LockOfAKilledWriterIsGoneAndItsWritesUndone) {
  {
    Table& t = open(ctx, "DPOL");
    for (int i = 0; i < 10; ++i) {
      t.clear();
      t.rec<DPO>().CTA = std::int16_t(i);
      ASSERT_TRUE(t.add().ok());
    }
    t.close();
  }
  int ready = -1;
  pid_t pid = station(ready, [&](int fd) {
    Storage s;
    name(s);
    Context c(s);
    Table& t = c.table("DPOL");
    if (!t.open() || !t.stream()) return 1;
    for (int i = 0; i < 2000; ++i) {
      t.clear();
      t.rec<DPO>().CTA = std::int16_t(100 + i);
      if (!t.add()) return 2;
    }
    signalReady(fd);
    pause();
    return 0;
  });
  ASSERT_TRUE(waitReady(ready));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  storage.setBusyTimeout(1000);
  Table& t = open(ctx, "DPOL");
  std::int64_t n = 0;
  ASSERT_TRUE(t.records(n).ok());
  EXPECT_EQ(n, 10);
  t.clear();
  t.rec<DPO>().CTA = 50;
  EXPECT_TRUE(t.add().ok());
}

TEST_P(SharedFiles, AJournalLeftByAKilledWriterIsRecoveredByAReader) {
  {
    Table& t = open(ctx, "DPOL");
    ASSERT_TRUE(t.stream().ok());
    for (int i = 0; i < 20000; ++i) {
      t.clear();
      t.rec<DPO>().CTA = std::int16_t(i % 30000);
      ASSERT_TRUE(t.add().ok());
    }
    ASSERT_TRUE(t.flush().ok());
    t.close();
  }
  // A writer with a small cache has written changed pages into the file,
  // their originals in the journal beside it, when it dies.
  int ready = -1;
  pid_t pid = station(ready, [&](int fd) {
    Storage s;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(folder.file("DPOL.TPS").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr))
      return 1;
    const std::string key = s.rawKey("482719", Storage::saltFor("482719"));
    const std::string sql = "PRAGMA key=\"" + key +
                            "\";PRAGMA cipher_page_size=4096;PRAGMA cache_size=2;"
                            "BEGIN IMMEDIATE;UPDATE DPOL SET PART=PART+1;";
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return 2;
    signalReady(fd);
    pause();
    return 0;
  });
  ASSERT_TRUE(waitReady(ready));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(std::filesystem::exists(folder.file("DPOL.TPS-journal")));
  Context reader(storage);
  Table& r = reader.table("DPOL");
  Status st = r.openReadOnly();
  ASSERT_TRUE(st.ok()) << st.text;
  double sum = 0;
  std::int64_t n = 0;
  ASSERT_TRUE(r.setStart(nullptr).ok());
  while (r.next().ok()) sum += r.rec<DPO>().PART, ++n;
  EXPECT_EQ(n, 20000);
  EXPECT_EQ(sum, 0.0) << "the dead writer's changes are undone";
}

TEST_P(Shared, TwoStationsAddingTheSameUniqueKey) {
  { open(ctx, "CONT"); }
  for (int round = 0; round < 3; ++round) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    auto racer = [&](int) {
      Storage s;
      name(s);
      Context c(s);
      Table& t = c.table("CONT");
      if (!t.open()) return 10;
      char b;
      if (read(go[0], &b, 1) != 1) return 11;
      t.rec<CTR>().CTA = std::int16_t(100 + round);
      t.rec<CTR>().NOMB = "RACE " + std::to_string(round) + " " + std::to_string(getpid());
      Status st = t.add();
      return st.ok() ? 0 : st.code == err::DuplicateKey ? 40 : 12;
    };
    int r1 = -1, r2 = -1;
    pid_t a = station(r1, racer);
    pid_t b = station(r2, racer);
    close(r1);
    close(r2);
    char two[2] = {1, 1};
    ASSERT_EQ(write(go[1], two, 2), 2);
    close(go[0]);
    close(go[1]);
    int ca = exitCode(a), cb = exitCode(b);
    EXPECT_EQ(std::min(ca, cb), 0);
    EXPECT_EQ(std::max(ca, cb), 40);
  }
  EXPECT_EQ(count("CONT"), 3);
}

INSTANTIATE_TEST_SUITE_P(, Shared, ::testing::Values(test::BackEnd::Files, test::BackEnd::Server),
                         test::backEndName);
INSTANTIATE_TEST_SUITE_P(, SharedFiles, ::testing::Values(test::BackEnd::Files), test::backEndName);

}  // namespace
}  // namespace velmora::db
