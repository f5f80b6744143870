#include "dictionary/server_schema.h"

#include <cstdint>
#include <sstream>

#include "dictionary/decimal.h"
#include "dictionary/schema.h"
#include "dictionary/server_order.h"

namespace velmora::db::server {

namespace {

bool isText(dict::Type t) { return t == dict::Type::String || t == dict::Type::Memo; }

const char* serverType(dict::Type t) {
  switch (t) {
    case dict::Type::Real: return "double precision";
    case dict::Type::String:
    case dict::Type::Memo: return "text";
    default: return "bigint";  // BYTE, SHORT, LONG, and DECIMAL as exact cents
  }
}

const dict::TableInfo& stored(const dict::TableInfo& t) { return dict::table(t.storage); }

std::string component(std::string_view schema, const dict::TableInfo& s, const dict::KeyInfo& k,
                      int field) {
  const auto& f = s.fields[std::size_t(field)];
  return k.noCase && isText(f.type) ? foldedColumn(schema, f.shortName) : quoted(f.shortName);
}

}  // namespace

std::string tableName(std::string_view schema, const dict::TableInfo& t) {
  return tableName(schema, schema::tableName(stored(t)));
}

std::string tableName(std::string_view schema, std::string_view name) {
  return quoted(schema) + "." + quoted(name);
}

// IF NOT EXISTS: a station that looked the name up just before another
// made the table may still hold the server's cached "no such table" when
// its turn to make it comes; the creation itself then finds it made.
std::string tableSql(std::string_view schema, const dict::TableInfo& t, std::string_view name) {
  const std::string own = name.empty() ? schema::tableName(stored(t)) : std::string(name);
  name = own;
  std::string sql = "CREATE TABLE IF NOT EXISTS " + tableName(schema, name) + "(" +
                    quoted(kPosition) + " bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
  for (const schema::Column& c : schema::columns(stored(t)))
    sql += "," + quoted(c.name) + " " + serverType(c.type) + " NOT NULL";
  return sql + ")";
}

std::vector<std::string> indexSql(std::string_view schema, const dict::TableInfo& t,
                                  std::string_view name) {
  const dict::TableInfo& s = stored(t);
  const std::string own = name.empty() ? schema::tableName(s) : std::string(name);
  name = own;
  std::vector<std::string> all;
  for (std::size_t i = 0; i < s.keys.size(); ++i) {
    const dict::KeyInfo& k = s.keys[i];
    // A unique key is unique on its components; the position after them
    // keeps the index in the order the file reads ties in.
    std::string columns;
    for (std::int16_t f : k.components)
      columns += (columns.empty() ? "" : ",") + component(schema, s, k, f);
    std::string sql =
        std::string("CREATE ") + (k.unique ? "UNIQUE " : "") + "INDEX IF NOT EXISTS " +
        quoted(std::string(name) + "_" + std::string(k.shortName)) + " ON " +
        tableName(schema, name) + "(" + columns + (k.unique ? "" : "," + quoted(kPosition)) + ")";
    if (std::string filter = keyFilterSql(t, int(i)); !filter.empty()) sql += " " + filter;
    all.push_back(sql);
  }
  return all;
}

std::string keyFilterSql(const dict::TableInfo& t, int key) {
  const dict::TableInfo& s = stored(t);
  const dict::KeyInfo& k = s.keys[std::size_t(key)];
  if (!k.excludeNulls) return {};
  std::string sql = "WHERE NOT(";
  for (std::size_t i = 0; i < k.components.size(); ++i) {
    const auto& f = s.fields[std::size_t(k.components[i])];
    sql += (i ? " AND " : "") + quoted(f.shortName) + (isText(f.type) ? "=''" : "=0");
  }
  return sql + ")";
}

std::string keyOrderSql(std::string_view schema, const dict::TableInfo& t, int key) {
  const dict::TableInfo& s = stored(t);
  const dict::KeyInfo& k = s.keys[std::size_t(key)];
  std::string sql;
  for (std::int16_t f : k.components) sql += component(schema, s, k, f) + ",";
  return sql + quoted(kPosition);
}

std::vector<std::string> columnValues(const Record& r) {
  const dict::TableInfo& t = r.table();
  std::vector<std::string> values;
  for (const schema::Column& c : schema::columns(stored(t))) {
    const void* p = t.ops->address(const_cast<void*>(r.data()), c.field, c.element);
    switch (c.type) {
      case dict::Type::Byte:
        values.push_back(std::to_string(*static_cast<const std::uint8_t*>(p)));
        break;
      case dict::Type::Short:
        values.push_back(std::to_string(*static_cast<const std::int16_t*>(p)));
        break;
      case dict::Type::Long:
        values.push_back(std::to_string(*static_cast<const std::int32_t*>(p)));
        break;
      case dict::Type::Real: {
        std::ostringstream out;
        out.precision(17);
        out << *static_cast<const double*>(p);
        values.push_back(out.str());
        break;
      }
      case dict::Type::Decimal:
        values.push_back(std::to_string(static_cast<const Decimal*>(p)->cents()));
        break;
      case dict::Type::String:
      case dict::Type::Memo: {
        std::string text = *static_cast<const std::string*>(p);
        if (c.type == dict::Type::String)
          while (!text.empty() && text.back() == ' ') text.pop_back();
        values.push_back(text);
        break;
      }
      case dict::Type::Group: values.emplace_back(); break;
    }
  }
  return values;
}

}  // namespace velmora::db::server
