#pragma once

// The order of case-insensitive keys on a PostgreSQL server, the same as the
// table files give them: texts compare as their Windows-1252 bytes with
// every letter folded to its capital, then by length (a prefix first). The
// server sorts by an expression, velmora_fold(column), a bytea that the
// server compares byte by byte exactly so; an index on that expression is
// the key. The function is generated from the fold of the files, so the two
// orders cannot drift apart.

#include <string>
#include <string_view>

namespace velmora::db::server {

// CREATE OR REPLACE FUNCTION "schema".velmora_fold(text) RETURNS bytea.
std::string foldFunctionSql(std::string_view schema);

// The expression a case-insensitive text component sorts by:
// "schema".velmora_fold("column").
std::string foldedColumn(std::string_view schema, std::string_view column);

// "name" with its double quotes doubled: an identifier in SQL text.
std::string quoted(std::string_view name);

}  // namespace velmora::db::server
