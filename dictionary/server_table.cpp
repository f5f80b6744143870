#include "dictionary/server_table.h"

#include <libpq-fe.h>

#include <memory>
#include <string>

#include "dictionary/decimal.h"
#include "dictionary/schema.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/storage.h"

namespace velmora::db::server {

namespace {

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

const dict::TableInfo& stored(const dict::TableInfo& t) { return dict::table(t.storage); }

const char* cast(dict::Type t) {
  switch (t) {
    case dict::Type::Real: return "::double precision";
    case dict::Type::String:
    case dict::Type::Memo: return "::text";
    default: return "::bigint";
  }
}

bool isText(dict::Type t) { return t == dict::Type::String || t == dict::Type::Memo; }

// The column of a key component: the field itself (keys are on scalars).
const schema::Column& columnOf(const dict::TableInfo& t, int field) {
  for (const schema::Column& c : schema::columns(stored(t)))
    if (c.field == field) return c;
  return schema::columns(stored(t)).front();
}

Result execParams(pg_conn* pg, const std::string& sql, const std::vector<std::string>& params) {
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  return Result(PQexecParams(pg, sql.c_str(), int(values.size()), nullptr, values.data(), nullptr,
                             nullptr, 0),
                PQclear);
}

// The row's columns after its position, into the record.
void decode(const PGresult* r, Record& into, std::int64_t& position) {
  const dict::TableInfo& t = into.table();
  position = std::stoll(PQgetvalue(r, 0, 0));
  int col = 1;
  for (const schema::Column& c : schema::columns(stored(t))) {
    void* p = t.ops->address(into.data(), c.field, c.element);
    const char* v = PQgetvalue(r, 0, col++);
    switch (c.type) {
      case dict::Type::Byte: *static_cast<std::uint8_t*>(p) = std::uint8_t(std::stoll(v)); break;
      case dict::Type::Short: *static_cast<std::int16_t*>(p) = std::int16_t(std::stoll(v)); break;
      case dict::Type::Long: *static_cast<std::int32_t*>(p) = std::int32_t(std::stoll(v)); break;
      case dict::Type::Real: *static_cast<double*>(p) = std::stod(v); break;
      case dict::Type::Decimal:
        *static_cast<Decimal*>(p) = Decimal::fromCents(std::stoll(v));
        break;
      case dict::Type::String:
      case dict::Type::Memo: *static_cast<std::string*>(p) = v; break;
      case dict::Type::Group: break;
    }
  }
}

}  // namespace

Connection::Connection(const std::string& conninfo) : pg_(PQconnectdb(conninfo.c_str())) {
  if (PQstatus(pg_) != CONNECTION_OK) {
    status_ = Status::error(err::FileSystem, "No se pudo conectar con el servidor " +
                                                 std::string(PQhost(pg_) ? PQhost(pg_) : "") +
                                                 ": " + PQerrorMessage(pg_));
    return;
  }
  status_ = setLockTimeout(10000);
}

Status Connection::setLockTimeout(int milliseconds) {
  return exec("SET lock_timeout = " + std::to_string(milliseconds));
}

Status Connection::begin() { return exec("BEGIN ISOLATION LEVEL READ COMMITTED"); }
Status Connection::commit() { return exec("COMMIT"); }
void Connection::rollback() { (void)exec("ROLLBACK"); }

Status Connection::failure(const void* result, const std::string& what,
                           std::string_view table) const {
  const auto* r = static_cast<const PGresult*>(result);
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const std::string code = state ? state : "";
  if (code == "55P03") return Status::error(err::FileLocked, errorText(err::FileLocked)).on(table);
  if (code == "23505")
    return Status::error(err::DuplicateKey, errorText(err::DuplicateKey)).on(table);
  if (PQstatus(pg_) != CONNECTION_OK)
    return Status::error(err::FileSystem, "Se perdió la conexión con el servidor " +
                                              std::string(PQhost(pg_) ? PQhost(pg_) : "") +
                                              (what.empty() ? "" : " " + what) +
                                              "; el servidor deshizo lo que no se había terminado")
        .on(table);
  return Status::error(err::FileSystem, "El servidor rechazó la orden" +
                                            (what.empty() ? "" : " " + what) + ": " +
                                            std::string(PQerrorMessage(pg_)))
      .on(table);
}

Connection::~Connection() { PQfinish(pg_); }

Status Connection::exec(const std::string& sql) {
  Result r(PQexec(pg_, sql.c_str()), PQclear);
  if (PQresultStatus(r.get()) == PGRES_COMMAND_OK || PQresultStatus(r.get()) == PGRES_TUPLES_OK)
    return Status::success();
  return failure(r.get(), "", "");
}

ServerTable::ServerTable(Connection& c, std::string schema, const dict::TableInfo& info)
    : c_(c), schema_(std::move(schema)), info_(info), buffer_(info), image_(info) {}

Status ServerTable::create() {
  if (Status st = c_.exec(tableSql(schema_, info_)); !st.ok()) return st;
  for (const std::string& index : indexSql(schema_, info_))
    if (Status st = c_.exec(index); !st.ok()) return st;
  return Status::success();
}

std::vector<std::string> ServerTable::keyParams(const dict::KeyInfo& key, const Record& r) const {
  const std::vector<std::string> all = columnValues(r);
  const auto& columns = schema::columns(stored(info_));
  std::vector<std::string> params;
  for (std::int16_t f : key.components) {
    const schema::Column& c = columnOf(info_, f);
    params.push_back(all[std::size_t(&c - columns.data())]);
  }
  return params;
}

// "(k1, k2[, pos])" on the left of a comparison, or with `param` counting
// the placeholders on the right.
std::string ServerTable::keyTuple(const dict::KeyInfo& key, int& param, bool withPosition) const {
  std::string sql = "(";
  bool first = true;
  for (std::int16_t f : key.components) {
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

Status ServerTable::add() {
  std::string columns, marks;
  int n = 0;
  for (const schema::Column& c : schema::columns(stored(info_))) {
    columns += (n ? "," : "") + quoted(c.name);
    marks += (n ? ",$" : "$") + std::to_string(n + 1) + cast(c.type);
    ++n;
  }
  Result r = execParams(c_.get(),
                        "INSERT INTO " + tableName(schema_, info_) + "(" + columns + ") VALUES(" +
                            marks + ") RETURNING " + quoted(kPosition),
                        columnValues(buffer_));
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    return c_.failure(r.get(), "agregando", info_.label);
  current_ = std::stoll(PQgetvalue(r.get(), 0, 0));
  image_ = buffer_;
  return Status::success();
}

Status ServerTable::get(const dict::KeyInfo& key) {
  order_ = &key;
  from_ = From::Values;
  fromValues_ = keyParams(key, buffer_);
  int left = 0, right = 1;
  const std::string where = keyTuple(key, left, false) + " = " + keyTuple(key, right, false);
  std::string filter = keyFilterSql(info_, int(&key - stored(info_).keys.data()));
  Result r = execParams(c_.get(),
                        "SELECT * FROM " + tableName(schema_, info_) + " " +
                            (filter.empty() ? "WHERE " : filter + " AND ") + where + " ORDER BY " +
                            keyOrderSql(schema_, info_, int(&key - stored(info_).keys.data())) +
                            " LIMIT 1",
                        fromValues_);
  return reached(r.get(), err::RecordNotFound);
}

Status ServerTable::getByPosition(std::int64_t position) {
  Result r = execParams(
      c_.get(),
      "SELECT * FROM " + tableName(schema_, info_) + " WHERE " + quoted(kPosition) + "=$1::bigint",
      {std::to_string(position)});
  order_ = nullptr;
  return reached(r.get(), err::RecordNotFound);
}

Status ServerTable::setStart(const dict::KeyInfo* key) {
  order_ = key;
  from_ = From::Start;
  fromValues_.clear();
  return Status::success();
}

Status ServerTable::set(const dict::KeyInfo* key) {
  order_ = key;
  from_ = From::Values;
  fromValues_ = key ? keyParams(*key, buffer_) : std::vector<std::string>{std::to_string(current_)};
  return Status::success();
}

Status ServerTable::next() { return read(true); }
Status ServerTable::previous() { return read(false); }

Status ServerTable::read(bool forward) {
  std::string where, order;
  if (order_) {
    const int key = int(order_ - stored(info_).keys.data());
    where = keyFilterSql(info_, key);
    order = keyOrderSql(schema_, info_, key);
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
  std::string compare;
  if (from_ != From::Start) {
    const bool withPosition = from_ == From::Record;
    int left = 0, right = 1;
    std::string lhs, rhs;
    if (order_) {
      lhs = keyTuple(*order_, left, withPosition);
      rhs = keyTuple(*order_, right, withPosition);
    } else {
      lhs = "(" + quoted(kPosition) + ")";
      rhs = "($1::bigint)";
    }
    const char* op = withPosition ? (forward ? " > " : " < ") : (forward ? " >= " : " <= ");
    compare = lhs + op + rhs;
  }
  if (!compare.empty()) where += (where.empty() ? "WHERE " : " AND ") + compare;
  Result r = execParams(c_.get(),
                        "SELECT * FROM " + tableName(schema_, info_) + " " + where + " ORDER BY " +
                            order + " LIMIT 1",
                        from_ == From::Start ? std::vector<std::string>{} : fromValues_);
  return reached(r.get(), err::NoRecord);
}

Status ServerTable::reached(const void* result, int missing) {
  const auto* r = static_cast<const PGresult*>(result);
  if (PQresultStatus(r) != PGRES_TUPLES_OK) return c_.failure(r, "leyendo", info_.label);
  if (PQntuples(r) == 0) return Status::error(missing, errorText(missing)).on(info_.label);
  decode(r, buffer_, current_);
  image_ = buffer_;
  // The next read goes on from this record, in the order of the key read.
  from_ = From::Record;
  fromValues_ = order_ ? keyParams(*order_, buffer_) : std::vector<std::string>{};
  fromValues_.push_back(std::to_string(current_));
  return Status::success();
}

Status ServerTable::put() {
  // Written only over the row as it was read: another station's change in
  // between leaves no row to match.
  std::string sets, same;
  int n = 0;
  const auto& columns = schema::columns(stored(info_));
  for (const schema::Column& c : columns) {
    sets += (n ? "," : "") + quoted(c.name) + "=$" + std::to_string(n + 1) + cast(c.type);
    ++n;
  }
  std::vector<std::string> params = columnValues(buffer_);
  params.push_back(std::to_string(current_));
  const std::string position = "$" + std::to_string(++n) + "::bigint";
  std::string lhs, rhs;
  for (const schema::Column& c : columns) {
    lhs += (lhs.empty() ? "" : ",") + quoted(c.name);
    rhs += (rhs.empty() ? "$" : ",$") + std::to_string(++n) + cast(c.type);
  }
  for (std::string& v : columnValues(image_)) params.push_back(std::move(v));
  Result r = execParams(c_.get(),
                        "UPDATE " + tableName(schema_, info_) + " SET " + sets + " WHERE " +
                            quoted(kPosition) + "=" + position + " AND ROW(" + lhs +
                            ") IS NOT DISTINCT FROM ROW(" + rhs + ")",
                        params);
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
    return c_.failure(r.get(), "escribiendo", info_.label);
  if (std::string(PQcmdTuples(r.get())) != "1")
    return Status::error(err::RecordChanged, errorText(err::RecordChanged)).on(info_.label);
  image_ = buffer_;
  return Status::success();
}

Status ServerTable::remove() {
  Result r = execParams(
      c_.get(),
      "DELETE FROM " + tableName(schema_, info_) + " WHERE " + quoted(kPosition) + "=$1::bigint",
      {std::to_string(current_)});
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
    return c_.failure(r.get(), "borrando", info_.label);
  if (std::string(PQcmdTuples(r.get())) != "1")
    return Status::error(err::RecordNotFound, errorText(err::RecordNotFound)).on(info_.label);
  return Status::success();
}

}  // namespace velmora::db::server
