#pragma once

// The storage engine: every table file is an encrypted SQLite (SQLCipher)
// database holding one table, opened shared by every station.
//
//   Storage   process-wide: the file-name variables, the derived cipher keys,
//             the busy wait.
//   Context   one per started procedure ("thread"): one instance of each table
//             it uses, with its record buffer, and the transactions that span
//             several of its tables.
//   Table     one open instance: the record buffer and every operation the
//             procedures use (get by key, set/next/previous, add, put, ...).

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/status.h"
#include "dictionary/tables.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velmora::db {

class Context;
class Table;
namespace server {
class Connection;
class ServerTable;
}  // namespace server

// Cipher page size of the files we create (see bench/storage_bench.cpp).
inline constexpr int kPageSize = 4096;
// Page cache of each connection, in the engine's notation (negative: KiB).
// Allocated only as pages are read.
inline constexpr int kCacheSize = -16384;

class Storage {
 public:
  Storage();
  ~Storage();
  Storage(const Storage&) = delete;
  Storage& operator=(const Storage&) = delete;

  // The file-name variable of a table: the path it opens on. Tables of the
  // program folder start as their declared name in the current directory;
  // the others are empty until a work is chosen or a procedure names them.
  std::string fileName(const dict::TableInfo& t) const;
  void setFileName(const dict::TableInfo& t, std::string path);

  // How long a locked file is waited for before the lock is reported.
  void setBusyTimeout(int milliseconds) { busyMs_ = milliseconds; }
  int busyTimeout() const { return busyMs_; }

  // The company on a database server instead of table files: every file
  // name inside `programFolder` (the program folder and the work folders
  // under it) is a table there, in the schema of its folder; names outside
  // it (a transfer file on a medium, a backup) stay files. `connection` is
  // a libpq connection string or service name; empty: files only.
  void setServer(std::string connection, const std::string& programFolder);
  const std::string& serverConnection() const { return server_; }
  // Where a file name lives on the server: false for a file.
  bool serverPlace(const std::string& path, std::string& schema, std::string& table) const;

  // The raw cipher key for a password and a file's salt: derived once per
  // process and cached, since derivation is deliberately slow.
  std::string rawKey(std::string_view password, const std::string& salt);
  // The fixed salt of the files we create under a password.
  static std::string saltFor(std::string_view password);

 private:
  mutable std::mutex mu_;
  std::map<int, std::string> names_;
  std::map<std::pair<std::string, std::string>, std::string> keys_;
  int busyMs_ = 10000;
  std::string server_, serverRoot_;
};

// Completes a name as the storage driver does: no extension gets ".TPS".
std::string withDefaultExtension(std::string name);

// A file's name as the engine shows and records it: its ASCII letters in
// capitals ("DATA1.TPS", the server's table "OBRA10").
std::string upperFileName(std::string name);

class Table {
 public:
  Table(Context& ctx, const dict::TableInfo& info);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const dict::TableInfo& info() const { return info_; }
  Record& buffer() { return buffer_; }
  const Record& buffer() const { return buffer_; }
  template <class R>
  R& rec() {
    return buffer_.as<R>();
  }

  // Reference-counted per context; the first open opens (or creates) the file
  // on the current name, the last close closes it.
  Status open();
  void close();
  bool isOpen() const { return db_ != nullptr || server_ != nullptr; }
  // Whether the table is on a database server rather than a file.
  bool onServer() const { return server_ != nullptr; }
  // Opens a file whose keys are missing or damaged, only to rebuild them.
  Status openForRebuild();
  // Opens an existing file only to read it: nothing is created or written,
  // and a read-only file is fine.
  Status openReadOnly();
  // Which table of the dictionary a file holds, tried under every owner
  // password; the file is only read.
  static Status identify(Storage& storage, const std::string& path, const dict::TableInfo*& table);
  const std::string& path() const { return path_; }

  void clear() { buffer_.clear(); }

  // Exact read: the first record (in key order, ties in record order) whose
  // key components equal those in the buffer. 35 when there is none.
  Status get(const dict::KeyInfo& key);
  Status get(std::string_view keyName);
  // Read by record position. 35 when there is none.
  Status getByPosition(std::int64_t position);

  // Key order from the key values in the buffer: next() reads the first record
  // at or after them, previous() the last at or before them. After setStart,
  // next() reads the first record and previous() the last. Record order
  // (key == nullptr) follows the record positions.
  // With `components`, only the first so many key components count: the
  // records of a range of leading values (the rest in key order).
  Status set(const dict::KeyInfo* key, int components = -1);
  Status setStart(const dict::KeyInfo* key);
  // Reading resumes next to a record: next() reads the one after it,
  // previous() the one before it, in the key's order.
  Status setAfter(const dict::KeyInfo* key, std::int64_t position);
  Status next();      // 33 at the end
  Status previous();  // 33 at the start
  // Position of the record last read or written; 0 when none.
  std::int64_t position() const { return current_; }

  Status add();     // a new record from the buffer
  Status put();     // writes the buffer over the record last read; 89 if another
                    // station changed it since
  Status remove();  // deletes the record last read
  Status removeByPosition(std::int64_t position);
  Status records(std::int64_t& count);

  // Automatic numbering: the key's last component gets one more than the
  // highest under the same leading components (1 when none), counting the
  // numbers other stations hold reserved for records they are entering. The
  // number is held under `reservation` until releaseReservation(), which the
  // add that saves the record or the cancel calls; nothing is added here.
  Status reserveAutoNumber(const dict::KeyInfo& key, std::int64_t& reservation);
  Status releaseReservation(std::int64_t reservation);

  // A flag of the file that a station holds while it works (the posting
  // flag of the control record): recorded beside the records with the
  // station and its user, as a number reservation is, so that a flag left by
  // a station that stopped is known to be free. Inside the caller's write
  // transaction, or in one of its own.
  struct FlagHolder {
    bool held = false;  // a station that is still running holds it
    std::string host;
    std::int64_t user = 0;
    std::int64_t since = 0;  // seconds since the epoch
  };
  Status holdFlag(std::string_view flag, std::int64_t user);
  Status releaseFlag(std::string_view flag);
  Status flagHolder(std::string_view flag, FlagHolder& holder);

  // Batches: stream() holds the file for writing until flush(), which
  // commits everything written in between.
  Status stream();
  Status flush();

  // A temporary order over any fields, ascending (a click on a list
  // header): built from the records on file now, optionally only those whose
  // first `rangeComponents` components of `rangeKey` equal the buffer's, and
  // read like a key (set, setStart, setAfter) until the next sortBy or close.
  Status sortBy(const std::vector<int>& fields, const dict::KeyInfo*& order,
                const dict::KeyInfo* rangeKey = nullptr, int rangeComponents = 0);

  // Drops and rebuilds every key of the file.
  Status buildKeys();

  // The buffer as read from the file (the image put() compares against).
  const Record& image() const { return image_; }

  // Batch rewrites: reads the records at these positions with as few range
  // reads as they allow, so that the getByPosition() calls that follow in
  // the same write transaction need no read of their own. Outside a write
  // transaction it reads nothing.
  Status prefetch(std::vector<std::int64_t> positions);
  // Records a write transaction is about to read by a unique key (`probes`
  // hold the key's values), read and held at once where that saves a round
  // trip each (on a server); the get() calls that follow find them. A table
  // file reads nothing ahead.
  Status preload(const dict::KeyInfo& key, const std::vector<Record>& probes);

 private:
  friend class Context;
  friend class RelationManager;
  friend class FileUpgrade;
  struct Batch;
  enum class Sql : int;
  // A cached statement: what it does (kind, key, variant; or its text) on
  // which connection. Built once, reset after each use, finalized when the
  // file closes, its keys are rebuilt or a transaction's attachment goes.
  struct StatementId {
    sqlite3* db;
    Sql kind;
    int key;
    int variant;
    std::string text;
    auto operator<=>(const StatementId&) const = default;
  };

  enum class Mode { Shared, Rebuild, ReadOnly };
  Status openFile(Mode mode);
  Status openCounted(Mode mode);
  Status checkSchema(bool allowMissingKeys, bool readOnly);
  Status createSchema();
  sqlite3* conn() const;          // the connection statements run on
  std::string qualified() const;  // "schema"."table"
  sqlite3_stmt* prepare(Sql kind, int key, int variant, Status& st);
  sqlite3_stmt* prepare(const std::string& sql, Status& st);
  sqlite3_stmt* prepare(StatementId id, Status& st);
  // `columns`: for an update, which columns it sets (a bit per column).
  std::string sqlFor(Sql kind, int key, int variant, const std::string& columns) const;
  std::string fetchSql(int key, int variant) const;
  // Every statement, or only those on one connection.
  void finalizeStatements(sqlite3* on = nullptr);
  Status begin();          // own write transaction unless one is active
  Status end(Status st);   // commits or rolls back what begin() started
  Status fetch(int want);  // fills the read-ahead batch
  Status move(bool forward);
  Status readRow(sqlite3_stmt* s, Record& into, std::int64_t& rowid);
  Status bindRecord(sqlite3_stmt* s, const Record& r, int first);
  Status existsOther(const dict::KeyInfo& key, const Record& r, std::int64_t exceptRow,
                     bool& found);
  Status findDuplicate(const Record& r, std::int64_t exceptRow);
  Status rowById(std::int64_t rowid, Record& into, bool& found);
  std::string reservations() const;  // "schema"."reservations table"
  std::string reservationPrefixSql(const dict::KeyInfo& key, int firstParam) const;
  Status dropStaleReservations();
  Status scalar(Sql kind, std::int64_t& value);
  Status unchangedSinceRead();
  Status step(sqlite3_stmt* s, int& rc);
  // When a record was read: in which write transaction of the instance and
  // after how many changes by others on its connection. A record read inside
  // the current write transaction, with no other writer since, is on file
  // exactly as read.
  struct ReadMark {
    std::uint64_t txn = 0;  // 0: read outside a write transaction
    std::int64_t others = 0;
    bool operator==(const ReadMark&) const = default;
  };
  ReadMark markNow() const;
  bool unchangedSince(const ReadMark& m) const { return m.txn != 0 && m == markNow(); }
  void wrote();  // after a write of the instance's own
  const Record* prefetched(std::int64_t position) const;
  Status engineError(int rc, std::string_view what) const;
  void touched() { ++generation_; }
  const dict::TableInfo& stored() const;
  int storedKey(const dict::KeyInfo& key) const;

  Context& ctx_;
  const dict::TableInfo& info_;
  Record buffer_;
  Record image_;
  int opens_ = 0;
  sqlite3* db_ = nullptr;
  std::string path_;
  bool missing_ = false;  // the file did not exist when the last open began
  std::string rawKey_;    // x'...' literal of the key the file opened with
  int pageSize_ = kPageSize;
  // Inside a transaction of the context, statements run on the host
  // connection under this instance's attached schema.
  sqlite3* routeDb_ = nullptr;
  std::string routeSchema_ = "main";
  std::map<StatementId, sqlite3_stmt*> statements_;
  bool streaming_ = false;
  int depth_ = 0;  // nesting of the instance's own write transaction
  std::int64_t current_ = 0;
  std::uint64_t generation_ = 0;
  std::uint64_t txn_ = 0;        // write transactions begun, for ReadMark
  std::int64_t ownChanges_ = 0;  // rows this instance changed
  ReadMark mark_;                // of the record last read
  ReadMark prefetchMark_;        // of the records of prefetch()
  std::vector<std::int64_t> prefetchRows_;
  std::vector<Record> prefetchRecords_;
  std::unique_ptr<Batch> batch_;
  // On a database server, every operation is its table's.
  std::unique_ptr<server::ServerTable> server_;
  Status openOnServer(Mode mode, const std::string& schema, const std::string& name);
  // The temporary order of sortBy().
  std::vector<std::int16_t> sortFields_;
  std::unique_ptr<dict::KeyInfo> sortKey_;
  void dropSort();
};

// A transaction spanning several tables of one context: all of their writes
// commit together or not at all. The tables must be open.
class Context {
 public:
  Context(Storage& storage, int thread = 0);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  Storage& storage() { return storage_; }
  int thread() const { return thread_; }

  // The instance of a table in this context (not opened by this call).
  Table& table(const dict::TableInfo& t);
  Table& table(std::string_view label);
  template <class R>
  Table& table() {
    return table(R::info());
  }

  Status begin(const std::vector<Table*>& tables);
  Status commit();
  void rollback();
  bool inTransaction() const { return !members_.empty(); }
  bool inTransaction(const Table& t) const;

  // The context's session with the database server, started on first use.
  server::Connection* serverSession(Status& st);

 private:
  friend class Table;
  Status beginFiles(const std::vector<Table*>& tables);
  Storage& storage_;
  int thread_;
  std::unique_ptr<server::Connection> session_;
  std::map<int, std::unique_ptr<Table>> tables_;
  std::vector<Table*> members_;
  Table* host_ = nullptr;   // the file whose connection holds the files' transaction
  bool serverTxn_ = false;  // the session's transaction is the context's
};

// Applies the relations of the dictionary when a parent is deleted or its
// linked fields change, inside one transaction: a failure half way changes
// nothing. Rule 6 is left to the procedures.
class RelationManager {
 public:
  explicit RelationManager(Context& ctx,
                           std::span<const dict::RelationInfo> relations = dict::relations())
      : ctx_(ctx), relations_(relations) {}
  // Deletes the record last read in `parent` and applies the delete rules.
  Status remove(Table& parent);
  // Writes the buffer of `parent` over the record last read and applies the
  // update rules to the children of the linked fields that changed.
  Status put(Table& parent);
  // The tables a write or delete of `parent` may reach through the rules:
  // `parent` first, then the children. A transaction over them holds every
  // write that put() and remove() make.
  Status involved(Table& parent, std::vector<Table*>& tables);

 private:
  Status collect(const dict::TableInfo& parent, std::vector<Table*>& tables);
  Status removeRow(Table& parent);
  Status updateChildren(Table& parent, const Record& before);
  Status relink(Table& child, const dict::RelationInfo& rel, const Record* parent);
  static Status children(Table& child, const dict::RelationInfo& rel, const Record& parent,
                         std::vector<std::int64_t>& rows);
  Context& ctx_;
  std::span<const dict::RelationInfo> relations_;
};

// Spanish text of a platform error code.
std::string errorText(int code);

}  // namespace velmora::db
