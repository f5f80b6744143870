#pragma once

// How a table's records are laid out in its SQLite file: the columns, the
// statements that create the table and its keys, and the conversion between
// columns and record buffers. Internal to the storage engine.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/tables.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velmora::db::schema {

// Collation of case-insensitive keys: Windows-1252 order with every letter
// folded, not only ASCII.
inline constexpr const char* kNoCase = "V1252NC";
void registerCollations(sqlite3* db);
// The collation's order: negative, zero or positive.
int compareNoCase(std::string_view a, std::string_view b);
// Every byte below 0x80: a text that is its own Windows-1252 form.
bool isAscii(const unsigned char* p, std::size_t n);

// The side table of a file where stations hold the automatic numbers of the
// records they are entering (created on the first reservation).
inline constexpr const char* kReservations = "velmora_reservations";
inline constexpr const char* kReservationColumns =
    "(key TEXT NOT NULL,prefix TEXT NOT NULL,number INTEGER NOT NULL,station TEXT NOT NULL,"
    "since INTEGER NOT NULL)";

struct Column {
  std::string name;  // "CONC", "ESTI[3]", "CC[7]"
  int field;         // index in the table's fields
  int element;       // 0-based element of the field's array or group
  dict::Type type;
};

// Every stored element of every field, in field order (memo last as it is
// declared last).
const std::vector<Column>& columns(const dict::TableInfo& t);

std::string quote(std::string_view name);         // "name" with inner quotes doubled
std::string tableName(const dict::TableInfo& t);  // the stored table's label
std::string tableSql(const dict::TableInfo& t);
std::string indexName(const dict::TableInfo& t, int key);
std::string indexSql(const dict::TableInfo& t, int key);
// The key's expression for one component and the condition that leaves out
// records whose components are all blank or zero ("" when the key keeps them).
std::string componentSql(const dict::TableInfo& t, int key, int component);
std::string nullFilterSql(const dict::TableInfo& t, int key);

// Binds one field element of a record as its column value. Texts are cut to
// the field's width, checked against Windows-1252 and stored without their
// trailing blanks.
Status bind(sqlite3_stmt* s, int param, const Record& r, const Column& c);
// Reads a column into the record; a value the field cannot hold (a foreign
// or damaged file) is refused.
Status read(sqlite3_stmt* s, int col, Record& r, const Column& c);

}  // namespace velmora::db::schema
