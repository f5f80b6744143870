#include "dictionary/server_table.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

#include "dictionary/decimal.h"
#include "dictionary/schema.h"
#include "dictionary/server_internal.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_upgrade.h"
#include "dictionary/storage.h"

namespace velmora::db::server {

const char* cast(dict::Type t) {
  switch (t) {
    case dict::Type::Real: return "::double precision";
    case dict::Type::String:
    case dict::Type::Memo: return "::text";
    default: return "::bigint";
  }
}

const schema::Column& columnOf(const dict::TableInfo& t, int field) {
  for (const schema::Column& c : schema::columns(stored(t)))
    if (c.field == field) return c;
  return schema::columns(stored(t)).front();
}

void decode(const PGresult* r, int row, Record& into, std::int64_t& position) {
  const dict::TableInfo& t = into.table();
  position = std::stoll(PQgetvalue(r, row, 0));
  int col = 1;
  for (const schema::Column& c : schema::columns(stored(t))) {
    void* p = t.ops->address(into.data(), c.field, c.element);
    const char* v = PQgetvalue(r, row, col++);
    switch (c.type) {
      case dict::Type::Byte: *static_cast<std::uint8_t*>(p) = std::uint8_t(std::stoll(v)); break;
      case dict::Type::Short: *static_cast<std::int16_t*>(p) = std::int16_t(std::stoll(v)); break;
      case dict::Type::Long: *static_cast<std::int32_t*>(p) = std::int32_t(std::stoll(v)); break;
      case dict::Type::Real: {
        // Read as the server writes it, whatever the clerk's locale says
        // of decimal commas (strtod follows LC_NUMERIC, which a program's
        // window system sets from the desktop).
        double d = 0;
        std::from_chars(v, v + std::strlen(v), d);
        *static_cast<double*>(p) = d;
        break;
      }
      case dict::Type::Decimal:
        *static_cast<Decimal*>(p) = Decimal::fromCents(std::stoll(v));
        break;
      case dict::Type::String:
      case dict::Type::Memo: *static_cast<std::string*>(p) = v; break;
      case dict::Type::Group: break;
    }
  }
}

// --- one table ---------------------------------------------------------------

ServerTable::ServerTable(Connection& c, std::string schema, const dict::TableInfo& info)
    : c_(c),
      schema_(std::move(schema)),
      name_(schema::tableName(stored(info))),
      info_(info),
      ownBuffer_(info),
      ownImage_(info),
      cursor_{ownBuffer_, ownImage_, ownCurrent_} {}

ServerTable::ServerTable(Connection& c, std::string schema, std::string name,
                         const dict::TableInfo& info, Cursor cursor)
    : c_(c),
      schema_(std::move(schema)),
      name_(std::move(name)),
      info_(info),
      ownBuffer_(info),
      ownImage_(info),
      cursor_(cursor) {}

std::string ServerTable::table() const { return tableName(schema_, name_); }

void ServerTable::forgetAhead() {
  ahead_.rows.clear();
  ahead_.positions.clear();
  ahead_.next = 0;
  ahead_.atEnd = false;
}

std::string ServerTable::held() const { return c_.holdsReads() ? " FOR UPDATE" : ""; }

namespace {
// At most this many rows of a table are remembered as held: a posting
// touches a handful, a batch thousands that it reads once.
constexpr std::size_t kHeldMost = 32;
}  // namespace

void ServerTable::markHeld() {
  heldIn_ = c_.holdsReads() ? c_.transaction() : 0;
  heldRow_ = cursor_.current;
  if (heldIn_ == 0) return;
  heldStamp_ = c_.rowStamp(table(), cursor_.current);
  if (heldRowsIn_ != heldIn_) heldRows_.clear(), prefetched_.clear(), heldRowsIn_ = heldIn_;
  for (Held& h : heldRows_)
    if (h.position == cursor_.current) {
      h.stamp = heldStamp_;
      h.row = cursor_.buffer;
      return;
    }
  if (heldRows_.size() >= kHeldMost) heldRows_.erase(heldRows_.begin());
  heldRows_.push_back({cursor_.current, heldStamp_, cursor_.buffer});
}

void ServerTable::wroteCurrent() {
  if (c_.inTransaction()) c_.rowWritten(table(), cursor_.current);
  markHeld();
}

// The cursor's row is held by the open transaction as this table last read
// or wrote it: no other table of the session has written it since.
bool ServerTable::holdsCurrent() const {
  return heldIn_ != 0 && heldIn_ == c_.transaction() && heldRow_ == cursor_.current &&
         heldStamp_ == c_.rowStamp(table(), cursor_.current);
}

// A row the open transaction holds is as this table last read or wrote it:
// no other station can change it, remove it or give its unique key to
// another row until the transaction ends. A key that leaves out blank
// records and is blank, or one that compares texts without case, asks the
// server.
bool ServerTable::heldByKey(const dict::KeyInfo& key, const std::vector<std::string>& values) {
  if (!key.unique || heldRowsIn_ == 0 || heldRowsIn_ != c_.transaction() || !c_.holdsReads() ||
      !c_.whole() || (rangeKey_ && &key == sortKey_.get()))
    return false;
  bool blank = true;
  for (std::size_t i = 0; i < key.components.size(); ++i) {
    const schema::Column& c = columnOf(info_, key.components[i]);
    if (key.noCase && isText(c.type)) return false;
    blank = blank && (values[i].empty() || values[i] == "0" || values[i] == "-0");
  }
  if (blank && key.excludeNulls) return false;
  for (const Held& h : heldRows_) {
    if (keyParams(key, h.row) != values || h.stamp != c_.rowStamp(table(), h.position)) continue;
    cursor_.buffer = h.row;
    cursor_.image = h.row;
    cursor_.current = h.position;
    heldIn_ = heldRowsIn_;
    heldRow_ = h.position;
    heldStamp_ = h.stamp;
    order_ = &key;
    landed();
    return true;
  }
  return false;
}

// The comment names the dictionary's table: what the table holds when it
// goes back into a file.
Status ServerTable::create() {
  if (Status st = c_.exec(tableSql(schema_, info_, name_)); !st) return st;
  if (Status st = c_.exec("COMMENT ON TABLE " + table() + " IS 'velmora " +
                          std::string(stored(info_).label) + "'");
      !st)
    return st;
  for (const std::string& index : indexSql(schema_, info_, name_))
    if (Status st = c_.exec(index); !st) return st;
  return Status::success();
}

Status ServerTable::open(bool mayCreate) {
  Status st = c_.useSchema(schema_, mayCreate);
  if (!st) return st.on(info_.label);
  // A table found is in the layout this one reads, or in another layout
  // of its table (which the upgrade converts), or not ours at all.
  auto exists = [&](bool& found) {
    Result r = run(c_, kSignatureSql, {table()});
    if (!ran(r.get())) return c_.failure(r.get(), "abriendo", info_.label);
    found = !PQgetisnull(r.get(), 0, 0);
    if (!found) return Status::success();
    const std::string columns = PQgetvalue(r.get(), 0, 0);
    if (columns == layoutSignature(info_)) return Status::success();
    const std::string where = schema_ + "." + name_ + " (en el servidor)";
    if (versionOfSignature(info_, columns) > 0)
      return Status::error(err::InvalidRecord, errorText(err::InvalidRecord) + ": " + where +
                                                   " tiene otro formato de registro")
          .on(info_.label);
    return Status::error(err::InvalidDataFile,
                         errorText(err::InvalidDataFile) + ": " + where + " no es de Velmora")
        .on(info_.label);
  };
  // Known in the layout of the stored table this one reads.
  const std::string known = schema_ + "." + name_ + "#" + std::to_string(stored(info_).index);
  if (c_.knownTable(known)) return st;
  bool found = false;
  if (!(st = exists(found))) return st;
  if (found) {
    c_.tableExists(known);
    return st;
  }
  if (!mayCreate)
    return Status::error(err::FileNotFound, errorText(err::FileNotFound) + ": " + schema_ + "." +
                                                name_ + " (en el servidor)")
        .on(info_.label);
  const bool own = !c_.inTransaction();
  if (own && !(st = c_.begin())) return st.on(info_.label);
  Result r =
      run(c_, "SELECT pg_advisory_xact_lock(hashtext($1))", {"velmora " + schema_ + "." + name_});
  if (!ran(r.get())) st = c_.failure(r.get(), "creando", info_.label);
  if (st) st = exists(found);
  if (st && !found) st = create();
  if (own) {
    if (st)
      st = c_.commit();
    else
      c_.rollback();
  }
  // Made inside a transaction of the caller's, it exists once that commits.
  if (st && own) c_.tableExists(known);
  return st.on(info_.label);
}

int ServerTable::keyIndex(const dict::KeyInfo& key) const {
  for (const auto* keys : {&info_.keys, &stored(info_).keys})
    if (&key >= keys->data() && &key < keys->data() + keys->size()) return int(&key - keys->data());
  return -1;
}

std::vector<std::string> ServerTable::keyParams(const dict::KeyInfo& key, const Record& r) const {
  std::vector<std::string> params;
  params.reserve(key.components.size());
  for (std::int16_t f : key.components) params.push_back(columnValue(r, columnOf(info_, f)));
  return params;
}

// "(k1, k2[, pos])" on the left of a comparison (`param` 0), or with `param`
// numbering the placeholders on the right.
std::string ServerTable::keyTuple(const dict::KeyInfo& key, int& param, bool withPosition,
                                  int count) const {
  std::string sql = "(";
  bool first = true;
  int n = 0;
  for (std::int16_t f : key.components) {
    if (count >= 0 && n++ >= count) break;
    const schema::Column& c = columnOf(info_, f);
    std::string side;
    if (param == 0) {
      side = key.noCase && isText(c.type) ? foldedColumn(schema_, c.name) : quoted(c.name);
    } else {
      const std::string mark = "$" + std::to_string(param++) + cast(c.type);
      side = key.noCase && isText(c.type) ? quoted(schema_) + ".velmora_fold(" + mark + ")" : mark;
    }
    sql += (first ? "" : ",") + side;
    first = false;
  }
  if (withPosition)
    sql += std::string(first ? "" : ",") +
           (param == 0 ? quoted(kPosition) : "$" + std::to_string(param++) + "::bigint");
  return sql + ")";
}

// The records a key reads: a key that leaves out blank records filters
// them; the temporary order keeps to its range.
std::string ServerTable::filterSql(const dict::KeyInfo& key, int& param) const {
  const int index = keyIndex(key);
  if (index >= 0) {
    std::string filter = keyFilterSql(info_, index);
    return filter.empty() ? filter : filter.substr(6);  // without "WHERE "
  }
  if (!rangeKey_ || rangeValues_.empty()) return {};
  const int count = int(rangeValues_.size());
  int left = 0;
  return keyTuple(*rangeKey_, left, false, count) + "=" + keyTuple(*rangeKey_, param, false, count);
}

std::string ServerTable::orderSql(const dict::KeyInfo& key) const {
  const int index = keyIndex(key);
  if (index >= 0) return keyOrderSql(schema_, info_, index);
  int left = 0;
  std::string tuple = keyTuple(key, left, true);
  return tuple.substr(1, tuple.size() - 2);
}

Status ServerTable::get(const dict::KeyInfo& key) {
  forgetAhead();
  std::vector<std::string> params = keyParams(key, cursor_.buffer);
  if (heldByKey(key, params)) return Status::success();
  int left = 0, right = 1;
  std::string where = keyTuple(key, left, false) + " = " + keyTuple(key, right, false);
  if (std::string filter = filterSql(key, right); !filter.empty()) where += " AND " + filter;
  if (rangeKey_ && &key == sortKey_.get())
    for (const std::string& v : rangeValues_) params.push_back(v);
  Result r = run(c_,
                 "SELECT * FROM " + table() + " WHERE " + where + " ORDER BY " + orderSql(key) +
                     " LIMIT 1" + held(),
                 params);
  order_ = &key;
  return reached(r.get(), err::RecordNotFound);
}

Status ServerTable::prefetch(std::vector<std::int64_t> positions) {
  prefetched_.clear();
  if (!c_.holdsReads() || positions.empty()) return Status::success();
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  std::string list = "{";
  for (std::int64_t p : positions) list += (list.size() > 1 ? "," : "") + std::to_string(p);
  Result r = run(c_,
                 "SELECT * FROM " + table() + " WHERE " + quoted(kPosition) +
                     " = ANY($1::bigint[]) ORDER BY " + quoted(kPosition) + " FOR UPDATE",
                 {list + "}"});
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "leyendo", info_.label);
  const std::string name = table();
  if (heldRowsIn_ != c_.transaction()) heldRows_.clear(), heldRowsIn_ = c_.transaction();
  prefetched_.reserve(std::size_t(PQntuples(r.get())));
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    Held h{0, 0, Record(info_)};
    decode(r.get(), i, h.row, h.position);
    h.stamp = c_.rowStamp(name, h.position);
    prefetched_.push_back(std::move(h));
  }
  return Status::success();
}

// In position order, the order every station takes such rows in.
Status ServerTable::preload(const dict::KeyInfo& key, const std::vector<Record>& probes) {
  if (!key.unique || !c_.holdsReads() || !c_.whole()) return Status::success();
  for (std::int16_t f : key.components)
    if (key.noCase && isText(columnOf(info_, f).type)) return Status::success();
  std::vector<std::string> params;
  std::string sql;
  int param = 1;
  for (const Record& probe : probes) {
    std::vector<std::string> values = keyParams(key, probe);
    const bool blank = std::all_of(values.begin(), values.end(), [](const std::string& v) {
      return v.empty() || v == "0" || v == "-0";
    });
    if (blank && key.excludeNulls) continue;
    sql += (sql.empty() ? "" : ",") + keyTuple(key, param, false);
    params.insert(params.end(), values.begin(), values.end());
  }
  if (sql.empty()) return Status::success();
  int none = 0;
  sql = "SELECT * FROM " + table() + " WHERE " + keyTuple(key, none, false) + " IN (" + sql +
        ") ORDER BY " + quoted(kPosition) + " FOR UPDATE";
  Result r = run(c_, sql, params);
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "leyendo", info_.label);
  const std::string name = table();
  if (heldRowsIn_ != c_.transaction())
    heldRows_.clear(), prefetched_.clear(), heldRowsIn_ = c_.transaction();
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    Held h{0, 0, Record(info_)};
    decode(r.get(), i, h.row, h.position);
    h.stamp = c_.rowStamp(name, h.position);
    auto same = std::find_if(heldRows_.begin(), heldRows_.end(),
                             [&](const Held& o) { return o.position == h.position; });
    if (same != heldRows_.end()) {
      *same = std::move(h);
      continue;
    }
    if (heldRows_.size() >= kHeldMost) heldRows_.erase(heldRows_.begin());
    heldRows_.push_back(std::move(h));
  }
  return Status::success();
}

Status ServerTable::getByPosition(std::int64_t position) {
  forgetAhead();
  // Read at once by prefetch(), held since, and written by no table of the
  // session meanwhile.
  if (!prefetched_.empty() && heldRowsIn_ == c_.transaction() && c_.whole()) {
    auto at = std::lower_bound(prefetched_.begin(), prefetched_.end(), position,
                               [](const Held& h, std::int64_t p) { return h.position < p; });
    if (at != prefetched_.end() && at->position == position &&
        at->stamp == c_.rowStamp(table(), position)) {
      cursor_.buffer = at->row;
      cursor_.image = at->row;
      cursor_.current = position;
      order_ = nullptr;
      markHeld();
      landed();
      return Status::success();
    }
  }
  Result r =
      run(c_, "SELECT * FROM " + table() + " WHERE " + quoted(kPosition) + "=$1::bigint" + held(),
          {std::to_string(position)});
  order_ = nullptr;
  return reached(r.get(), err::RecordNotFound);
}

Status ServerTable::setStart(const dict::KeyInfo* key) {
  forgetAhead();
  order_ = key;
  from_ = From::Start;
  fromValues_.clear();
  return Status::success();
}

Status ServerTable::set(const dict::KeyInfo* key, int components) {
  forgetAhead();
  if (!key || components == 0) return setStart(key);
  const int n = int(key->components.size());
  order_ = key;
  from_ = From::Values;
  fromCount_ = components < 0 || components > n ? n : components;
  fromValues_ = keyParams(*key, cursor_.buffer);
  fromValues_.resize(std::size_t(fromCount_));
  return Status::success();
}

Status ServerTable::setAfter(const dict::KeyInfo* key, std::int64_t position) {
  forgetAhead();
  Result r = run(c_, "SELECT * FROM " + table() + " WHERE " + quoted(kPosition) + "=$1::bigint",
                 {std::to_string(position)});
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "leyendo", info_.label);
  if (PQntuples(r.get()) == 0)
    return Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  Record row(info_);
  std::int64_t at = 0;
  decode(r.get(), 0, row, at);
  order_ = key;
  from_ = From::Record;
  fromValues_ = key ? keyParams(*key, row) : std::vector<std::string>{};
  fromValues_.push_back(std::to_string(position));
  return Status::success();
}

Status ServerTable::next() { return read(true); }
Status ServerTable::previous() { return read(false); }

// Reading on in the same direction is served from the rows read ahead,
// unless this session wrote since they were read; inside a transaction
// that may write, each row is read (and held) on its own.
Status ServerTable::read(bool forward) {
  const bool reuse = from_ == From::Record && ahead_.forward == forward &&
                     ahead_.writes == c_.writes() && !c_.holdsReads();
  if (reuse && ahead_.next < ahead_.rows.size()) {
    cursor_.buffer = ahead_.rows[ahead_.next];
    cursor_.current = ahead_.positions[ahead_.next++];
    cursor_.image = cursor_.buffer;
    heldIn_ = 0;
    fromValues_ = order_ ? keyParams(*order_, cursor_.buffer) : std::vector<std::string>{};
    fromValues_.push_back(std::to_string(cursor_.current));
    return Status::success();
  }
  if (reuse && ahead_.atEnd)
    return Status::error(err::NoRecord, errorText(err::NoRecord)).on(info_.label);
  // A list's first page in one read; each refill in the same direction
  // reads twice as many, up to 512.
  ahead_.want = reuse ? std::min<std::size_t>(ahead_.want * 2, 512) : 24;
  const std::size_t limit = c_.holdsReads() ? 1 : ahead_.want;
  ahead_.rows.clear();
  ahead_.positions.clear();
  ahead_.next = 0;
  ahead_.forward = forward;
  ahead_.writes = c_.writes();
  std::string where, order;
  std::vector<std::string> params = from_ == From::Start ? std::vector<std::string>{} : fromValues_;
  int param = int(params.size()) + 1;
  if (order_) {
    where = filterSql(*order_, param);
    order = orderSql(*order_);
  } else {
    order = quoted(kPosition);
  }
  if (!forward) {
    // Every component the other way round.
    std::string reversed;
    std::size_t start = 0;
    int depth = 0;
    for (std::size_t i = 0; i <= order.size(); ++i) {
      if (i < order.size() && order[i] == '(') ++depth;
      if (i < order.size() && order[i] == ')') --depth;
      if (i == order.size() || (order[i] == ',' && depth == 0)) {
        reversed += (reversed.empty() ? "" : ",") + order.substr(start, i - start) + " DESC";
        start = i + 1;
      }
    }
    order = reversed;
  }
  if (from_ != From::Start) {
    const bool withPosition = from_ == From::Record;
    const int count = from_ == From::Values ? fromCount_ : -1;
    int left = 0, right = 1;
    std::string lhs, rhs;
    if (order_) {
      lhs = keyTuple(*order_, left, withPosition, count);
      rhs = keyTuple(*order_, right, withPosition, count);
    } else {
      lhs = "(" + quoted(kPosition) + ")";
      rhs = "($1::bigint)";
    }
    const char* op = withPosition ? (forward ? " > " : " < ") : (forward ? " >= " : " <= ");
    where += (where.empty() ? "" : " AND ") + lhs + op + rhs;
  }
  if (rangeKey_ && order_ == sortKey_.get())
    for (const std::string& v : rangeValues_) params.push_back(v);
  Result r = run(c_,
                 "SELECT * FROM " + table() + (where.empty() ? "" : " WHERE " + where) +
                     " ORDER BY " + order + " LIMIT " + std::to_string(limit) + held(),
                 params);
  Status st = reached(r.get(), err::NoRecord);
  const int n = PQntuples(r.get());
  ahead_.atEnd = st.ok() && std::size_t(n) < limit;
  for (int i = 1; st && i < n; ++i) {
    ahead_.rows.emplace_back(info_);
    ahead_.positions.push_back(0);
    decode(r.get(), i, ahead_.rows.back(), ahead_.positions.back());
  }
  return st;
}

Status ServerTable::reached(const void* result, int missing) {
  const auto* r = static_cast<const PGresult*>(result);
  if (PQresultStatus(r) != PGRES_TUPLES_OK) return c_.failure(r, "leyendo", info_.label);
  if (PQntuples(r) == 0) return Status::error(missing, errorText(missing)).on(info_.label);
  decode(r, 0, cursor_.buffer, cursor_.current);
  cursor_.image = cursor_.buffer;
  markHeld();
  landed();
  return Status::success();
}

// The next read goes on from the cursor's record, in the order of the key
// read.
void ServerTable::landed() {
  from_ = From::Record;
  fromValues_ = order_ ? keyParams(*order_, cursor_.buffer) : std::vector<std::string>{};
  fromValues_.push_back(std::to_string(cursor_.current));
}

Status ServerTable::records(std::int64_t& count) {
  count = 0;
  Result r = run(c_, "SELECT count(*) FROM " + table(), {});
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "contando", info_.label);
  count = std::stoll(PQgetvalue(r.get(), 0, 0));
  return Status::success();
}

Status ServerTable::buildKeys() { return c_.exec("REINDEX TABLE " + table()).on(info_.label); }

Status ServerTable::positionsWhere(const std::vector<int>& fields, const Record& probe,
                                   const dict::KeyInfo& order, std::vector<std::int64_t>& rows) {
  rows.clear();
  std::vector<std::string> params;
  const std::vector<std::string> all = columnValues(probe);
  const auto& columns = schema::columns(stored(info_));
  std::string where;
  for (int f : fields) {
    const schema::Column& c = columnOf(info_, f);
    where += (where.empty() ? "" : " AND ") + quoted(c.name) + "=" +
             param(params, all[std::size_t(&c - columns.data())], c.type);
  }
  int next = int(params.size()) + 1;
  if (std::string filter = filterSql(order, next); !filter.empty()) where += " AND " + filter;
  Result r = run(c_,
                 "SELECT " + quoted(kPosition) + " FROM " + table() + " WHERE " + where +
                     " ORDER BY " + orderSql(order),
                 params);
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "leyendo", info_.label);
  for (int i = 0; i < PQntuples(r.get()); ++i)
    rows.push_back(std::stoll(PQgetvalue(r.get(), i, 0)));
  return Status::success();
}

}  // namespace velmora::db::server
