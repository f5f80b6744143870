#pragma once

// One table of a work on a PostgreSQL server, with the operations the
// procedures use on a table file and the same answers: add, exact get by
// key, reading in key order from the start or from values (forwards and
// backwards), put over the record last read (refused with 89 when another
// station changed it since it was read) and remove. The server's table and
// indexes are those of server_schema.h; positions are its identity column.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/status.h"
#include "dictionary/tables.h"

struct pg_conn;

namespace velmora::db::server {

// A session with the server: one per station.
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
  // How long a write waits for a row another station holds before it is
  // refused as the table files refuse a locked file (32); 10 s to start.
  Status setLockTimeout(int milliseconds);

  // The status of a statement that failed: a row held too long (32), a
  // unique key taken (40), the session lost (the server rolled back its
  // transaction), or the server's own message.
  Status failure(const void* result, const std::string& what, std::string_view table) const;

 private:
  pg_conn* pg_ = nullptr;
  Status status_;
};

class ServerTable {
 public:
  ServerTable(Connection& c, std::string schema, const dict::TableInfo& info);

  // The table and its keys in the schema (whose fold function exists).
  Status create();

  Record& buffer() { return buffer_; }
  std::int64_t position() const { return current_; }

  Status add();
  Status get(const dict::KeyInfo& key);
  Status getByPosition(std::int64_t position);  // 35 when there is none
  Status setStart(const dict::KeyInfo* key);
  Status set(const dict::KeyInfo* key);
  Status next();      // 33 at the end
  Status previous();  // 33 at the start
  Status put();
  Status remove();

 private:
  enum class From { Start, Values, Record };
  Status read(bool forward);
  // The row a read found into the buffer, or `missing` when there is none.
  Status reached(const void* result, int missing);
  std::string keyTuple(const dict::KeyInfo& key, int& param, bool withPosition) const;
  std::vector<std::string> keyParams(const dict::KeyInfo& key, const Record& r) const;

  Connection& c_;
  std::string schema_;
  const dict::TableInfo& info_;
  Record buffer_, image_;
  std::int64_t current_ = 0;
  const dict::KeyInfo* order_ = nullptr;
  From from_ = From::Start;
  std::vector<std::string> fromValues_;
};

}  // namespace velmora::db::server
