#pragma once

// A table of the dictionary as the server keeps it: the same columns as
// its table file, a record position from an identity column that is never
// reused, and each key an index in the very order the file's key gives
// (server_order.h for the texts that compare without case, the position
// last, as the file breaks ties by record order).

#include <string>
#include <string_view>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/schema.h"
#include "dictionary/tables.h"

namespace velmora::db::server {

// The record position's column.
inline constexpr const char* kPosition = "velmora_pos";

// "schema"."TABLE" of the stored table, or of a table named after a file.
std::string tableName(std::string_view schema, const dict::TableInfo& t);
std::string tableName(std::string_view schema, std::string_view name);
// CREATE TABLE with the file's columns and the position, under the stored
// table's name unless one is given.
std::string tableSql(std::string_view schema, const dict::TableInfo& t, std::string_view name = {});
// The columns tableSql() gives a table in `layout`, position first, as
// "name type,…": how the server lists them.
std::string layoutSignature(const dict::TableInfo& layout);
// One CREATE INDEX per key of the stored table, named after the table.
std::vector<std::string> indexSql(std::string_view schema, const dict::TableInfo& t,
                                  std::string_view name = {});
// What reading `key` in order selects and sorts by: "WHERE …" for a key that
// leaves out blank records (else empty), and the ORDER BY list.
std::string keyFilterSql(const dict::TableInfo& t, int key);
std::string keyOrderSql(std::string_view schema, const dict::TableInfo& t, int key);
// The record's column values as the file stores them, as text for the
// server: integers, reals, decimals as cents, texts without trailing blanks.
std::vector<std::string> columnValues(const Record& r);
// One column's value, as columnValues() gives it.
std::string columnValue(const Record& r, const schema::Column& c);

}  // namespace velmora::db::server
