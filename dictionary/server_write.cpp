// The writes of a server table: adds (waiting for their answer, or sent
// ahead at a position of their own), puts over the row as it was read or
// over a row the transaction holds, removes, and the unique keys a write
// would take from another record.

#include <libpq-fe.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/server_internal.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"

namespace velmora::db::server {

// Positions for records added without waiting, taken from the table's
// identity in blocks (16, then twice as many up to 1 024): a block a
// session leaves unused is a gap, never a position used twice.
Status ServerTable::nextPosition(std::int64_t& position) {
  if (positions_.empty()) {
    Result r = run(c_,
                   "SELECT nextval(pg_get_serial_sequence($1, '" + std::string(kPosition) +
                       "')) FROM generate_series(1, $2::int)",
                   {table(), std::to_string(block_)});
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
      return c_.failure(r.get(), "numerando", info_.label);
    for (int i = PQntuples(r.get()) - 1; i >= 0; --i)
      positions_.push_back(std::stoll(PQgetvalue(r.get(), i, 0)));
    block_ = std::min(block_ * 2, 1024);
    if (positions_.empty()) return c_.failure(r.get(), "numerando", info_.label);
  }
  position = positions_.back();
  positions_.pop_back();
  return Status::success();
}

Status ServerTable::add() {
  c_.wrote();
  // A record no unique key can refuse, added inside a transaction that may
  // write, goes ahead without waiting, at a position of its own.
  if (c_.holdsReads() && c_.whole() &&
      std::none_of(stored(info_).keys.begin(), stored(info_).keys.end(),
                   [](const dict::KeyInfo& k) { return k.unique || k.autoNumber; })) {
    std::int64_t position = 0;
    if (Status st = nextPosition(position); !st) return st;
    return addAt(position);
  }
  std::string columns, marks;
  int n = 0;
  for (const schema::Column& c : schema::columns(stored(info_))) {
    columns += (n ? "," : "") + quoted(c.name);
    marks += (n ? ",$" : "$") + std::to_string(n + 1) + cast(c.type);
    ++n;
  }
  // A record a unique key refuses is no error of the transaction: the
  // clerk is told which key, and the rest of the work goes on.
  Result r = run(c_,
                 "INSERT INTO " + table() + "(" + columns + ") VALUES(" + marks +
                     ") ON CONFLICT DO NOTHING RETURNING " + quoted(kPosition),
                 columnValues(cursor_.buffer));
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "agregando", info_.label);
  if (PQntuples(r.get()) == 0) return duplicate(cursor_.buffer, 0);
  cursor_.current = std::stoll(PQgetvalue(r.get(), 0, 0));
  cursor_.image = cursor_.buffer;
  wroteCurrent();
  return Status::success();
}

// Inside a transaction that may write the record goes ahead without
// waiting: a position or a unique key already taken is told by the next
// statement and undoes the transaction.
Status ServerTable::addAt(std::int64_t position) {
  c_.wrote();
  std::string columns = quoted(kPosition), marks = "$1::bigint";
  int n = 1;
  for (const schema::Column& c : schema::columns(stored(info_))) {
    columns += "," + quoted(c.name);
    marks += ",$" + std::to_string(++n) + cast(c.type);
  }
  std::vector<std::string> params = {std::to_string(position)};
  for (std::string& v : columnValues(cursor_.buffer)) params.push_back(std::move(v));
  const std::string insert =
      "INSERT INTO " + table() + "(" + columns + ") OVERRIDING SYSTEM VALUE VALUES(" + marks + ")";
  if (c_.holdsReads() && c_.whole()) {
    if (Status st = c_.defer(insert + " RETURNING 1", params, info_.label); !st) return st;
  } else {
    Result r = run(c_, insert, params);
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
      return c_.failure(r.get(), "agregando", info_.label);
  }
  cursor_.current = position;
  cursor_.image = cursor_.buffer;
  wroteCurrent();
  return Status::success();
}

Status ServerTable::readAfter(std::int64_t after, int limit, std::vector<Record>& rows,
                              std::vector<std::int64_t>& positions) {
  rows.clear();
  positions.clear();
  Result r = run(c_,
                 "SELECT * FROM " + table() + " WHERE " + quoted(kPosition) +
                     " > $1::bigint ORDER BY " + quoted(kPosition) + " LIMIT $2::bigint",
                 {std::to_string(after), std::to_string(limit)});
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "leyendo", info_.label);
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    rows.emplace_back(info_);
    positions.push_back(0);
    decode(r.get(), i, rows.back(), positions.back());
  }
  return Status::success();
}

Status ServerTable::continueNumbering() {
  Result r = run(c_,
                 "SELECT setval(pg_get_serial_sequence($1, '" + std::string(kPosition) +
                     "'), COALESCE((SELECT max(" + quoted(kPosition) + ") FROM " + table() +
                     "), 0) + 1, false)",
                 {table()});
  return ran(r.get()) ? Status::success() : c_.failure(r.get(), "numerando", info_.label);
}

// Which unique key another record already holds the values of.
Status ServerTable::duplicate(const Record& rec, std::int64_t except) {
  const dict::TableInfo& s = stored(info_);
  for (std::size_t k = 0; k < s.keys.size(); ++k) {
    const dict::KeyInfo& key = s.keys[k];
    if (!key.unique) continue;
    std::vector<std::string> params = keyParams(key, rec);
    int left = 0, right = 1;
    std::string where = keyTuple(key, left, false) + "=" + keyTuple(key, right, false);
    std::string filter = keyFilterSql(info_, int(k));
    if (!filter.empty()) where += " AND " + filter.substr(6);
    params.push_back(std::to_string(except));
    where += " AND " + quoted(kPosition) + "<>$" + std::to_string(params.size()) + "::bigint";
    Result r = run(c_, "SELECT 1 FROM " + table() + " WHERE " + where + " LIMIT 1", params);
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
      return c_.failure(r.get(), "leyendo", info_.label);
    if (PQntuples(r.get()) > 0) {
      Status dup = Status::error(err::DuplicateKey,
                                 errorText(err::DuplicateKey) + ": " + std::string(key.name));
      dup.table = info_.label;
      dup.key = key.name;
      return dup;
    }
  }
  return Status::error(err::DuplicateKey, errorText(err::DuplicateKey)).on(info_.label);
}

Status ServerTable::put() {
  c_.wrote();
  if (cursor_.current == 0)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  // A unique key given values another record holds is told by its name,
  // and leaves the transaction whole; a record changed by another station
  // is told first, as on the files.
  for (const dict::KeyInfo& key : stored(info_).keys)
    if (key.unique && keyParams(key, cursor_.buffer) != keyParams(key, cursor_.image)) {
      if (Status st = unchangedSinceRead(); !st) return st;
      Status st = duplicate(cursor_.buffer, cursor_.current);
      if (st.code == err::DuplicateKey && st.key.empty()) break;  // none holds them
      return st;
    }
  const auto& columns = schema::columns(stored(info_));
  if (holdsCurrent()) {
    // The row is held by this transaction: no other station can have
    // changed it. Only the columns the buffer changed are written, and the
    // write goes ahead without waiting; finding no row stops the
    // transaction on the server (a division by zero), so that a COMMIT
    // sent with it fails too.
    std::string sets;
    std::vector<std::string> params;
    for (const schema::Column& c : columns) {
      std::string v = columnValue(cursor_.buffer, c);
      if (v == columnValue(cursor_.image, c)) continue;
      params.push_back(std::move(v));
      sets += (sets.empty() ? "" : ",") + quoted(c.name) + "=$" + std::to_string(params.size()) +
              cast(c.type);
    }
    if (!sets.empty()) {
      params.push_back(std::to_string(cursor_.current));
      Status st = c_.defer("WITH w AS (UPDATE " + table() + " SET " + sets + " WHERE " +
                               quoted(kPosition) + "=$" + std::to_string(params.size()) +
                               "::bigint RETURNING 1) SELECT 1/count(*) FROM w",
                           params, info_.label);
      if (!st) return st;
    } else if (!c_.whole()) {
      return c_.failure(nullptr, "escribiendo", info_.label);
    }
    cursor_.image = cursor_.buffer;
    wroteCurrent();
    return Status::success();
  }
  // Written only over the row as it was read: another station's change in
  // between leaves no row to match.
  std::string sets;
  int n = 0;
  for (const schema::Column& c : columns) {
    sets += (n ? "," : "") + quoted(c.name) + "=$" + std::to_string(n + 1) + cast(c.type);
    ++n;
  }
  std::vector<std::string> params = columnValues(cursor_.buffer);
  params.push_back(std::to_string(cursor_.current));
  const std::string position = "$" + std::to_string(++n) + "::bigint";
  std::string lhs, rhs;
  for (const schema::Column& c : columns) {
    lhs += (lhs.empty() ? "" : ",") + quoted(c.name);
    rhs += (rhs.empty() ? "$" : ",$") + std::to_string(++n) + cast(c.type);
  }
  for (std::string& v : columnValues(cursor_.image)) params.push_back(std::move(v));
  const std::string update = "UPDATE " + table() + " SET " + sets + " WHERE " + quoted(kPosition) +
                             "=" + position + " AND ROW(" + lhs + ") IS NOT DISTINCT FROM ROW(" +
                             rhs + ")";
  Result r = run(c_, update, params);
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
    return c_.failure(r.get(), "escribiendo", info_.label);
  if (std::string(PQcmdTuples(r.get())) != "1") {
    bool gone = false;
    Result still =
        run(c_, "SELECT 1 FROM " + table() + " WHERE " + quoted(kPosition) + "=$1::bigint",
            {std::to_string(cursor_.current)});
    gone = PQresultStatus(still.get()) == PGRES_TUPLES_OK && PQntuples(still.get()) == 0;
    return Status::error(err::RecordChanged,
                         errorText(err::RecordChanged) + (gone ? ": el registro fue borrado" : ""))
        .on(info_.label);
  }
  cursor_.image = cursor_.buffer;
  wroteCurrent();
  return Status::success();
}

// The record last read is on the server as it was read.
Status ServerTable::unchangedSinceRead() {
  std::vector<std::string> params = {std::to_string(cursor_.current)};
  std::string lhs, rhs;
  int n = 1;
  for (const schema::Column& c : schema::columns(stored(info_))) {
    lhs += (lhs.empty() ? "" : ",") + quoted(c.name);
    rhs += (rhs.empty() ? "$" : ",$") + std::to_string(++n) + cast(c.type);
  }
  for (std::string& v : columnValues(cursor_.image)) params.push_back(std::move(v));
  Result r = run(c_,
                 "SELECT ROW(" + lhs + ") IS NOT DISTINCT FROM ROW(" + rhs + ") FROM " + table() +
                     " WHERE " + quoted(kPosition) + "=$1::bigint",
                 params);
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "leyendo", info_.label);
  if (PQntuples(r.get()) == 1 && std::string(PQgetvalue(r.get(), 0, 0)) == "t")
    return Status::success();
  return Status::error(err::RecordChanged,
                       errorText(err::RecordChanged) +
                           (PQntuples(r.get()) == 0 ? ": el registro fue borrado" : ""))
      .on(info_.label);
}

// The record last read, as it was read: a record another station changed or
// deleted meanwhile is not deleted behind the clerk's back.
Status ServerTable::remove() {
  c_.wrote();
  if (cursor_.current == 0)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  const auto& columns = schema::columns(stored(info_));
  std::vector<std::string> params = {std::to_string(cursor_.current)};
  std::string lhs, rhs;
  int n = 1;
  for (const schema::Column& c : columns) {
    lhs += (lhs.empty() ? "" : ",") + quoted(c.name);
    rhs += (rhs.empty() ? "$" : ",$") + std::to_string(++n) + cast(c.type);
  }
  for (std::string& v : columnValues(cursor_.image)) params.push_back(std::move(v));
  Result r = run(c_,
                 "DELETE FROM " + table() + " WHERE " + quoted(kPosition) + "=$1::bigint AND ROW(" +
                     lhs + ") IS NOT DISTINCT FROM ROW(" + rhs + ")",
                 params);
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
    return c_.failure(r.get(), "borrando", info_.label);
  if (std::string(PQcmdTuples(r.get())) != "1") {
    Result still =
        run(c_, "SELECT 1 FROM " + table() + " WHERE " + quoted(kPosition) + "=$1::bigint",
            {std::to_string(cursor_.current)});
    const bool gone = PQresultStatus(still.get()) == PGRES_TUPLES_OK && PQntuples(still.get()) == 0;
    return Status::error(err::RecordChanged,
                         errorText(err::RecordChanged) + (gone ? ": el registro fue borrado" : ""))
        .on(info_.label);
  }
  forgetHeld(cursor_.current);
  cursor_.current = 0;
  return Status::success();
}

Status ServerTable::removeByPosition(std::int64_t position) {
  c_.wrote();
  Result r = run(c_, "DELETE FROM " + table() + " WHERE " + quoted(kPosition) + "=$1::bigint",
                 {std::to_string(position)});
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
    return c_.failure(r.get(), "borrando", info_.label);
  if (std::string(PQcmdTuples(r.get())) != "1")
    return Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  if (position == cursor_.current) cursor_.current = 0;
  forgetHeld(position);
  return Status::success();
}

void ServerTable::forgetHeld(std::int64_t position) {
  if (c_.inTransaction()) c_.rowWritten(table(), position);
  heldRows_.erase(std::remove_if(heldRows_.begin(), heldRows_.end(),
                                 [&](const Held& h) { return h.position == position; }),
                  heldRows_.end());
}

}  // namespace velmora::db::server
