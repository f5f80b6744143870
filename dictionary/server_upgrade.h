#pragma once

// A table of the company on the server in an older stored layout of its
// dictionary table, converted as the upgrade converts a table file: every
// row copied under its own position, each column from the old column of its
// name and type and the others as a cleared record has them, then the keys.
// It all happens in one transaction of the server: until it commits every
// station sees the old table whole, and a stop anywhere leaves it so.

#include <cstdint>
#include <memory>
#include <string>

#include "dictionary/status.h"
#include "dictionary/tables.h"

namespace velmora::db {
class Storage;
class Context;
}  // namespace velmora::db

namespace velmora::db::server {

class Connection;

// One row, one column: the columns of the table named by $1 ("schema"."name")
// as layoutSignature() (server_schema.h) writes them; NULL when there is no
// such table.
extern const char* const kSignatureSql;
// The version of `table` (a table or one of its layouts) whose stored layout
// is `signature`, the current one first; 0 when none is.
int versionOfSignature(const dict::TableInfo& table, const std::string& signature);

class TableConversion {
 public:
  // The table `name` of `schema`, found in `from`'s layout, into `to`'s.
  TableConversion(Storage& storage, std::string schema, std::string name,
                  const dict::TableInfo& from, const dict::TableInfo& to);
  ~TableConversion();
  TableConversion(const TableConversion&) = delete;
  TableConversion& operator=(const TableConversion&) = delete;

  // Begins the transaction, holds the table against writers (a station
  // converting it too waits here) and counts its rows. `stillOld` false
  // when, by then, the table is no longer in `from`'s layout.
  Status start(std::int64_t& total, bool& stillOld);
  // Copies up to `batch` rows in position order; `more` false once done.
  Status step(int batch, std::int64_t& copied, bool& more);
  // Builds the keys, checks that every row arrived, puts the new table in
  // the old one's place and commits.
  Status finish(std::int64_t total);

 private:
  Status failed(const Status& st);
  std::string temp() const;

  std::unique_ptr<Context> ctx_;
  Connection* c_ = nullptr;
  std::string schema_, name_;
  const dict::TableInfo& from_;
  const dict::TableInfo& to_;
  std::string copySql_;
  std::int64_t last_ = 0;
  bool open_ = false;
};

}  // namespace velmora::db::server
