#pragma once

// What the files of the server back end share: results that free
// themselves, parameters as text, and the row decoding. Internal.

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

#include "dictionary/record.h"
#include "dictionary/schema.h"
#include "dictionary/server_table.h"
#include "dictionary/tables.h"

namespace velmora::db::server {

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

inline const dict::TableInfo& stored(const dict::TableInfo& t) { return dict::table(t.storage); }

inline bool isText(dict::Type t) { return t == dict::Type::String || t == dict::Type::Memo; }

// The cast a parameter of the type takes.
const char* cast(dict::Type t);

// The column of a key component: the field itself (keys are on scalars).
const schema::Column& columnOf(const dict::TableInfo& t, int field);

Result execParams(Connection& c, const std::string& sql, const std::vector<std::string>& params);
// The statement prepared once on the session and run with these values.
Result run(Connection& c, const std::string& sql, const std::vector<std::string>& params);

// A statement that ran (with or without rows).
inline bool ran(const PGresult* r) {
  return PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
}

// Appends a parameter and gives its placeholder with the column's cast.
inline std::string param(std::vector<std::string>& params, std::string value, dict::Type type) {
  params.push_back(std::move(value));
  return "$" + std::to_string(params.size()) + cast(type);
}
inline std::string param(std::vector<std::string>& params, std::string value,
                         const char* sqlCast = "::text") {
  params.push_back(std::move(value));
  return "$" + std::to_string(params.size()) + sqlCast;
}

// Row `row` of a result (its position first, then the columns) into a record.
void decode(const PGresult* r, int row, Record& into, std::int64_t& position);

}  // namespace velmora::db::server
