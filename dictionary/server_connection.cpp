// The session with the server: starting it (and again after it drops),
// its transactions and batches, the statements it prepares once, the
// schemas of the company it finds or makes, and what a failed statement
// tells the clerk.

#include <libpq-fe.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dictionary/server_internal.h"
#include "dictionary/server_order.h"
#include "dictionary/server_schema.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"

namespace velmora::db::server {

// Statements are parsed and planned by the server once per session: a
// posting runs the same few dozen over and over.
std::string Connection::prepared(const std::string& sql, int params) {
  if (auto it = statements_.find(sql); it != statements_.end()) return it->second;
  const std::string name = "v" + std::to_string(statements_.size() + 1);
  Result r(PQprepare(pg_, name.c_str(), sql.c_str(), params, nullptr), PQclear);
  if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) return {};
  statements_.emplace(sql, name);
  return name;
}

Result run(Connection& c, const std::string& sql, const std::vector<std::string>& params) {
  return Result(c.request(sql, params, true), PQclear);
}

Result execParams(Connection& c, const std::string& sql, const std::vector<std::string>& params) {
  return Result(c.request(sql, params, false), PQclear);
}

// --- writes sent ahead -------------------------------------------------------

namespace {

// At most this many writes wait for their answers: the server's answers
// must fit in what the socket holds while nobody reads them.
constexpr std::size_t kAheadMost = 256;

std::vector<const char*> pointers(const std::vector<std::string>& params) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const std::string& p : params) values.push_back(p.c_str());
  return values;
}

}  // namespace

PGresult* Connection::request(const std::string& sql, const std::vector<std::string>& params,
                              bool prepare) {
  revive();
  // A write sent ahead failed: nothing more of the transaction runs.
  if (!lost_) return PQmakeEmptyPGresult(pg_, PGRES_FATAL_ERROR);
  const std::vector<const char*> values = pointers(params);
  const int n = int(values.size());
  if (sent_.empty()) {
    const std::string name = prepare ? prepared(sql, n) : std::string();
    if (name.empty())
      return PQexecParams(pg_, sql.c_str(), n, nullptr, values.data(), nullptr, nullptr, 0);
    return PQexecPrepared(pg_, name.c_str(), n, values.data(), nullptr, nullptr, 0);
  }
  // The writes sent ahead, this statement and the sync: one round trip.
  std::string name;
  bool preparing = false;
  if (prepare) {
    if (auto it = statements_.find(sql); it != statements_.end()) {
      name = it->second;
    } else {
      name = "v" + std::to_string(statements_.size() + 1);
      preparing = PQsendPrepare(pg_, name.c_str(), sql.c_str(), n, nullptr) == 1;
      if (!preparing) name.clear();
    }
  }
  const int sent =
      name.empty()
          ? PQsendQueryParams(pg_, sql.c_str(), n, nullptr, values.data(), nullptr, nullptr, 0)
          : PQsendQueryPrepared(pg_, name.c_str(), n, values.data(), nullptr, nullptr, 0);
  PGresult* own = nullptr;
  bool preparedOk = false;
  if (sent == 1 && PQpipelineSync(pg_) == 1) {
    settle(&own, preparing, &preparedOk);
  } else {
    settle(nullptr, false, nullptr);
    own = PQmakeEmptyPGresult(pg_, PGRES_FATAL_ERROR);
  }
  if (preparedOk) statements_.emplace(sql, name);
  if (!lost_ && PQresultStatus(own) != PGRES_FATAL_ERROR) {
    PQclear(own);
    own = PQmakeEmptyPGresult(pg_, PGRES_FATAL_ERROR);
  }
  return own;
}

Status Connection::defer(const std::string& sql, const std::vector<std::string>& params,
                         std::string_view table) {
  revive();
  if (!lost_) return lost_;
  if (sent_.size() >= kAheadMost) {
    PQpipelineSync(pg_);
    settle(nullptr, false, nullptr);
    if (!lost_) return lost_;
  }
  const std::string name = sent_.empty() ? prepared(sql, int(params.size())) : [&] {
    auto it = statements_.find(sql);
    return it == statements_.end() ? std::string() : it->second;
  }();
  const std::vector<const char*> values = pointers(params);
  if (name.empty() || (sent_.empty() && PQenterPipelineMode(pg_) != 1)) {
    // Not prepared yet behind writes already sent: it runs now, with them.
    Result r(request(sql, params, true), PQclear);
    lost_ = wroteOne(r.get(), table);
    return lost_;
  }
  if (PQsendQueryPrepared(pg_, name.c_str(), int(values.size()), values.data(), nullptr, nullptr,
                          0) != 1) {
    lost_ = failure(nullptr, "escribiendo", table);
    PQpipelineSync(pg_);
    settle(nullptr, false, nullptr);
    return lost_;
  }
  sent_.push_back({std::string(table)});
  return Status::success();
}

// A write sent ahead answers one row; none, or a division by zero (how it
// stops the transaction on the server itself when it finds no row), is a
// row another station changed.
Status Connection::wroteOne(const PGresult* r, std::string_view table) const {
  const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
  const bool none = (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) != 1) ||
                    (state && std::string_view(state) == "22012");
  if (none) return Status::error(err::RecordChanged, errorText(err::RecordChanged)).on(table);
  if (PQresultStatus(r) != PGRES_TUPLES_OK) return failure(r, "escribiendo", table);
  return Status::success();
}

// One statement's answer in a pipeline: its result, then the end of it.
PGresult* Connection::answer() {
  PGresult* r = PQgetResult(pg_);
  if (!r) return PQmakeEmptyPGresult(pg_, PGRES_FATAL_ERROR);  // the session dropped
  if (PQresultStatus(r) != PGRES_PIPELINE_SYNC)
    while (PGresult* more = PQgetResult(pg_)) PQclear(more);
  return r;
}

// The answers after a sync: the writes sent ahead (the first that failed or
// wrote no row loses the transaction), then the statement sent with them.
void Connection::settle(PGresult** own, bool prepared, bool* preparedOk) {
  for (const Ahead& a : sent_) {
    Result r(answer(), PQclear);
    if (!lost_) continue;
    if (!a.table.empty())
      lost_ = wroteOne(r.get(), a.table);
    else if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
      lost_ = failure(r.get(), "", "");
  }
  sent_.clear();
  if (prepared) {
    Result p(answer(), PQclear);
    *preparedOk = PQresultStatus(p.get()) == PGRES_COMMAND_OK;
  }
  if (own) *own = answer();
  // The sync; a dropped session has none to give.
  for (int i = 0; i < 4; ++i) {
    PGresult* r = PQgetResult(pg_);
    const bool sync = r && PQresultStatus(r) == PGRES_PIPELINE_SYNC;
    PQclear(r);
    if (sync || PQstatus(pg_) != CONNECTION_OK) break;
  }
  (void)PQexitPipelineMode(pg_);
}

std::uint64_t Connection::rowStamp(const std::string& table, std::int64_t position) const {
  if (rowWritesIn_ == 0 || rowWritesIn_ != transaction()) return 0;
  auto it = rowWrites_.find({table, position});
  return it == rowWrites_.end() ? 0 : it->second;
}

void Connection::rowWritten(const std::string& table, std::int64_t position) {
  if (rowWritesIn_ != transaction()) rowWrites_.clear(), rowWritesIn_ = transaction();
  rowWrites_[{table, position}] = ++stamps_;
}

// --- the session -------------------------------------------------------------

Connection::Connection(const std::string& conninfo) : pg_(PQconnectdb(conninfo.c_str())) {
  if (PQstatus(pg_) != CONNECTION_OK) {
    std::string why = PQerrorMessage(pg_);
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    status_ = Status::error(err::FileSystem, "No se pudo conectar con el servidor " +
                                                 std::string(PQhost(pg_) ? PQhost(pg_) : "") +
                                                 ": " + why);
    return;
  }
  if (PQserverVersion(pg_) < 120000) {
    status_ = Status::error(err::FileSystem,
                            "El servidor " + std::string(PQhost(pg_) ? PQhost(pg_) : "") +
                                " es de una versión que no se admite (se necesita PostgreSQL 12 "
                                "o posterior)");
    return;
  }
  status_ = exec("SET client_min_messages = warning");
  if (status_) status_ = setLockTimeout(10000);
}

Status Connection::setLockTimeout(int milliseconds) {
  Status st = exec("SET lock_timeout = " + std::to_string(milliseconds));
  if (st) lockMs_ = milliseconds;
  return st;
}

bool Connection::inTransaction() const {
  return open_ || (PQstatus(pg_) == CONNECTION_OK && PQtransactionStatus(pg_) != PQTRANS_IDLE);
}

// The BEGIN goes with the transaction's first statement.
Status Connection::begin() {
  revive();
  if (!sent_.empty()) {
    PQpipelineSync(pg_);
    settle(nullptr, false, nullptr);
  }
  lost_ = Status::success();
  ++txn_;
  if (PQstatus(pg_) != CONNECTION_OK || PQenterPipelineMode(pg_) != 1 ||
      PQsendQueryParams(pg_, "BEGIN ISOLATION LEVEL READ COMMITTED", 0, nullptr, nullptr, nullptr,
                        nullptr, 0) != 1) {
    if (PQpipelineStatus(pg_) != PQ_PIPELINE_OFF) (void)PQexitPipelineMode(pg_);
    Status st = exec("BEGIN ISOLATION LEVEL READ COMMITTED");
    open_ = bool(st);
    return st;
  }
  sent_.push_back({});
  open_ = true;
  return Status::success();
}

// A session the server or the network dropped is started again before the
// next statement, unless a transaction was open on it: that transaction is
// gone, and what follows in it must fail until the caller rolls it back,
// never be written on its own.
void Connection::revive() {
  if (PQstatus(pg_) == CONNECTION_OK || open_ || streams_ > 0) return;
  sent_.clear();
  lost_ = Status::success();
  PQreset(pg_);
  statements_.clear();
  schemas_.clear();
  tables_.clear();
  if (PQstatus(pg_) != CONNECTION_OK) return;
  (void)exec("SET client_min_messages = warning");
  if (lockMs_ > 0) (void)setLockTimeout(lockMs_);
}

// A transaction a failed statement aborted answers COMMIT with a rollback:
// that is a failure, never a success.
Status Connection::commit() {
  if (!open_)
    return Status::error(err::TransactionRefused,
                         errorText(err::TransactionRefused) + ": no hay transacción abierta");
  // The writes sent ahead go with the COMMIT; one that failed rolls it back.
  Result r(request("COMMIT", {}, false), PQclear);
  if (!lost_) {
    const Status why = lost_;
    rollback();
    return why;
  }
  open_ = false;
  if (!ran(r.get())) return failure(r.get(), "confirmando", "");
  if (std::string(PQcmdStatus(r.get())) != "COMMIT")
    return Status::error(err::TransactionRefused,
                         errorText(err::TransactionRefused) + ": la transacción se deshizo");
  return Status::success();
}

void Connection::rollback() {
  if (!sent_.empty()) {
    PQpipelineSync(pg_);
    settle(nullptr, false, nullptr);
  }
  lost_ = Status::success();
  if (PQstatus(pg_) == CONNECTION_OK && PQtransactionStatus(pg_) != PQTRANS_IDLE)
    (void)exec("ROLLBACK");
  open_ = false;
  streamTxn_ = false;
  readOnly_ = false;
}

Status Connection::beginReadOnly() {
  Status st = exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  readOnly_ = open_ = bool(st);
  ++txn_;
  return st;
}

Status Connection::beginStream() {
  if (streams_ == 0 && !inTransaction()) {
    if (Status st = begin(); !st) return st;
    streamTxn_ = true;
  }
  ++streams_;
  return Status::success();
}

Status Connection::endStream() {
  if (streams_ == 0) return Status::success();
  --streams_;
  if (!streamTxn_) return Status::success();  // the context's transaction commits it
  streamTxn_ = false;
  Status st = commit();
  if (!st) {
    rollback();
    return st;
  }
  if (streams_ > 0) {
    st = begin();
    streamTxn_ = bool(st);
  }
  return st;
}

Status Connection::failure(const void* result, const std::string& what,
                           std::string_view table) const {
  if (!lost_) return lost_;  // a write sent ahead failed first
  const auto* r = static_cast<const PGresult*>(result);
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  const std::string code = state ? state : "";
  // A row held too long, or two stations each waiting for the other's
  // (the server ends one of them): the file's answer to a locked file.
  if (code == "55P03" || code == "40P01")
    return Status::error(err::FileLocked, errorText(err::FileLocked)).on(table);
  if (code == "23505")
    return Status::error(err::DuplicateKey, errorText(err::DuplicateKey)).on(table);
  // The session ended by the server (stopped, or its administrator) or by
  // the network, even before the library has seen the connection close.
  const bool ended = code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02";
  if (ended || PQstatus(pg_) != CONNECTION_OK)
    return Status::error(err::FileSystem, "Se perdió la conexión con el servidor " +
                                              std::string(PQhost(pg_) ? PQhost(pg_) : "") +
                                              (what.empty() ? "" : " " + what) +
                                              "; el servidor deshizo lo que no se había terminado")
        .on(table);
  // A statement of a pipeline keeps its message in its own result.
  std::string message =
      r && *PQresultErrorMessage(r) ? PQresultErrorMessage(r) : PQerrorMessage(pg_);
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return Status::error(err::FileSystem, "El servidor rechazó la orden" +
                                            (what.empty() ? "" : " " + what) + ": " + message)
      .on(table);
}

Connection::~Connection() { PQfinish(pg_); }

Status Connection::exec(const std::string& sql) {
  revive();
  if (!sent_.empty()) {
    PQpipelineSync(pg_);
    settle(nullptr, false, nullptr);
  }
  if (!lost_) return lost_;
  Result r(PQexec(pg_, sql.c_str()), PQclear);
  if (ran(r.get())) return Status::success();
  return failure(r.get(), "", "");
}

namespace {

// The side table of every schema: automatic numbers being entered and flags
// held, each by a session of the server.
std::string reservationsSql(const std::string& schema) {
  return "CREATE TABLE IF NOT EXISTS " + tableName(schema, "velmora_reservas") +
         "(id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, tabla text NOT NULL,"
         " clave text NOT NULL, prefijo text NOT NULL, numero bigint NOT NULL,"
         " pid integer NOT NULL, inicio timestamptz, estacion text NOT NULL,"
         " desde bigint NOT NULL)";
}

}  // namespace

Status Connection::useSchema(const std::string& schema, bool create) {
  if (std::find(schemas_.begin(), schemas_.end(), schema) != schemas_.end())
    return Status::success();
  const std::string probe =
      "SELECT (SELECT count(*) FROM pg_namespace WHERE nspname=$1),"
      " (SELECT count(*) FROM pg_proc p JOIN pg_namespace n ON n.oid=p.pronamespace"
      "  WHERE n.nspname=$1 AND p.proname='velmora_fold')";
  auto look = [&](bool& exists, bool& ours) {
    Result r = execParams(*this, probe, {schema});
    if (!ran(r.get())) return failure(r.get(), "buscando " + schema, "");
    exists = std::string(PQgetvalue(r.get(), 0, 0)) != "0";
    ours = std::string(PQgetvalue(r.get(), 0, 1)) != "0";
    return Status::success();
  };
  bool exists = false, ours = false;
  if (Status st = look(exists, ours); !st) return st;
  if (!exists && !create)
    return Status::error(err::FileNotFound,
                         errorText(err::FileNotFound) + ": " + schema + " (en el servidor)");
  if (!exists) {
    // Two stations making the same folder at once: one makes it, the other
    // finds it made.
    const bool own = !inTransaction();
    Status st = own ? begin() : Status::success();
    std::vector<std::string> lock = {"velmora " + schema};
    if (st) {
      Result r = execParams(*this, "SELECT pg_advisory_xact_lock(hashtext($1))", lock);
      if (!ran(r.get())) st = failure(r.get(), "creando " + schema, "");
    }
    if (st) st = look(exists, ours);
    if (st && !exists) {
      st = exec("CREATE SCHEMA IF NOT EXISTS " + quoted(schema));
      if (st) st = exec(foldFunctionSql(schema));
      if (st) st = exec(reservationsSql(schema));
      ours = true;
    }
    if (own) {
      if (st)
        st = commit();
      else
        rollback();
    }
    if (!st) return st;
  }
  if (!ours)
    return Status::error(err::InvalidDataFile, errorText(err::InvalidDataFile) + ": el esquema " +
                                                   schema + " del servidor no es de Velmora");
  schemas_.push_back(schema);
  return Status::success();
}

}  // namespace velmora::db::server
