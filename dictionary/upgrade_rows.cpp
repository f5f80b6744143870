#include "dictionary/upgrade_rows.h"

#include <sqlcipher/sqlite3.h>

#include <cmath>
#include <cstdint>
#include <string_view>

#include "dictionary/cp1252.h"

namespace velmora::db::upgrade {

namespace {

bool unchanged(const ColumnCheck& c, sqlite3_value* v) {
  const int type = sqlite3_value_type(v);
  switch (c.kind) {
    case ColumnCheck::Kind::Integer: {
      if (type != SQLITE_INTEGER) return false;
      const std::int64_t n = sqlite3_value_int64(v);
      return n >= c.lo && n <= c.hi;
    }
    case ColumnCheck::Kind::Real: {
      if (type == SQLITE_INTEGER) return !c.stored;  // stored again as a real
      return type == SQLITE_FLOAT && (!c.stored || std::isfinite(sqlite3_value_double(v)));
    }
    case ColumnCheck::Kind::Text: {
      if (type != SQLITE_TEXT) return false;
      const auto* p = sqlite3_value_text(v);
      const std::size_t n = p ? std::size_t(sqlite3_value_bytes(v)) : 0;
      std::string_view text(p ? reinterpret_cast<const char*>(p) : "", n);
      if (!c.stored) {
        // Only read: valid as far as its width.
        return schema::isAscii(reinterpret_cast<const unsigned char*>(text.data()), n) ||
               cp1252::fromUtf8(cp1252::utf8Prefix(text, c.readWidth)).ok;
      }
      if (c.trim && !text.empty() && text.back() == ' ') return false;
      const auto width = std::min(c.readWidth, std::size_t(c.storedWidth));
      if (schema::isAscii(reinterpret_cast<const unsigned char*>(text.data()), n))
        return n <= width;
      return cp1252::utf8Length(text) <= width && cp1252::fromUtf8(text).ok;
    }
  }
  return false;
}

// velmora_row(rowid, chunk, columns...): whether the record copy would
// store this row's columns of that chunk exactly as they are; the rows it
// would not are noted and left out of the copy.
void rowFn(sqlite3_context* cx, int argc, sqlite3_value** v) {
  auto& checks = *static_cast<RowChecks*>(sqlite3_user_data(cx));
  const auto& chunk = checks.chunks[std::size_t(sqlite3_value_int(v[1]))];
  bool same = std::size_t(argc) == chunk.size() + 2;
  for (std::size_t i = 0; same && i < chunk.size(); ++i) same = unchanged(chunk[i], v[i + 2]);
  if (!same) checks.others.push_back(sqlite3_value_int64(v[0]));
  sqlite3_result_int(cx, same);
}

}  // namespace

std::optional<ColumnCheck> columnCheck(const schema::Column& c, const dict::TableInfo& layout,
                                       const dict::FieldInfo* storedAs) {
  ColumnCheck k;
  k.stored = storedAs != nullptr;
  switch (c.type) {
    case dict::Type::Byte: k.lo = 0, k.hi = 255; break;
    case dict::Type::Short: k.lo = INT16_MIN, k.hi = INT16_MAX; break;
    case dict::Type::Long: k.lo = INT32_MIN, k.hi = INT32_MAX; break;
    case dict::Type::Decimal: k.lo = -999999999, k.hi = 999999999; break;
    case dict::Type::Real: k.kind = ColumnCheck::Kind::Real; break;
    case dict::Type::String:
    case dict::Type::Memo:
      k.kind = ColumnCheck::Kind::Text;
      k.readWidth = layout.fields[std::size_t(c.field)].size;
      k.storedWidth = storedAs ? std::int64_t(storedAs->size) : -1;
      k.trim = k.stored && c.type == dict::Type::String;
      break;
    case dict::Type::Group: return std::nullopt;
  }
  return k;
}

bool registerRowCheck(sqlite3* db, RowChecks& checks) {
  return sqlite3_create_function_v2(db, "velmora_row", -1, SQLITE_UTF8, &checks, rowFn, nullptr,
                                    nullptr, nullptr) == SQLITE_OK;
}

}  // namespace velmora::db::upgrade
