// Automatic numbers being entered, flags a station holds while it works, and
// the temporary orders of a table on the server. A number or a flag is held
// by a session of the server: a station that stops (or whose connection
// drops) holds nothing, whichever host it ran on.

#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "dictionary/cp1252.h"
#include "dictionary/server_internal.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"

namespace velmora::db::server {

namespace {

std::string hostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "?";
  return name;
}

// A reservation whose session is gone holds nothing.
constexpr const char* kLive =
    "EXISTS (SELECT 1 FROM pg_stat_activity a WHERE a.pid = r.pid AND"
    " (a.backend_start IS NULL OR r.inicio IS NULL OR a.backend_start = r.inicio))";

constexpr const char* kMine =
    "pg_backend_pid(), (SELECT backend_start FROM pg_stat_activity WHERE pid = pg_backend_pid())";

// Runs in the open transaction, or in one of its own.
class Own {
 public:
  explicit Own(Connection& c) : c_(c), own_(!c.inTransaction()) {}
  Status begin() { return own_ ? c_.begin() : Status::success(); }
  Status end(Status st) {
    if (!own_) return st;
    if (st) return c_.commit();
    c_.rollback();
    return st;
  }

 private:
  Connection& c_;
  bool own_;
};

}  // namespace

Status ServerTable::reserveAutoNumber(const dict::KeyInfo& key, std::int64_t& reservation) {
  reservation = 0;
  const int n = int(key.components.size());
  const schema::Column& lastColumn = columnOf(info_, key.components[std::size_t(n - 1)]);
  const std::string reservations = tableName(schema_, "velmora_reservas");
  std::vector<std::string> values = keyParams(key, cursor_.buffer);
  std::string prefix;
  for (int i = 0; i + 1 < n; ++i) {
    std::string v = values[std::size_t(i)];
    if (key.noCase && isText(columnOf(info_, key.components[std::size_t(i)]).type))
      v = cp1252::upperUtf8(v);
    prefix += (i ? "|" : "") + v;
  }
  Own own(c_);
  Status st = own.begin();
  if (!st) return st.on(info_.label);
  auto step = [&](const std::string& sql, const std::vector<std::string>& params, Result& out) {
    out = run(c_, sql, params);
    return ran(out.get()) ? Status::success() : c_.failure(out.get(), "reservando", info_.label);
  };
  Result r(nullptr, PQclear);
  // One station at a time numbers under the same key of the same table.
  st = step("SELECT pg_advisory_xact_lock(hashtext($1))",
            {"velmora " + schema_ + "." + name_ + " " + std::string(key.name)}, r);
  if (st) st = step("DELETE FROM " + reservations + " r WHERE NOT " + std::string(kLive), {}, r);
  std::int64_t highest = 0;
  if (st) {
    std::vector<std::string> params;
    std::string where;
    int count = n - 1;
    if (count > 0) {
      int left = 0, right = 1;
      where = keyTuple(key, left, false, count) + "=" + keyTuple(key, right, false, count);
      params.assign(values.begin(), values.begin() + count);
    }
    const int index = keyIndex(key);
    if (std::string filter = index >= 0 ? keyFilterSql(info_, index) : ""; !filter.empty())
      where += (where.empty() ? "" : " AND ") + filter.substr(6);
    st = step("SELECT COALESCE(max(" + quoted(lastColumn.name) + "),0) FROM " + table() +
                  (where.empty() ? "" : " WHERE " + where),
              params, r);
    if (st) highest = std::stoll(PQgetvalue(r.get(), 0, 0));
  }
  if (st) {
    st = step("SELECT COALESCE(max(numero),0) FROM " + reservations +
                  " WHERE tabla=$1 AND clave=$2 AND prefijo=$3",
              {name_, std::string(key.name), prefix}, r);
    if (st) highest = std::max<std::int64_t>(highest, std::stoll(PQgetvalue(r.get(), 0, 0)));
  }
  const std::int64_t number = highest < 0 ? 1 : highest + 1;
  if (st) {
    st = cursor_.buffer.set(resolve(info_, info_.fields[std::size_t(lastColumn.field)].name),
                            Value(number));
    if (!st) st.table = info_.label;
  }
  if (st)
    st = step(
        "INSERT INTO " + reservations +
            "(tabla,clave,prefijo,numero,pid,inicio,estacion,desde) VALUES($1,$2,$3,$4::bigint," +
            kMine + ",$5,$6::bigint) RETURNING id",
        {name_, std::string(key.name), prefix, std::to_string(number), hostName(),
         std::to_string(std::time(nullptr))},
        r);
  const std::int64_t id = st ? std::stoll(PQgetvalue(r.get(), 0, 0)) : 0;
  st = own.end(st);
  if (st) reservation = id;
  return st.on(info_.label);
}

Status ServerTable::releaseReservation(std::int64_t reservation) {
  if (reservation == 0) return Status::success();
  Result r =
      run(c_, "DELETE FROM " + tableName(schema_, "velmora_reservas") + " WHERE id=$1::bigint",
          {std::to_string(reservation)});
  return ran(r.get()) ? Status::success() : c_.failure(r.get(), "reservando", info_.label);
}

// A flag row: clave = the flag's name, prefijo = the holder's user number.
Status ServerTable::holdFlag(std::string_view flag, std::int64_t user) {
  const std::string reservations = tableName(schema_, "velmora_reservas");
  Own own(c_);
  Status st = own.begin();
  if (!st) return st.on(info_.label);
  Result r = run(c_, "DELETE FROM " + reservations + " WHERE tabla=$1 AND clave=$2",
                 {name_, std::string(flag)});
  if (!ran(r.get())) st = c_.failure(r.get(), "reservando", info_.label);
  if (st) {
    r = run(c_,
            "INSERT INTO " + reservations +
                "(tabla,clave,prefijo,numero,pid,inicio,estacion,desde) VALUES($1,$2,$3,0," +
                kMine + ",$4,$5::bigint)",
            {name_, std::string(flag), std::to_string(user), hostName(),
             std::to_string(std::time(nullptr))});
    if (!ran(r.get())) st = c_.failure(r.get(), "reservando", info_.label);
  }
  return own.end(st);
}

Status ServerTable::releaseFlag(std::string_view flag) {
  Result r = run(
      c_, "DELETE FROM " + tableName(schema_, "velmora_reservas") + " WHERE tabla=$1 AND clave=$2",
      {name_, std::string(flag)});
  return ran(r.get()) ? Status::success() : c_.failure(r.get(), "reservando", info_.label);
}

Status ServerTable::flagHolder(std::string_view flag, Holder& holder) {
  holder = {};
  Result r = run(c_,
                 "SELECT estacion, prefijo, desde FROM " + tableName(schema_, "velmora_reservas") +
                     " r WHERE tabla=$1 AND clave=$2 AND " + kLive + " ORDER BY id LIMIT 1",
                 {name_, std::string(flag)});
  if (!ran(r.get())) return c_.failure(r.get(), "leyendo", info_.label);
  if (PQntuples(r.get()) == 0) return Status::success();
  holder.held = true;
  holder.host = PQgetvalue(r.get(), 0, 0);
  holder.user = std::atoll(PQgetvalue(r.get(), 0, 1));
  holder.since = std::atoll(PQgetvalue(r.get(), 0, 2));
  return Status::success();
}

// The order follows the records as they are now; texts compare without
// case, as a list's header click sorts them.
Status ServerTable::sortBy(const std::vector<int>& fields, const dict::KeyInfo*& order,
                           const dict::KeyInfo* rangeKey, int rangeComponents) {
  // The fields are plain ones: the engine's table checked them.
  order = nullptr;
  forgetAhead();
  sortFields_.assign(fields.begin(), fields.end());
  sortKey_ = std::make_unique<dict::KeyInfo>(
      dict::KeyInfo{"(orden)", "(orden)", sortFields_, false, true, false, false, false});
  rangeKey_ = nullptr;
  rangeValues_.clear();
  if (rangeKey && rangeComponents > 0) {
    rangeKey_ = rangeKey;
    rangeValues_ = keyParams(*rangeKey, cursor_.buffer);
    rangeValues_.resize(std::min(rangeValues_.size(), static_cast<std::size_t>(rangeComponents)));
  }
  order = sortKey_.get();
  return Status::success();
}

}  // namespace velmora::db::server
