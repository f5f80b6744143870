#pragma once

// What the files of the Table class share: the read-ahead batch, the names of
// the cached statements and small helpers over the columns. Internal to the
// storage engine.

#include <sqlcipher/sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/server_table.h"
#include "dictionary/storage.h"

namespace velmora::db {

// Rows read ahead in key or record order. The anchor is where the next read
// starts: before the first row, at the key values of a set(), or just past
// the row delivered last. A write by this instance makes the rows read ahead
// stale; they are read again from the anchor.
struct Table::Batch {
  explicit Batch(const dict::TableInfo& t) : anchor(t) {}
  enum class Anchor { None, Start, At, After };
  int key = -1;  // index into the table's keys, -1 for record order
  Anchor kind = Anchor::None;
  Record anchor;
  std::int64_t anchorRow = 0;
  bool forward = true;
  std::vector<Record> rows;
  std::vector<std::int64_t> rowids;
  std::size_t filled = 0;
  std::size_t take = 0;
  std::uint64_t generation = 0;
  ReadMark mark;  // when the rows read ahead were read
  std::size_t want = 8;
  int prefix = 0;  // components of the anchor that count, for an At anchor
  // The anchor row is taken from the batch lazily: only a refill needs it.
  std::size_t anchorIndex = SIZE_MAX;

  // Back to the first refill's size, nothing read ahead.
  void restart() {
    anchorIndex = SIZE_MAX;
    filled = take = 0;
    want = 8;
  }
};

// The statements an open table caches, each built once per connection from
// its kind, key and variant.
enum class Table::Sql : int {
  Get,         // the first record of a key's values
  RowById,     // one record by position
  Count,       // records on file
  Insert,      // a new record
  Update,      // some columns of a record by position, see updateColumns()
  Delete,      // a record by position
  Exists,      // another record with a key's values
  AutoNumber,  // the highest last component under the leading ones
  Fetch,       // one indexed range of a read-ahead, see fetchVariant()
  HighWater,   // the highest position a delete freed (the file's user version)
  MaxRow,      // the highest position in use
  InsertAt,    // a new record at a position given
  Span,        // the records of a range of positions
  Text,        // any other statement, named by its text
};

// The temporary order of sortBy() is read like a key under this number.
inline constexpr int kSortKey = -2;

// One range of a read-ahead: `equal` leading components bound for equality,
// optionally one more compared (`range`), optionally the record position
// compared (`afterRow`, inclusive only for a record-order anchor at a row).
struct FetchRange {
  int equal = 0;
  bool range = false;
  bool afterRow = false;
  bool inclusive = false;
};

inline int fetchVariant(const FetchRange& r, bool forward) {
  return int(forward) | int(r.range) << 1 | int(r.afterRow) << 2 | int(r.inclusive) << 3 |
         r.equal << 4;
}

inline FetchRange fetchRange(int variant, bool& forward) {
  forward = variant & 1;
  return {variant >> 4, bool(variant & 2), bool(variant & 4), bool(variant & 8)};
}

// Resets a cached statement when the operation ends, whatever the path:
// no read may keep a lock on a shared file between two calls.
struct Reset {
  sqlite3_stmt* s;
  ~Reset() {
    if (s) {
      sqlite3_reset(s);
      sqlite3_clear_bindings(s);
    }
  }
};

// The columns an update sets, a bit per column in the order of
// schema::columns(); empty when it sets none.
std::string updateColumns(const Record& now, const Record& before);
inline bool setsColumn(const std::string& columns, std::size_t i) {
  return (static_cast<unsigned char>(columns[i / 8]) >> (i % 8)) & 1;
}

inline const schema::Column& columnOf(const dict::TableInfo& t, int field) {
  for (const auto& c : schema::columns(t))
    if (c.field == field) return c;
  throw std::logic_error("field without column");
}

inline Status notOpen(const dict::TableInfo& t) {
  return Status::error(err::FileNotOpen, errorText(err::FileNotOpen)).on(t.label);
}

std::string selectList(const dict::TableInfo& t, const std::string& alias = {});
// Cuts texts to their width and drops trailing blanks, so that the buffer
// holds exactly what the file will hold.
void normalize(Record& r);

}  // namespace velmora::db
