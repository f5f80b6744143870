// The transfer of part of a budget item to another contractor, headless: both
// records or neither, even when the writer is killed half way.

#include "estimates/item_transfer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "estimates/item_numbers.h"
#include "tests/support/temp_folder.h"

namespace velmora::estimates {
namespace {

class ItemTransfers : public ::testing::Test {
 protected:
  void SetUp() override { name(storage); }
  void name(db::Storage& s) {
    s.setFileName(PAR::info(), folder.file("PART.TPS"));
    s.setBusyTimeout(2000);
  }
  // Concepts 1..n at record positions 1..n, each 12 units of 100 of labour,
  // contractor 1, none paid.
  void items(int n) {
    db::Context c(storage, 90);
    db::Table& t = c.table("PART");
    ASSERT_TRUE(t.open().ok() && t.stream().ok());
    for (int conc = 1; conc <= n; ++conc) {
      t.clear();
      PAR& r = t.rec<PAR>();
      r.CONC = conc, r.PROC = 7, r.FREN = 3, r.TEXT = "MURO", r.UNID = "M2";
      r.CANT = 12, r.PRES = 1000, r.VPRE = 200, r.CONT = 1;
      ASSERT_TRUE(t.add().ok());
    }
    ASSERT_TRUE(t.flush().ok());
    t.close();
  }
  // Every record of the file, keyed by its number in hundredths.
  std::map<std::int64_t, PAR> all() {
    db::Context c(storage, 91);
    db::Table& t = c.table("PART");
    std::map<std::int64_t, PAR> rows;
    EXPECT_TRUE(t.open().ok());
    Status st = t.setStart(nullptr);
    while (st && (st = t.next())) rows[hundredths(t.rec<PAR>().CONC)] = t.rec<PAR>();
    EXPECT_EQ(st.code, err::NoRecord);
    t.close();
    return rows;
  }
  test::TempFolder folder;
  db::Storage storage;
  db::Context ctx{storage};
};

// The second write fails (another station took the number meanwhile): the
// first is undone. The next free number goes through, and so does nothing
// that is not a transfer, whoever calls.
TEST_F(ItemTransfers, BothRecordsAreWrittenOrNeither) {
  items(2);
  {
    db::Context c(storage, 92);
    db::Table& t = c.table("PART");
    ASSERT_TRUE(t.open().ok());
    t.rec<PAR>().CONC = 1.01, t.rec<PAR>().PROC = 7, t.rec<PAR>().FREN = 3;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }
  const std::int64_t one = 1;
  ItemTransfer t{one, 1.01, 5, 4.5, 450};
  TransferResult result;
  EXPECT_EQ(transferItem(ctx, t, &result).code, err::DuplicateKey);
  EXPECT_EQ(result.failedAt, FileAction::Add);
  int i = 0;
  for (ItemTransfer bad : {ItemTransfer{one, 1.02, 1, 1, 100},      // his own contractor
                           ItemTransfer{one, 2.01, 5, 1, 100},      // another concept's number
                           ItemTransfer{one, 1.02, 5, 12.01, 0},    // more units than left
                           ItemTransfer{one, 1.02, 5, 0, 1200.01},  // more than the budget left
                           ItemTransfer{one, 1.02, 5, -1, -100}}) {
    SCOPED_TRACE(i++);
    EXPECT_EQ(transferItem(ctx, bad, nullptr).code, err::ValueRefused);
  }
  auto rows = all();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows.at(100).CANT + rows.at(100).PRES, 12 + 1000);

  db::Table& part = ctx.table("PART");
  ASSERT_TRUE(part.open().ok());
  ASSERT_TRUE(freeSubItem(part, rows.at(100), t.subItem).ok());
  EXPECT_EQ(hundredths(t.subItem), 102);
  ASSERT_TRUE(transferItem(ctx, t, &result).ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 1.02);  // the buffer holds the new sub-item
  part.close();
  rows = all();
  EXPECT_EQ(rows.at(100).CANT + rows.at(100).PRES, 7.5 + 550);
  const PAR& n = rows.at(102);
  EXPECT_EQ(n.CANT + n.PRES, 4.5 + 450);
  EXPECT_EQ(n.CONT * 1000 + n.PEST, 5100);
  EXPECT_EQ(n.TEXT + n.UNID + std::to_string(n.PROC * 10 + n.FREN), "MUROM273");
}

// A writer killed at any moment leaves every item whole: what left it is in
// its sub-items, to the cent.
TEST_F(ItemTransfers, AWriterKilledAnywhereLeavesEveryItemWhole) {
  constexpr int kItems = 1000;
  items(kItems);
  std::mt19937 rng(std::random_device{}());
  int killed = 0;
  for (int round = 0; round < 4; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      db::Storage s;
      name(s);
      db::Context c(s, 1);
      db::Table& part = c.table("PART");
      if (!part.open()) _exit(1);
      for (int conc = 1; conc <= kItems; ++conc) {
        if (!part.getByPosition(conc)) _exit(2);
        const PAR item = part.rec<PAR>();
        ItemTransfer t{conc, 0, 5, 1, 100};
        if (!freeSubItem(part, item, t.subItem) || !transferItem(c, t, nullptr)) _exit(3);
        if (conc == 1) (void)!write(ready[1], "1", 1);  // at work: kill any time now
      }
      _exit(0);
    }
    close(ready[1]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 100000)(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    killed += WIFSIGNALED(status);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << WEXITSTATUS(status);

    std::map<std::int64_t, std::pair<double, double>> sums;  // units, amount by concept
    int moved = 0, broken = 0;
    for (const auto& [h, r] : all()) {
      sums[h / 100].first += r.CANT;
      sums[h / 100].second += r.PRES;
      moved += h % 100 != 0;
    }
    for (const auto& [conc, sum] : sums)
      broken += hundredths(sum.first) != 1200 || hundredths(sum.second) != 100000;
    EXPECT_EQ(sums.size(), std::size_t(kItems));
    EXPECT_EQ(broken, 0) << "round " << round;
    EXPECT_GT(moved, 0);
  }
  EXPECT_GE(killed, 2) << "the writer ended before it could be killed";
}

}  // namespace
}  // namespace velmora::estimates
