// The transaction guard: what it opens, begins, commits, rolls back and joins.

#include "dictionary/unit_of_work.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

static_assert(!std::is_copy_constructible_v<Transaction> &&
              !std::is_copy_assignable_v<Transaction>);

class UnitOfWork : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* label : {"POLI", "DPOL", "CONT"})
      storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
  }
  std::int64_t count(const char* label) {
    Context c(storage, 9);
    std::int64_t n = -1;
    EXPECT_TRUE(c.table(label).open().ok() && c.table(label).records(n).ok());
    c.table(label).close();
    return n;
  }
  // An estimate and one of its lines, inside whatever transaction is open.
  void post(std::int16_t folio) {
    Table& poli = ctx.table("POLI");
    Table& dpol = ctx.table("DPOL");
    poli.clear(), dpol.clear();
    poli.rec<POL>().CTA = folio;
    dpol.rec<DPO>().CTA = folio;
    ASSERT_TRUE(poli.add().ok());
    ASSERT_TRUE(dpol.add().ok());
  }

  test::TempFolder folder;
  Storage storage;
  Context ctx{storage};
};

TEST_F(UnitOfWork, TheGuardCommitsOrLeavesNothingAndClosesWhatItOpened) {
  {
    Transaction tx(ctx, {"POLI", "DPOL"});
    ASSERT_TRUE(tx.status().ok()) << tx.status().text;
    post(1);
  }  // never committed
  EXPECT_FALSE(ctx.table("POLI").isOpen());
  EXPECT_FALSE(ctx.inTransaction());
  EXPECT_EQ(count("POLI") + count("DPOL"), 0);
  {
    Transaction tx(ctx, {"POLI", "DPOL"});
    post(1);
    EXPECT_TRUE(tx.commit().ok());
    EXPECT_FALSE(tx.active());
    EXPECT_EQ(tx.commit().code, err::TransactionRefused);
  }
  EXPECT_EQ(count("POLI") + count("DPOL"), 2);

  // A table already open stays open; one that cannot open refuses the whole.
  ASSERT_TRUE(ctx.table("POLI").open().ok());
  storage.setFileName(*dict::findTable("CONT"), "");
  {
    Transaction tx(ctx, {"POLI", "CONT"});
    EXPECT_EQ(tx.status().code, err::FileNotFound);
    EXPECT_FALSE(tx.active() || ctx.inTransaction());
    EXPECT_FALSE(tx.commit().ok());
  }
  EXPECT_TRUE(ctx.table("POLI").isOpen());
  ctx.table("POLI").close();
}

// An operation run inside a larger one joins it: only the outer guard commits.
TEST_F(UnitOfWork, AGuardInsideAnotherJoinsIt) {
  {
    Transaction outer(ctx, {"POLI", "DPOL"});
    {
      Transaction inner(ctx, {"DPOL", "POLI"});
      ASSERT_TRUE(inner.joined());
      post(1);
      EXPECT_TRUE(inner.commit().ok());
    }
    EXPECT_TRUE(ctx.inTransaction());
    Transaction wider(ctx, {"POLI", "CONT"});  // a table outside: refused
    EXPECT_EQ(wider.status().code, err::TransactionRefused);
    EXPECT_FALSE(ctx.table("CONT").isOpen());
    outer.rollback();
  }
  EXPECT_EQ(count("POLI") + count("DPOL"), 0);
}

}  // namespace
}  // namespace velmora::db
