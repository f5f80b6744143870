#include "dictionary/server_schema.h"

#include <charconv>
#include <cstdint>

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

std::string layoutSignature(const dict::TableInfo& layout) {
  std::string s = std::string(kPosition) + " bigint";
  for (const schema::Column& c : schema::columns(stored(layout)))
    s += "," + c.name + " " + serverType(c.type);
  return s;
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

std::string columnValue(const Record& r, const schema::Column& c) {
  const dict::TableInfo& t = r.table();
  const void* p = t.ops->address(const_cast<void*>(r.data()), c.field, c.element);
  switch (c.type) {
    case dict::Type::Byte: return std::to_string(*static_cast<const std::uint8_t*>(p));
    case dict::Type::Short: return std::to_string(*static_cast<const std::int16_t*>(p));
    case dict::Type::Long: return std::to_string(*static_cast<const std::int32_t*>(p));
    case dict::Type::Real: {
      // The shortest text that reads back as the same double.
      char text[32];
      const auto [end, ec] =
          std::to_chars(text, text + sizeof text, *static_cast<const double*>(p));
      return std::string(text, ec == std::errc() ? end : text);
    }
    case dict::Type::Decimal: return std::to_string(static_cast<const Decimal*>(p)->cents());
    case dict::Type::String:
    case dict::Type::Memo: {
      const std::string& text = *static_cast<const std::string*>(p);
      std::size_t n = text.size();
      if (c.type == dict::Type::String)
        while (n > 0 && text[n - 1] == ' ') --n;
      return text.substr(0, n);
    }
    case dict::Type::Group: break;
  }
  return {};
}

std::vector<std::string> columnValues(const Record& r) {
  const auto& columns = schema::columns(stored(r.table()));
  std::vector<std::string> values;
  values.reserve(columns.size());
  for (const schema::Column& c : columns) values.push_back(columnValue(r, c));
  return values;
}

}  // namespace velmora::db::server
