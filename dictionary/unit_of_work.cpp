#include "dictionary/unit_of_work.h"

#include <algorithm>

namespace velmora::db {

Transaction::Transaction(Context& ctx, std::vector<Table*> tables) : ctx_(ctx) {
  start(std::move(tables));
}

Transaction::Transaction(Context& ctx, std::initializer_list<std::string_view> labels) : ctx_(ctx) {
  std::vector<Table*> tables;
  for (std::string_view label : labels) tables.push_back(&ctx.table(label));
  start(std::move(tables));
}

Transaction::~Transaction() {
  rollback();
  release();
}

void Transaction::start(std::vector<Table*> tables) {
  for (Table* t : tables) {
    status_ = t->open();
    if (!status_) return release();
    opened_.push_back(t);
  }
  if (ctx_.inTransaction()) {
    auto outside = std::find_if(tables.begin(), tables.end(),
                                [&](const Table* t) { return !ctx_.inTransaction(*t); });
    if (outside == tables.end()) {
      state_ = State::Joined;
      return;
    }
    // Context::begin refuses a second transaction and says so.
  }
  status_ = ctx_.begin(tables);
  if (!status_) return release();
  state_ = State::Own;
}

Status Transaction::commit() {
  if (!active()) {
    if (!status_) return status_;
    return Status::error(err::TransactionRefused,
                         errorText(err::TransactionRefused) + ": la transacción ya terminó");
  }
  const bool own = state_ == State::Own;
  state_ = State::Ended;
  return own ? ctx_.commit() : Status::success();
}

void Transaction::rollback() {
  if (state_ == State::Own) ctx_.rollback();
  if (active()) state_ = State::Ended;
}

void Transaction::release() {
  for (Table* t : opened_) t->close();
  opened_.clear();
}

}  // namespace velmora::db
