#pragma once

// One table of a work on a PostgreSQL server, with the operations the
// procedures use on a table file and the same answers: add, exact get by
// key, reading in key order from the start or from values (forwards and
// backwards), put over the record last read (refused with 89 when another
// station changed it since it was read) and remove. The server's table and
// indexes are those of server_schema.h; positions are its identity column.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/status.h"
#include "dictionary/tables.h"

struct pg_conn;
struct pg_result;

namespace velmora::db::server {

// A session with the server: one per station (per procedure of a program).
class Connection {
 public:
  explicit Connection(const std::string& conninfo);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Why the session could not start, naming the server; success when it did.
  const Status& status() const { return status_; }
  // Statements without rows (schemas, tables).
  Status exec(const std::string& sql);
  pg_conn* get() const { return pg_; }

  // A transaction over every table of the session: the server's own, all
  // or nothing (a station that dies in it leaves nothing written).
  Status begin();
  Status commit();
  void rollback();
  bool inTransaction() const;
  // A dropped session started again, when no transaction was open on it.
  void revive();
  // One unchanging view of the server for reading only (a copy down).
  Status beginReadOnly();
  // Inside a transaction that may write, a row read is held as a table
  // file is held while a transaction writes it: another station that
  // reads it to write waits (the posting flag, a total), and the row is
  // still as read when it is written.
  bool holdsReads() const { return inTransaction() && !readOnly_; }
  // How long a write waits for a row another station holds before it is
  // refused as the table files refuse a locked file (32); 10 s to start.
  Status setLockTimeout(int milliseconds);
  int lockTimeout() const { return lockMs_; }
  // Writes of the session's tables so far: rows read ahead before a write
  // are read again.
  void wrote() { ++writes_; }
  std::uint64_t writes() const { return writes_; }

  // A schema of the company's (a folder), made with its fold function the
  // first time; one that exists without being ours is refused as a foreign
  // file is.
  Status useSchema(const std::string& schema, bool create);

  // Batches of several tables at once: the first stream begins a
  // transaction (unless one is open), every flush commits what all of them
  // wrote, and the next batch goes on in a new one until the last ends.
  Status beginStream();
  Status endStream();

  // The name of `sql` prepared on the session (once, on first use); empty
  // when it could not be prepared and must run as it is.
  std::string prepared(const std::string& sql, int params);
  // One statement and its answer (the caller frees it), prepared once when
  // `prepare`. Writes sent ahead go in the same round trip; when one of
  // them failed the answer is a failure, and failure() tells theirs.
  pg_result* request(const std::string& sql, const std::vector<std::string>& params, bool prepare);
  // A write of the open transaction sent without waiting for its answer:
  // over a row the transaction holds, it can only fail with the
  // transaction. The answers are read with the next statement; one that
  // failed (or wrote no row) fails that statement and every one after it,
  // and the transaction cannot commit.
  Status defer(const std::string& sql, const std::vector<std::string>& params,
               std::string_view table);
  // No write sent ahead in the open transaction has failed.
  bool whole() const { return lost_.ok(); }
  // The open transaction, numbered by the session (0 when none is open).
  std::uint64_t transaction() const { return open_ ? txn_ : 0; }
  // The rows the open transaction wrote, through any table of the session,
  // each numbered by its last write: a table that remembers a row as held
  // sees whether another of the same file (an alias) wrote it since.
  std::uint64_t rowStamp(const std::string& table, std::int64_t position) const;
  void rowWritten(const std::string& table, std::int64_t position);
  // Tables known to exist in the session's database ("schema.table").
  bool knownTable(const std::string& name) const { return tables_.count(name) > 0; }
  void tableExists(const std::string& name) { tables_.insert(name); }

  // The status of a statement that failed: a row held too long (32), a
  // unique key taken (40), the session lost (the server rolled back its
  // transaction), or the server's own message.
  Status failure(const void* result, const std::string& what, std::string_view table) const;

 private:
  pg_conn* pg_ = nullptr;
  Status status_;
  std::vector<std::string> schemas_;  // known to be ours
  // Reads the answers of the writes sent ahead (and the sync after them).
  void settle(pg_result** own, bool prepared, bool* preparedOk);
  pg_result* answer();
  Status wroteOne(const pg_result* r, std::string_view table) const;

  std::map<std::string, std::string> statements_;
  struct Ahead {
    std::string table;  // empty: a command of the session (BEGIN)
  };
  std::vector<Ahead> sent_;  // writes whose answers are still to read
  Status lost_;              // why the open transaction can no longer commit
  std::uint64_t txn_ = 0;
  std::map<std::pair<std::string, std::int64_t>, std::uint64_t> rowWrites_;
  std::uint64_t rowWritesIn_ = 0, stamps_ = 0;
  std::set<std::string> tables_;
  int lockMs_ = 0;
  bool readOnly_ = false;
  bool open_ = false;  // a transaction of ours is open (or was, until lost)
  std::uint64_t writes_ = 0;
  int streams_ = 0;
  bool streamTxn_ = false;  // the open transaction is the streams'
};

class ServerTable {
 public:
  // Where the reads land: the record buffer, its image as read, and the
  // position read last. A table of the engine lends its own.
  struct Cursor {
    Record& buffer;
    Record& image;
    std::int64_t& current;
  };
  // The dictionary's table under its own name, with a cursor of its own.
  ServerTable(Connection& c, std::string schema, const dict::TableInfo& info);
  // Under `name` (a file's), reading into `cursor`.
  ServerTable(Connection& c, std::string schema, std::string name, const dict::TableInfo& info,
              Cursor cursor);

  // The table and its keys in the schema (whose fold function exists).
  Status create();
  // Finds the table, making it (with its schema) when `create`; 2 when it
  // is missing and may not be made.
  Status open(bool create);

  Record& buffer() { return cursor_.buffer; }
  std::int64_t position() const { return cursor_.current; }

  Status add();
  // A record copied from a file keeps its position.
  Status addAt(std::int64_t position);
  // After copying: new records number on past the highest position.
  Status continueNumbering();
  // Up to `limit` records past position `after`, in position order, read
  // without holding them (a copy checking what it wrote).
  Status readAfter(std::int64_t after, int limit, std::vector<Record>& rows,
                   std::vector<std::int64_t>& positions);
  Status get(const dict::KeyInfo& key);
  Status getByPosition(std::int64_t position);  // 35 when there is none
  // The records at `positions` read (and held) at once inside a
  // transaction that may write: a batch's getByPosition() finds them
  // without a statement each. Outside one it reads nothing.
  Status prefetch(std::vector<std::int64_t> positions);
  // The rows of these values of a unique key read and held at once inside
  // a transaction that may write: get() by that key then finds them.
  Status preload(const dict::KeyInfo& key, const std::vector<Record>& probes);
  Status setStart(const dict::KeyInfo* key);
  // From the buffer's values of the first `components` components.
  Status set(const dict::KeyInfo* key, int components = -1);
  Status setAfter(const dict::KeyInfo* key, std::int64_t position);
  Status next();      // 33 at the end
  Status previous();  // 33 at the start
  Status put();
  Status remove();
  Status removeByPosition(std::int64_t position);
  Status records(std::int64_t& count);
  Status buildKeys();

  // The positions of the records whose `fields` equal the probe's, in the
  // order of `order` (a relation's children).
  Status positionsWhere(const std::vector<int>& fields, const Record& probe,
                        const dict::KeyInfo& order, std::vector<std::int64_t>& rows);

  // A temporary order over fields, optionally only the records whose first
  // `rangeComponents` components of `rangeKey` equal the buffer's.
  Status sortBy(const std::vector<int>& fields, const dict::KeyInfo*& order,
                const dict::KeyInfo* rangeKey, int rangeComponents);

  // Automatic numbers and flags, held by this session: a session that ends
  // (a station that stopped) holds nothing.
  Status reserveAutoNumber(const dict::KeyInfo& key, std::int64_t& reservation);
  Status releaseReservation(std::int64_t reservation);
  struct Holder {
    bool held = false;
    std::string host;
    std::int64_t user = 0;
    std::int64_t since = 0;
  };
  Status holdFlag(std::string_view flag, std::int64_t user);
  Status releaseFlag(std::string_view flag);
  Status flagHolder(std::string_view flag, Holder& holder);

 private:
  enum class From { Start, Values, Record };
  Status read(bool forward);
  // The row a read found into the buffer, or `missing` when there is none.
  Status reached(const void* result, int missing);
  // `count` components (all when negative), then the position if asked.
  std::string keyTuple(const dict::KeyInfo& key, int& param, bool withPosition,
                       int count = -1) const;
  std::vector<std::string> keyParams(const dict::KeyInfo& key, const Record& r) const;
  int keyIndex(const dict::KeyInfo& key) const;  // -1: the temporary order
  std::string filterSql(const dict::KeyInfo& key, int& param) const;
  std::string orderSql(const dict::KeyInfo& key) const;
  Status duplicate(const Record& r, std::int64_t except);
  Status unchangedSinceRead();
  Status reservationsTable();
  std::string table() const;
  std::string held() const;
  void forgetAhead();
  void markHeld();            // the cursor's row, when the open transaction holds it
  void wroteCurrent();        // the cursor's row, written by this table
  bool holdsCurrent() const;  // " FOR UPDATE" while the session's transaction may write

  Connection& c_;
  std::string schema_, name_;
  const dict::TableInfo& info_;
  Record ownBuffer_, ownImage_;
  std::int64_t ownCurrent_ = 0;
  Cursor cursor_;
  const dict::KeyInfo* order_ = nullptr;
  From from_ = From::Start;
  std::vector<std::string> fromValues_;
  int fromCount_ = -1;
  // Rows read ahead of the one delivered last, in one direction.
  struct Ahead {
    std::vector<Record> rows;
    std::vector<std::int64_t> positions;
    std::size_t next = 0;
    std::size_t want = 8;
    bool forward = true;
    bool atEnd = false;  // the last read found fewer rows than it asked
    std::uint64_t writes = 0;
  } ahead_;  // components of fromValues_ that count, for Values
  // The temporary order: its fields and the range's values.
  std::vector<std::int16_t> sortFields_;
  std::unique_ptr<dict::KeyInfo> sortKey_;
  // The row of the cursor is held by the session's open transaction
  // (read held, added or written in it): a put over it cannot meet
  // another station's change and need not wait for its answer.
  std::uint64_t heldIn_ = 0, heldStamp_ = 0;
  std::int64_t heldRow_ = 0;
  // The rows of this table the open transaction holds, as last read or
  // written: a get by a unique key finds them without asking the server.
  struct Held {
    std::int64_t position;
    std::uint64_t stamp;
    Record row;
  };
  std::vector<Held> heldRows_;
  std::uint64_t heldRowsIn_ = 0;
  std::vector<Held> prefetched_;  // by position, of the transaction heldRowsIn_
  bool heldByKey(const dict::KeyInfo& key, const std::vector<std::string>& values);
  void landed();  // the next read goes on from the cursor's row
  void forgetHeld(std::int64_t position);
  Status nextPosition(std::int64_t& position);
  std::vector<std::int64_t> positions_;  // taken from the identity, unused yet
  int block_ = 16;
  const dict::KeyInfo* rangeKey_ = nullptr;
  std::vector<std::string> rangeValues_;
};

}  // namespace velmora::db::server
