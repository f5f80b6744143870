#include "dictionary/server_upgrade.h"

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/schema.h"
#include "dictionary/server_internal.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/storage.h"

namespace velmora::db::server {

const char* const kSignatureSql =
    "SELECT (SELECT string_agg(a.attname || ' ' || format_type(a.atttypid, NULL), ','"
    " ORDER BY a.attnum) FROM pg_attribute a WHERE a.attrelid = t.oid AND a.attnum > 0"
    " AND NOT a.attisdropped) FROM (SELECT to_regclass($1) AS oid) t";

int versionOfSignature(const dict::TableInfo& table, const std::string& signature) {
  const dict::TableInfo& s = stored(table);
  const dict::TableInfo& base = s.kind == dict::Kind::Layout ? dict::table(s.base) : s;
  if (layoutSignature(base) == signature) return base.version;
  for (int v = base.version; v >= 1; --v)
    if (const dict::TableInfo* l = dict::layoutOf(base, v); l && layoutSignature(*l) == signature)
      return v;
  return 0;
}

TableConversion::TableConversion(Storage& storage, std::string schema, std::string name,
                                 const dict::TableInfo& from, const dict::TableInfo& to)
    : ctx_(std::make_unique<Context>(storage)),
      schema_(std::move(schema)),
      name_(std::move(name)),
      from_(stored(from)),
      to_(stored(to)) {}

TableConversion::~TableConversion() {
  if (open_) c_->rollback();
}

// The new table while it is filled, beside the old one.
std::string TableConversion::temp() const { return name_ + "#nuevo"; }

Status TableConversion::failed(const Status& st) {
  if (open_) c_->rollback();
  open_ = false;
  Status out = st;
  if (out.table.empty()) out.table = std::string(to_.label);
  return out;
}

Status TableConversion::start(std::int64_t& total, bool& stillOld) {
  total = 0;
  stillOld = false;
  Status st;
  c_ = ctx_->serverSession(st);
  if (!c_) return st;
  if (!(st = c_->begin())) return st;
  open_ = true;
  const std::string old = tableName(schema_, name_);
  auto query = [&](const std::string& sql, const std::vector<std::string>& params, Result& r) {
    r = execParams(*c_, sql, params);
    return ran(r.get()) ? Status::success() : c_->failure(r.get(), "actualizando", to_.label);
  };
  // Stations converting the same table, or making it, take turns; writers
  // wait until the new table is in place (readers go on with the old one).
  Result r(nullptr, PQclear);
  st = query("SELECT pg_advisory_xact_lock(hashtext($1))", {"velmora " + schema_ + "." + name_}, r);
  if (st) st = c_->exec("LOCK TABLE " + old + " IN SHARE MODE");
  if (st) st = query(kSignatureSql, {old}, r);
  if (!st) return failed(st);
  if (PQgetisnull(r.get(), 0, 0) || layoutSignature(from_) != PQgetvalue(r.get(), 0, 0)) {
    c_->rollback();
    open_ = false;
    return Status::success();
  }
  stillOld = true;

  // A text the new layout holds shorter is not cut: the record is named.
  const auto& oldCols = schema::columns(from_);
  const auto& newCols = schema::columns(to_);
  for (const schema::Column& o : oldCols) {
    if (!isText(o.type)) continue;
    for (const schema::Column& n : newCols) {
      if (n.name != o.name || n.type != o.type) continue;
      const auto width = to_.fields[std::size_t(n.field)].size;
      if (width >= from_.fields[std::size_t(o.field)].size) continue;
      st = query("SELECT " + quoted(kPosition) + " FROM " + old + " WHERE length(" +
                     quoted(o.name) + ") > $1::integer ORDER BY 1 LIMIT 1",
                 {std::to_string(width)}, r);
      if (!st) return failed(st);
      if (PQntuples(r.get()) > 0)
        return failed(Status::error(err::ValueRefused,
                                    errorText(err::ValueRefused) + ": " + o.name + " no cabe en " +
                                        std::to_string(width) + " caracteres (registro " +
                                        PQgetvalue(r.get(), 0, 0) + ")"));
    }
  }

  st = query("SELECT count(*) FROM " + old, {}, r);
  if (!st) return failed(st);
  total = std::stoll(PQgetvalue(r.get(), 0, 0));
  if (!(st = c_->exec(tableSql(schema_, to_, temp())))) return failed(st);

  // Each new column from the old one of its name and type, the others as a
  // cleared record has them.
  Record cleared(to_);
  cleared.clear();
  std::string list = quoted(kPosition), values = quoted(kPosition);
  for (const schema::Column& n : newCols) {
    list += "," + quoted(n.name);
    std::string value;
    for (const schema::Column& o : oldCols)
      if (o.name == n.name && o.type == n.type) value = quoted(o.name);
    if (value.empty()) {
      std::string literal = columnValue(cleared, n);
      std::string escaped = "'";
      for (char ch : literal) escaped += ch == '\'' ? std::string("''") : std::string(1, ch);
      value = escaped + "'" + cast(n.type);
    }
    values += "," + value;
  }
  copySql_ = "WITH c AS (INSERT INTO " + tableName(schema_, temp()) + "(" + list +
             ") OVERRIDING SYSTEM VALUE SELECT " + values + " FROM " + old + " WHERE " +
             quoted(kPosition) + " > $1::bigint ORDER BY " + quoted(kPosition) +
             " LIMIT $2::bigint RETURNING " + quoted(kPosition) + ") SELECT count(*), max(" +
             quoted(kPosition) + ") FROM c";
  return Status::success();
}

Status TableConversion::step(int batch, std::int64_t& copied, bool& more) {
  more = false;
  if (!open_) return Status::error(err::InvalidDataFile, errorText(err::InvalidDataFile));
  if (batch < 1) batch = 1;
  Result r = execParams(*c_, copySql_, {std::to_string(last_), std::to_string(batch)});
  if (!ran(r.get())) return failed(c_->failure(r.get(), "copiando", to_.label));
  const std::int64_t added = std::stoll(PQgetvalue(r.get(), 0, 0));
  copied += added;
  if (added > 0) last_ = std::stoll(PQgetvalue(r.get(), 0, 1));
  more = added == batch;
  return Status::success();
}

Status TableConversion::finish(std::int64_t total) {
  if (!open_) return Status::error(err::InvalidDataFile, errorText(err::InvalidDataFile));
  const std::string old = tableName(schema_, name_);
  const std::string fresh = tableName(schema_, temp());
  Result r(nullptr, PQclear);
  auto query = [&](const std::string& sql, const std::vector<std::string>& params) {
    r = execParams(*c_, sql, params);
    return ran(r.get()) ? Status::success() : c_->failure(r.get(), "actualizando", to_.label);
  };
  Status st = query("SELECT count(*) FROM " + fresh, {});
  if (st && std::stoll(PQgetvalue(r.get(), 0, 0)) != total)
    st = Status::error(err::InvalidDataFile,
                       errorText(err::InvalidDataFile) + ": la tabla nueva tiene " +
                           PQgetvalue(r.get(), 0, 0) + " registros y la anterior " +
                           std::to_string(total));
  // Positions are never given twice: the new table numbers on from where
  // the old one had got to.
  std::string highest;
  if (st)
    st = query("SELECT GREATEST(COALESCE((SELECT max(" + quoted(kPosition) + ") FROM " + old +
                   "), 0), COALESCE(pg_sequence_last_value(pg_get_serial_sequence($1, $2)), 0))",
               {old, kPosition});
  if (st) highest = PQgetvalue(r.get(), 0, 0);
  if (st) st = c_->exec("DROP TABLE " + old);
  if (st) st = c_->exec("ALTER TABLE " + fresh + " RENAME TO " + quoted(name_));
  // The key and the numbering under the table's own names.
  if (st) st = query("SELECT pg_get_serial_sequence($1, $2)", {old, kPosition});
  const std::string sequence = st ? PQgetvalue(r.get(), 0, 0) : "";
  if (st)
    st = c_->exec("ALTER INDEX " + tableName(schema_, temp() + "_pkey") + " RENAME TO " +
                  quoted(name_ + "_pkey"));
  if (st)
    st = c_->exec("ALTER SEQUENCE " + sequence + " RENAME TO " +
                  quoted(name_ + "_" + kPosition + "_seq"));
  if (st && highest != "0")
    st = query("SELECT setval(pg_get_serial_sequence($1, $2), $3::bigint)",
               {old, kPosition, highest});
  for (const std::string& index : indexSql(schema_, to_, name_))
    if (st) st = c_->exec(index);
  if (st) st = c_->exec("COMMENT ON TABLE " + old + " IS 'velmora " + std::string(to_.label) + "'");
  if (!st) return failed(st);
  open_ = false;
  st = c_->commit();
  if (!st) return failed(st);
  return st;
}

}  // namespace velmora::db::server
