// The transaction guard: what it opens, commits, rolls back and joins.

#include "dictionary/unit_of_work.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "tests/support/temp_folder.h"

namespace velmora::db {
namespace {

static_assert(!std::is_copy_constructible_v<Transaction> &&
              !std::is_copy_assignable_v<Transaction>);

TEST(UnitOfWork, TheGuardCommitsWhenToldAndJoinsAnOuterOne) {
  test::TempFolder folder;
  Storage storage;
  for (const char* label : {"POLI", "DPOL", "CONT"})
    storage.setFileName(*dict::findTable(label), folder.file(std::string(label) + ".TPS"));
  Context ctx(storage);
  auto post = [&](std::int16_t folio) {
    ctx.table("POLI").rec<POL>().CTA = folio;
    ctx.table("DPOL").rec<DPO>().CTA = folio;
    ASSERT_TRUE(ctx.table("POLI").add().ok() && ctx.table("DPOL").add().ok());
  };
  auto count = [&] {
    Context c(storage, 9);
    std::int64_t n = 0, total = 0;
    for (const char* label : {"POLI", "DPOL"}) {
      EXPECT_TRUE(c.table(label).open().ok() && c.table(label).records(n).ok());
      total += n;
      c.table(label).close();
    }
    return total;
  };
  {
    Transaction tx(ctx, {"POLI", "DPOL"});
    ASSERT_TRUE(tx.status().ok()) << tx.status().text;
    post(1);
    {  // an operation inside a larger one: only the outer guard commits
      Transaction inner(ctx, {"DPOL", "POLI"});
      ASSERT_TRUE(inner.joined());
      post(2);
      EXPECT_TRUE(inner.commit().ok());
    }
    Transaction wider(ctx, {"POLI", "CONT"});  // a table outside it
    EXPECT_EQ(wider.status().code, err::TransactionRefused);
  }  // never committed
  EXPECT_FALSE(ctx.inTransaction() || ctx.table("POLI").isOpen() || ctx.table("CONT").isOpen());
  EXPECT_EQ(count(), 0);
  {
    Transaction tx(ctx, {"POLI", "DPOL"});
    post(1);
    EXPECT_TRUE(tx.commit().ok());
    EXPECT_EQ(tx.commit().code, err::TransactionRefused);
  }
  EXPECT_EQ(count(), 2);

  // A table that cannot open refuses the whole; one open before stays open.
  ASSERT_TRUE(ctx.table("POLI").open().ok());
  storage.setFileName(*dict::findTable("CONT"), "");
  {
    Transaction tx(ctx, {"POLI", "CONT"});
    EXPECT_EQ(tx.status().code, err::FileNotFound);
    EXPECT_FALSE(tx.active() || ctx.inTransaction());
  }
  EXPECT_TRUE(ctx.table("POLI").isOpen());
  ctx.table("POLI").close();
}

}  // namespace
}  // namespace velmora::db
