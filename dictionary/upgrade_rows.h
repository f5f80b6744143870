#pragma once

// The upgrade's set-based copy copies by SQL only the rows the record copy
// would store exactly as they are; velmora_row(rowid, chunk, columns...)
// tells them apart inside the INSERT … SELECT and notes the others, which
// go through the record copy (cut, trimmed or refused as it does).
// Internal to the storage engine.

#include <cstdint>
#include <optional>
#include <vector>

#include "dictionary/schema.h"
#include "dictionary/tables.h"

struct sqlite3;

namespace velmora::db::upgrade {

// What the record copy does to one old column.
struct ColumnCheck {
  enum class Kind { Integer, Real, Text } kind = Kind::Integer;
  std::int64_t lo = 0, hi = 0;   // an integer's range
  std::size_t readWidth = 0;     // a text's width in the old layout
  std::int64_t storedWidth = 0;  // in the new one; below zero when not stored
  bool trim = false;             // trailing blanks dropped (a STRING stored)
  bool stored = false;           // kept in the new layout
};

// The checks by chunk of columns, and the rows left to the record copy.
struct RowChecks {
  std::vector<std::vector<ColumnCheck>> chunks;  // at most kChunk columns each
  std::vector<std::int64_t> others;
};
inline constexpr std::size_t kChunk = 100;  // below the engine's limit on arguments

// The check of old column `c` of `layout`, stored again as `storedAs` (null
// when the new layout drops it); nothing for a column no check can vouch
// for (a group).
std::optional<ColumnCheck> columnCheck(const schema::Column& c, const dict::TableInfo& layout,
                                       const dict::FieldInfo* storedAs);

// velmora_row on the connection, filling `checks`.
bool registerRowCheck(sqlite3* db, RowChecks& checks);

}  // namespace velmora::db::upgrade
