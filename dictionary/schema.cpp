#include "dictionary/schema.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

#include "dictionary/cp1252.h"
#include "dictionary/storage.h"

namespace velmora::db::schema {

namespace {

// cp1252::upper as a table: the comparison runs once per pair of keys the
// engine orders, millions of times in a key rebuild.
const std::array<unsigned char, 256> kFold = [] {
  std::array<unsigned char, 256> t{};
  for (int b = 0; b < 256; ++b) t[std::size_t(b)] = cp1252::upper(static_cast<unsigned char>(b));
  return t;
}();

int compareFolded(const unsigned char* pa, std::size_t la, const unsigned char* pb,
                  std::size_t lb) {
  const std::size_t n = std::min(la, lb);
  for (std::size_t i = 0; i < n; ++i) {
    if (pa[i] == pb[i]) continue;
    int ca = kFold[pa[i]], cb = kFold[pb[i]];
    if (ca != cb) return ca - cb;
  }
  return la < lb ? -1 : la > lb ? 1 : 0;
}

// Both sides to folded Windows-1252 bytes; texts that are not (they cannot
// be stored by us) compare as their raw bytes.
int compareNoCaseSql(void*, int na, const void* a, int nb, const void* b) {
  auto* ua = static_cast<const unsigned char*>(a);
  auto* ub = static_cast<const unsigned char*>(b);
  // ASCII is its own Windows-1252 form: most keys need no conversion.
  if (isAscii(ua, std::size_t(na)) && isAscii(ub, std::size_t(nb)))
    return compareFolded(ua, std::size_t(na), ub, std::size_t(nb));
  // Key texts are short: the stack holds them, longer ones go to the heap.
  unsigned char stackA[256], stackB[256];
  std::string heapA, heapB;
  unsigned char* pa = stackA;
  unsigned char* pb = stackB;
  if (na > 256) heapA.resize(std::size_t(na)), pa = reinterpret_cast<unsigned char*>(heapA.data());
  if (nb > 256) heapB.resize(std::size_t(nb)), pb = reinterpret_cast<unsigned char*>(heapB.data());
  long la = cp1252::encodeInto({static_cast<const char*>(a), std::size_t(na)}, pa, std::size_t(na),
                               nullptr);
  long lb = cp1252::encodeInto({static_cast<const char*>(b), std::size_t(nb)}, pb, std::size_t(nb),
                               nullptr);
  if (la < 0 || lb < 0) {
    int c = std::memcmp(a, b, std::size_t(std::min(na, nb)));
    return c != 0 ? c : na - nb;
  }
  return compareFolded(pa, std::size_t(la), pb, std::size_t(lb));
}

bool isText(dict::Type t) { return t == dict::Type::String || t == dict::Type::Memo; }

const char* sqlType(dict::Type t) {
  switch (t) {
    case dict::Type::Real: return "REAL";
    case dict::Type::String:
    case dict::Type::Memo: return "TEXT";
    default: return "INTEGER";  // BYTE, SHORT, LONG, and DECIMAL as exact cents
  }
}

Status refusedValue(const Record& r, const Column& c, const std::string& why) {
  Status st = Status::error(err::InvalidDataFile, errorText(err::InvalidDataFile) + ": " +
                                                      std::string(r.table().label) + "." + c.name +
                                                      " " + why);
  st.table = r.table().label;
  return st;
}

}  // namespace

bool isAscii(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ull) return false;
  }
  for (; i < n; ++i)
    if (p[i] & 0x80) return false;
  return true;
}

void registerCollations(sqlite3* db) {
  sqlite3_create_collation(db, kNoCase, SQLITE_UTF8, nullptr, compareNoCaseSql);
}

int compareNoCase(std::string_view a, std::string_view b) {
  return compareNoCaseSql(nullptr, int(a.size()), a.data(), int(b.size()), b.data());
}

const std::vector<Column>& columns(const dict::TableInfo& t) {
  static std::vector<std::vector<Column>> all = [] {
    std::vector<std::vector<Column>> v;
    for (const auto& table : dict::tables()) {
      std::vector<Column> cols;
      for (std::size_t fi = 0; fi < table.fields.size(); ++fi) {
        const auto& f = table.fields[fi];
        if (f.type == dict::Type::Group) continue;
        int n = f.group >= 0 ? table.fields[std::size_t(f.group)].dim : f.dim;
        for (int e = 0; e < n; ++e) {
          std::string name(f.shortName);
          if (n > 1) name += "[" + std::to_string(e + 1) + "]";
          cols.push_back({name, int(fi), e, f.type});
        }
      }
      v.push_back(std::move(cols));
    }
    return v;
  }();
  return all[std::size_t(t.index)];
}

std::string quote(std::string_view name) {
  std::string s = "\"";
  for (char c : name) {
    if (c == '"') s += '"';
    s += c;
  }
  return s + "\"";
}

std::string tableName(const dict::TableInfo& t) {
  // A file written in an older layout still holds its table under the table's name.
  if (t.kind == dict::Kind::Layout) return tableName(dict::table(t.base));
  return std::string(dict::table(t.storage).label);
}

std::string tableSql(const dict::TableInfo& t) {
  const auto& s = dict::table(t.storage);
  std::string sql = "CREATE TABLE " + quote(tableName(s)) + "(";
  bool first = true;
  for (const Column& c : columns(s)) {
    if (!first) sql += ",";
    first = false;
    sql += quote(c.name) + " " + sqlType(c.type) + " NOT NULL";
  }
  return sql + ")";
}

std::string indexName(const dict::TableInfo& t, int key) {
  if (t.kind == dict::Kind::Layout) return indexName(dict::table(t.base), key);
  return std::string(dict::table(t.storage).keys[std::size_t(key)].name);
}

std::string componentSql(const dict::TableInfo& t, int key, int component) {
  const auto& s = dict::table(t.storage);
  const auto& k = s.keys[std::size_t(key)];
  const auto& f = s.fields[std::size_t(k.components[std::size_t(component)])];
  std::string sql = quote(f.shortName);
  if (k.noCase && isText(f.type)) sql += std::string(" COLLATE ") + kNoCase;
  return sql;
}

std::string nullFilterSql(const dict::TableInfo& t, int key) {
  const auto& s = dict::table(t.storage);
  const auto& k = s.keys[std::size_t(key)];
  if (!k.excludeNulls) return {};
  std::string sql = "NOT(";
  for (std::size_t i = 0; i < k.components.size(); ++i) {
    const auto& f = s.fields[std::size_t(k.components[i])];
    if (i) sql += " AND ";
    sql += quote(f.shortName) + (isText(f.type) ? "=''" : "=0");
  }
  return sql + ")";
}

std::string indexSql(const dict::TableInfo& t, int key) {
  const auto& s = dict::table(t.storage);
  const auto& k = s.keys[std::size_t(key)];
  std::string sql = std::string("CREATE ") + (k.unique ? "UNIQUE " : "") + "INDEX " +
                    quote(indexName(t, key)) + " ON " + quote(tableName(s)) + "(";
  for (std::size_t i = 0; i < k.components.size(); ++i) {
    if (i) sql += ",";
    sql += componentSql(t, key, int(i));
  }
  sql += ")";
  std::string filter = nullFilterSql(t, key);
  if (!filter.empty()) sql += " WHERE " + filter;
  return sql;
}

Status bind(sqlite3_stmt* s, int param, const Record& r, const Column& c) {
  const auto& t = r.table();
  const void* p = t.ops->address(const_cast<void*>(r.data()), c.field, c.element);
  int rc = SQLITE_OK;
  switch (c.type) {
    case dict::Type::Byte:
      rc = sqlite3_bind_int64(s, param, *static_cast<const std::uint8_t*>(p));
      break;
    case dict::Type::Short:
      rc = sqlite3_bind_int64(s, param, *static_cast<const std::int16_t*>(p));
      break;
    case dict::Type::Long:
      rc = sqlite3_bind_int64(s, param, *static_cast<const std::int32_t*>(p));
      break;
    case dict::Type::Real: {
      double d = *static_cast<const double*>(p);
      if (!std::isfinite(d)) {
        Status st = Status::error(err::ValueRefused,
                                  "El campo " + std::string(t.fields[std::size_t(c.field)].name) +
                                      " no acepta un valor no finito");
        st.table = t.label;
        return st;
      }
      rc = sqlite3_bind_double(s, param, d);
      break;
    }
    case dict::Type::Decimal: {
      const Decimal& d = *static_cast<const Decimal*>(p);
      if (!pack(d, 9, 2, nullptr)) {
        Status st = Status::error(err::ValueRefused,
                                  "El campo " + std::string(t.fields[std::size_t(c.field)].name) +
                                      " no acepta el valor " + d.toString());
        st.table = t.label;
        return st;
      }
      rc = sqlite3_bind_int64(s, param, d.cents());
      break;
    }
    case dict::Type::String:
    case dict::Type::Memo: {
      const auto& text = *static_cast<const std::string*>(p);
      const auto& f = t.fields[std::size_t(c.field)];
      std::string cut = cp1252::utf8Prefix(text, f.size);
      std::string bad;
      std::string scratch(cut.size(), '\0');
      if (cp1252::encodeInto(cut, reinterpret_cast<unsigned char*>(scratch.data()), f.size, &bad) <
          0) {
        Status st = Status::error(err::ValueRefused, "El campo " + std::string(f.name) +
                                                         " no acepta el carácter «" + bad + "»");
        st.table = t.label;
        return st;
      }
      if (c.type == dict::Type::String)
        while (!cut.empty() && cut.back() == ' ') cut.pop_back();
      rc = sqlite3_bind_text(s, param, cut.data(), int(cut.size()), SQLITE_TRANSIENT);
      break;
    }
    case dict::Type::Group: break;
  }
  if (rc != SQLITE_OK) {
    Status st = Status::error(err::FileSystem, errorText(err::FileSystem));
    st.fileErrorCode = std::to_string(rc);
    st.fileError = sqlite3_errstr(rc);
    return st;
  }
  return Status::success();
}

Status read(sqlite3_stmt* s, int col, Record& r, const Column& c) {
  const auto& t = r.table();
  void* p = t.ops->address(r.data(), c.field, c.element);
  int type = sqlite3_column_type(s, col);
  auto integer = [&](std::int64_t lo, std::int64_t hi, std::int64_t& v) -> bool {
    if (type != SQLITE_INTEGER) return false;
    v = sqlite3_column_int64(s, col);
    return v >= lo && v <= hi;
  };
  std::int64_t v = 0;
  switch (c.type) {
    case dict::Type::Byte:
      if (!integer(0, 255, v)) return refusedValue(r, c, "no es un BYTE");
      *static_cast<std::uint8_t*>(p) = std::uint8_t(v);
      break;
    case dict::Type::Short:
      if (!integer(INT16_MIN, INT16_MAX, v)) return refusedValue(r, c, "no es un SHORT");
      *static_cast<std::int16_t*>(p) = std::int16_t(v);
      break;
    case dict::Type::Long:
      if (!integer(INT32_MIN, INT32_MAX, v)) return refusedValue(r, c, "no es un LONG");
      *static_cast<std::int32_t*>(p) = std::int32_t(v);
      break;
    case dict::Type::Decimal:
      if (!integer(-999999999, 999999999, v)) return refusedValue(r, c, "no es un DECIMAL(9,2)");
      *static_cast<Decimal*>(p) = Decimal::fromCents(v);
      break;
    case dict::Type::Real:
      if (type != SQLITE_FLOAT && type != SQLITE_INTEGER)
        return refusedValue(r, c, "no es un REAL");
      *static_cast<double*>(p) = sqlite3_column_double(s, col);
      break;
    case dict::Type::String:
    case dict::Type::Memo: {
      if (type != SQLITE_TEXT) return refusedValue(r, c, "no es un texto");
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
      std::string_view view(text ? text : "", std::size_t(sqlite3_column_bytes(s, col)));
      const auto& f = t.fields[std::size_t(c.field)];
      // ASCII is valid as it is and one byte a character: copied straight
      // into the field, whose buffer is reused from record to record.
      if (isAscii(reinterpret_cast<const unsigned char*>(view.data()), view.size())) {
        static_cast<std::string*>(p)->assign(view.substr(0, std::size_t(f.size)));
        break;
      }
      std::string cut = cp1252::utf8Prefix(view, f.size);
      if (!cp1252::fromUtf8(cut).ok) return refusedValue(r, c, "tiene caracteres inválidos");
      *static_cast<std::string*>(p) = std::move(cut);
      break;
    }
    case dict::Type::Group: break;
  }
  return Status::success();
}

}  // namespace velmora::db::schema
