// Automatic numbering for a record being entered. The number is reserved in
// a small side table of the file, never by writing a blank record: other
// stations do not see a record nobody has saved yet, and a station that stops
// with a form open leaves no empty record behind. A reservation names its
// station (host, process and the process's start), so that one left by a
// stopped station on this host is dropped by the next reservation; one of
// another host is dropped after a day. The flags a station holds while it
// works are kept in the same side table, under the flag's name.

#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "dictionary/table_internal.h"

namespace velmora::db {

using dict::KeyInfo;

namespace {

constexpr std::int64_t kForeignStationLife = 24 * 60 * 60;  // seconds
// A flag is held for the length of a posting and its cheque: one held for
// an hour by another host is taken for left by a station that stopped.
constexpr std::int64_t kForeignFlagLife = 60 * 60;

std::string hostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "?";
  return name;
}

// The process's start time in clock ticks since boot; with the process
// number it tells a live process from a later one that got the same number.
std::string processStart(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return {};
  const auto paren = line.rfind(')');
  if (paren == std::string::npos) return {};
  std::istringstream fields(line.substr(paren + 1));
  std::string field;
  // After the command name: state is field 3, the start time field 22.
  for (int i = 3; i <= 22 && fields >> field; ++i)
    if (i == 22) return field;
  return {};
}

// Worked out again in a child process, which is another station.
const std::string& thisStation() {
  static long pid = 0;
  static std::string id;
  if (pid != long(getpid())) {
    pid = long(getpid());
    id = hostName() + " " + std::to_string(pid) + " " + processStart(pid);
  }
  return id;
}

bool stationGone(const std::string& station, std::int64_t since, std::int64_t now,
                 std::int64_t foreignLife = kForeignStationLife) {
  std::istringstream in(station);
  std::string host, start;
  long pid = 0;
  if (!(in >> host >> pid)) return true;  // not one of ours
  in >> start;
  if (host != hostName()) return now - since > foreignLife;
  return processStart(pid) != start;
}

std::string hostOf(const std::string& station) { return station.substr(0, station.find(' ')); }

}  // namespace

// The leading components of the key as one text, the parameters numbered
// from `firstParam`.
std::string Table::reservationPrefixSql(const KeyInfo& key, int firstParam) const {
  const int n = int(key.components.size());
  std::string sql;
  for (int i = 0; i + 1 < n; ++i)
    sql += (sql.empty() ? "" : "||'|'||") + std::string("quote(?") +
           std::to_string(firstParam + i) + ")";
  return sql.empty() ? "''" : sql;
}

std::string Table::reservations() const {
  return schema::quote(routeSchema_) + "." + schema::quote(schema::kReservations);
}

Status Table::dropStaleReservations() {
  Status st;
  sqlite3_stmt* s = prepare("SELECT rowid,station,since FROM " + reservations(), st);
  if (!s) return st;
  std::vector<std::int64_t> stale;
  const std::int64_t now = std::time(nullptr);
  {
    Reset reset{s};
    int rc;
    while ((st = step(s, rc)) && rc == SQLITE_ROW) {
      const auto* station = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
      if (stationGone(station ? station : "", sqlite3_column_int64(s, 2), now))
        stale.push_back(sqlite3_column_int64(s, 0));
    }
    if (!st) return st;
  }
  if (stale.empty()) return st;
  sqlite3_stmt* d = prepare("DELETE FROM " + reservations() + " WHERE rowid=?", st);
  if (!d) return st;
  for (std::int64_t id : stale) {
    Reset reset{d};
    sqlite3_bind_int64(d, 1, id);
    int rc;
    if (!(st = step(d, rc))) return st;
  }
  return st;
}

Status Table::reserveAutoNumber(const KeyInfo& key, std::int64_t& reservation) {
  reservation = 0;
  if (server_) return server_->reserveAutoNumber(key, reservation);
  const int n = int(key.components.size());
  const auto& last = info_.fields[std::size_t(key.components[std::size_t(n - 1)])];
  Status st = begin();
  if (!st) return st;
  std::string create = "CREATE TABLE IF NOT EXISTS " + reservations() + schema::kReservationColumns;
  if (int rc = sqlite3_exec(conn(), create.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK)
    return end(engineError(sqlite3_extended_errcode(conn()), "reservando"));
  st = dropStaleReservations();
  if (!st) return end(st);

  auto bindLeading = [&](sqlite3_stmt* s, int first) {
    Status b;
    for (int i = 0; i + 1 < n && b; ++i)
      b = schema::bind(s, first + i, buffer_, columnOf(info_, key.components[std::size_t(i)]));
    return b;
  };
  std::int64_t highest = 0;
  sqlite3_stmt* s = prepare(Sql::AutoNumber, storedKey(key), 0, st);
  if (!s) return end(st);
  {
    Reset reset{s};
    if (!(st = bindLeading(s, 1))) return end(st);
    int rc;
    if (!(st = step(s, rc))) return end(st);
    highest = sqlite3_column_int64(s, 0);
  }
  const std::string keyName(key.name);
  s = prepare("SELECT max(number) FROM " + reservations() +
                  " WHERE key=?1 AND prefix=" + reservationPrefixSql(key, 2) +
                  (key.noCase ? std::string(" COLLATE ") + schema::kNoCase : ""),
              st);
  if (!s) return end(st);
  {
    Reset reset{s};
    sqlite3_bind_text(s, 1, keyName.c_str(), int(keyName.size()), SQLITE_TRANSIENT);
    if (!(st = bindLeading(s, 2))) return end(st);
    int rc;
    if (!(st = step(s, rc))) return end(st);
    highest = std::max<std::int64_t>(highest, sqlite3_column_int64(s, 0));
  }
  FieldRef ref = resolve(info_, last.name);
  const std::int64_t number = highest < 0 ? 1 : highest + 1;
  st = buffer_.set(ref, Value(number));
  if (!st) {
    st.table = info_.label;
    return end(st);
  }
  s = prepare("INSERT INTO " + reservations() + "(key,prefix,number,station,since) VALUES(?1," +
                  reservationPrefixSql(key, 5) + ",?2,?3,?4)",
              st);
  if (!s) return end(st);
  {
    Reset reset{s};
    sqlite3_bind_text(s, 1, keyName.c_str(), int(keyName.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s, 2, number);
    sqlite3_bind_text(s, 3, thisStation().c_str(), int(thisStation().size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 4, std::int64_t(std::time(nullptr)));
    if (!(st = bindLeading(s, 5))) return end(st);
    int rc;
    if (!(st = step(s, rc))) return end(st);
  }
  const std::int64_t id = sqlite3_last_insert_rowid(conn());
  st = end(st);
  if (st) reservation = id;
  return st;
}

Status Table::releaseReservation(std::int64_t reservation) {
  if (reservation == 0) return Status::success();
  if (server_) return server_->releaseReservation(reservation);
  Status st = begin();
  if (!st) return st;
  sqlite3_stmt* s = prepare("DELETE FROM " + reservations() + " WHERE rowid=?", st);
  if (!s) return end(st);
  {
    Reset reset{s};
    sqlite3_bind_int64(s, 1, reservation);
    int rc;
    st = step(s, rc);
  }
  return end(st);
}

// A flag row: key = the flag's name, prefix = the holder's user number.
Status Table::holdFlag(std::string_view flag, std::int64_t user) {
  if (server_) return server_->holdFlag(flag, user);
  Status st = begin();
  if (!st) return st;
  std::string create = "CREATE TABLE IF NOT EXISTS " + reservations() + schema::kReservationColumns;
  if (int rc = sqlite3_exec(conn(), create.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK)
    return end(engineError(sqlite3_extended_errcode(conn()), "reservando"));
  sqlite3_stmt* d = prepare("DELETE FROM " + reservations() + " WHERE key=?1", st);
  if (!d) return end(st);
  {
    Reset reset{d};
    sqlite3_bind_text(d, 1, flag.data(), int(flag.size()), SQLITE_TRANSIENT);
    int rc;
    if (!(st = step(d, rc))) return end(st);
  }
  sqlite3_stmt* s = prepare(
      "INSERT INTO " + reservations() + "(key,prefix,number,station,since) VALUES(?1,?2,0,?3,?4)",
      st);
  if (!s) return end(st);
  {
    Reset reset{s};
    const std::string who = std::to_string(user);
    sqlite3_bind_text(s, 1, flag.data(), int(flag.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 2, who.c_str(), int(who.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 3, thisStation().c_str(), int(thisStation().size()), SQLITE_STATIC);
    sqlite3_bind_int64(s, 4, std::int64_t(std::time(nullptr)));
    int rc;
    st = step(s, rc);
  }
  return end(st);
}

namespace {

// Whether the side table is in the file yet (it is made by the first
// reservation or flag).
bool hasSideTable(sqlite3* db, const std::string& schemaName) {
  const std::string q = "SELECT 1 FROM " + schema::quote(schemaName) +
                        ".sqlite_master WHERE type='table' AND name='" + schema::kReservations +
                        "'";
  sqlite3_stmt* s = nullptr;
  bool found = false;
  if (sqlite3_prepare_v2(db, q.c_str(), -1, &s, nullptr) == SQLITE_OK)
    found = sqlite3_step(s) == SQLITE_ROW;
  sqlite3_finalize(s);
  return found;
}

}  // namespace

Status Table::releaseFlag(std::string_view flag) {
  if (server_) return server_->releaseFlag(flag);
  if (!db_) return notOpen(info_);
  if (!hasSideTable(conn(), routeSchema_)) return Status::success();
  Status st = begin();
  if (!st) return st;
  sqlite3_stmt* d = prepare("DELETE FROM " + reservations() + " WHERE key=?1", st);
  if (!d) return end(st);
  {
    Reset reset{d};
    sqlite3_bind_text(d, 1, flag.data(), int(flag.size()), SQLITE_TRANSIENT);
    int rc;
    st = step(d, rc);
  }
  return end(st);
}

Status Table::flagHolder(std::string_view flag, FlagHolder& holder) {
  holder = {};
  if (server_) {
    server::ServerTable::Holder h;
    Status st = server_->flagHolder(flag, h);
    holder = {h.held, h.host, h.user, h.since};
    return st;
  }
  if (!db_) return notOpen(info_);
  if (!hasSideTable(conn(), routeSchema_)) return Status::success();
  Status st;
  sqlite3_stmt* s =
      prepare("SELECT station,since,prefix FROM " + reservations() + " WHERE key=?1", st);
  if (!s) return st;
  Reset reset{s};
  sqlite3_bind_text(s, 1, flag.data(), int(flag.size()), SQLITE_TRANSIENT);
  const std::int64_t now = std::time(nullptr);
  int rc;
  while ((st = step(s, rc)) && rc == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    const std::string station = text ? text : "";
    const std::int64_t since = sqlite3_column_int64(s, 1);
    if (stationGone(station, since, now, kForeignFlagLife)) continue;
    const auto* user = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
    holder.held = true;
    holder.host = hostOf(station);
    holder.user = user ? std::atoll(user) : 0;
    holder.since = since;
    break;
  }
  return st;
}

}  // namespace velmora::db
