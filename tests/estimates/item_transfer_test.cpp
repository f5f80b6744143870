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
  // Concepts 1..n, each 12 units of 100 of labour, contractor 1, none paid.
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
  std::int64_t positionOf(double conc) {
    db::Table& t = ctx.table("PART");
    EXPECT_TRUE(t.open().ok());
    t.clear();
    t.rec<PAR>().CONC = conc, t.rec<PAR>().PROC = 7, t.rec<PAR>().FREN = 3;
    EXPECT_TRUE(t.get("PAR:CTA_KEY").ok());
    std::int64_t at = t.position();
    t.close();
    return at;
  }

  test::TempFolder folder;
  db::Storage storage;
  db::Context ctx{storage};
};

TEST_F(ItemTransfers, BothRecordsAreWrittenOrNeither) {
  items(1);
  {  // another station took 12.01 ... 1.01 meanwhile
    db::Context c(storage, 92);
    db::Table& t = c.table("PART");
    ASSERT_TRUE(t.open().ok());
    t.rec<PAR>().CONC = 1.01, t.rec<PAR>().PROC = 7, t.rec<PAR>().FREN = 3;
    ASSERT_TRUE(t.add().ok());
    t.close();
  }
  const auto before = all();
  ItemTransfer t{positionOf(1), 1.01, 5, 4.5, 450};
  TransferResult result;
  Status st = transferItem(ctx, t, &result);
  EXPECT_EQ(st.code, err::DuplicateKey);  // the second write
  EXPECT_EQ(result.failedAt, FileAction::Add);
  EXPECT_FALSE(ctx.inTransaction());
  const auto after = all();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after.at(100).CANT, 12);
  EXPECT_EQ(after.at(100).PRES, 1000);

  db::Table& part = ctx.table("PART");
  ASSERT_TRUE(part.open().ok());
  ASSERT_TRUE(freeSubItem(part, after.at(100), t.subItem).ok());
  EXPECT_EQ(hundredths(t.subItem), 102);
  ASSERT_TRUE(transferItem(ctx, t, &result).ok());
  EXPECT_EQ(part.rec<PAR>().CONC, 1.02);  // the buffer holds the new sub-item
  part.close();
  const auto done = all();
  EXPECT_EQ(done.at(100).CANT, 7.5);
  EXPECT_EQ(done.at(100).PRES, 550);
  EXPECT_EQ(done.at(100).CONT, 1);
  const PAR& n = done.at(102);
  EXPECT_EQ(n.CANT + n.PRES, 4.5 + 450);
  EXPECT_EQ(n.CONT, 5);
  EXPECT_EQ(n.PEST, 100);
  EXPECT_EQ(n.TEXT + n.UNID, "MUROM2");
  EXPECT_EQ(n.PROC * 10 + n.FREN, 73);
}

// Whoever calls it, the operation refuses what is not a transfer and writes nothing.
TEST_F(ItemTransfers, WhatIsNotATransferIsRefused) {
  items(2);
  const std::int64_t one = positionOf(1);
  int i = 0;
  for (ItemTransfer t : {ItemTransfer{one, 1.01, 1, 1, 100},      // his own contractor
                         ItemTransfer{one, 1.01, 0, 1, 100},      // nobody
                         ItemTransfer{one, 2.01, 5, 1, 100},      // another concept's number
                         ItemTransfer{one, 1.00, 5, 1, 100},      // not a sub-item
                         ItemTransfer{one, 1.01, 5, 0, 0.004},    // nothing, in cents
                         ItemTransfer{one, 1.01, 5, 12.01, 0},    // more units than left
                         ItemTransfer{one, 1.01, 5, 0, 1200.01},  // more than the budget left
                         ItemTransfer{one, 1.01, 5, -1, -100}}) {
    SCOPED_TRACE(i++);
    EXPECT_EQ(transferItem(ctx, t, nullptr).code, err::ValueRefused);
  }
  ItemTransfer whole{one, 1.01, 5, 12, 1200};
  ASSERT_TRUE(transferItem(ctx, whole, nullptr).ok());
  whole.subItem = 1.02;  // the main item has nothing left; a sub-item is no source
  EXPECT_EQ(transferItem(ctx, whole, nullptr).code, err::ValueRefused);
  whole.item = positionOf(1.01);
  EXPECT_EQ(transferItem(ctx, whole, nullptr).code, err::ValueRefused);
  EXPECT_EQ(all().size(), 3u);
}

// A writer killed at any moment leaves every item whole: what left it is in
// its sub-items, to the cent.
TEST_F(ItemTransfers, AWriterKilledAnywhereLeavesEveryItemWhole) {
  constexpr int kItems = 400;
  items(kItems);
  std::mt19937 rng(std::random_device{}());
  int killed = 0;
  for (int round = 0; round < 4; ++round) {
    pid_t pid = fork();
    if (pid == 0) {
      db::Storage s;
      name(s);
      db::Context c(s, 1);
      db::Table& part = c.table("PART");
      if (!part.open()) _exit(1);
      for (int conc = 1; conc <= kItems; ++conc) {
        part.clear();
        part.rec<PAR>().CONC = conc, part.rec<PAR>().PROC = 7, part.rec<PAR>().FREN = 3;
        if (!part.get("PAR:CTA_KEY")) _exit(2);
        const PAR item = part.rec<PAR>();
        ItemTransfer t{part.position(), 0, 5, 1, 100};
        if (!freeSubItem(part, item, t.subItem) || !transferItem(c, t, nullptr)) _exit(3);
      }
      _exit(0);
    }
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(20, 200)(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    killed += WIFSIGNALED(status);
    ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << WEXITSTATUS(status);

    std::map<std::int64_t, std::pair<double, double>> sums;  // units, amount by concept
    int moved = 0;
    for (const auto& [h, r] : all()) {
      sums[h / 100].first += r.CANT;
      sums[h / 100].second += r.PRES;
      moved += h % 100 != 0;
    }
    ASSERT_EQ(sums.size(), std::size_t(kItems));
    for (const auto& [conc, sum] : sums) {
      EXPECT_EQ(hundredths(sum.first), 1200) << "concept " << conc << " round " << round;
      EXPECT_EQ(hundredths(sum.second), 100000) << "concept " << conc << " round " << round;
    }
    EXPECT_GT(moved, 0);
  }
  EXPECT_GE(killed, 2) << "the writer ended before it could be killed";
}

}  // namespace
}  // namespace velmora::estimates
