#pragma once

// A unit of work: the writes of one business operation over several tables of
// a thread context commit together or not at all.
//
//   db::Transaction tx(ctx, {&part, &dest});
//   Status st = tx.status();
//   if (st) st = part.put();
//   if (st) st = dest.add();
//   if (st) st = tx.commit();
//   return st;  // anything short of commit() is rolled back by ~Transaction
//
// A guard over tables that a transaction of the context already holds joins
// it: the outer guard decides, so operations compose into larger ones.

#include <initializer_list>
#include <string_view>
#include <vector>

#include "dictionary/storage.h"

namespace velmora::db {

class Transaction {
 public:
  // Opens the tables (they stay open while the guard lives) and begins.
  Transaction(Context& ctx, std::vector<Table*> tables);
  Transaction(Context& ctx, std::initializer_list<std::string_view> labels);
  // Rolls back unless committed, then closes what the guard opened.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Why the transaction could not begin; success once it has.
  const Status& status() const { return status_; }
  // Begun (or joined), and neither committed nor rolled back yet.
  bool active() const { return state_ == State::Own || state_ == State::Joined; }
  bool joined() const { return state_ == State::Joined; }

  // Makes every write permanent; a failed commit leaves none of them. A joined
  // guard only ends: its writes commit with the outer transaction.
  Status commit();
  void rollback();

 private:
  enum class State { Failed, Own, Joined, Ended };
  void start(std::vector<Table*> tables);
  void release();

  Context& ctx_;
  Status status_;
  State state_ = State::Failed;
  std::vector<Table*> opened_;
};

}  // namespace velmora::db
