#pragma once

// Record buffers: the typed structs of records.h seen generically through the
// dictionary (clear, copy, compare, field access by name), and the exact
// fixed layout they are stored in.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <typeinfo>
#include <variant>

#include "dictionary/decimal.h"
#include "dictionary/records.h"
#include "dictionary/status.h"
#include "dictionary/tables.h"

namespace velmora {

// A field value seen without its table: integers for BYTE/SHORT/LONG, double
// for REAL, exact cents for DECIMAL, UTF-8 text for STRING and MEMO.
using Value = std::variant<std::int64_t, double, Decimal, std::string>;

std::string toText(const Value& v);
// A value as a number, for the arithmetic of window variables: text is 0
// (a variable not yet given a number), whatever digits it holds.
double number(const Value& v);

// One element of one field: "OBR:CC" in element 7 of group "OBR:CONTA".
// Elements count from 1, as the system's names do; a plain field has one.
struct FieldRef {
  const dict::TableInfo* table = nullptr;
  const dict::FieldInfo* field = nullptr;
  int element = 1;

  explicit operator bool() const { return field != nullptr; }
  int elements() const;  // how many the field's array or group has
};

// Resolves "PAR:CONC", "OBR:CC[7]" or "OBR:CC" with an explicit element. An
// unknown name, a group or an element out of range yields an empty ref.
FieldRef resolve(const dict::TableInfo& table, std::string_view name, int element = 0);

// An owning record buffer of any table: the generated struct behind a
// type-erased handle, so that generic code (storage, browses, scripts) can
// work with tables known only by name.
class Record {
 public:
  explicit Record(const dict::TableInfo& table);
  Record(const Record& other);
  Record(Record&& other) noexcept;
  Record& operator=(const Record& other);
  Record& operator=(Record&& other) noexcept;
  ~Record();

  const dict::TableInfo& table() const { return *table_; }
  void* data() { return data_; }
  const void* data() const { return data_; }

  // The typed struct; an alias table shares its base's struct.
  template <class R>
  R& as() {
    check(&R::info());
    return *static_cast<R*>(data_);
  }
  template <class R>
  const R& as() const {
    check(&R::info());
    return *static_cast<const R*>(data_);
  }

  void clear();  // numbers to zero, texts to blank
  bool operator==(const Record& other) const;

  Value get(const FieldRef& ref) const;
  Value get(std::string_view name) const;
  // Converts and checks the value for the field: a text longer than the field
  // is cut to its width, a character outside Windows-1252 or a number out of
  // the field's range is refused and the field keeps its value.
  Status set(const FieldRef& ref, const Value& value);
  Status set(std::string_view name, const Value& value);

 private:
  void check(const dict::TableInfo* typed) const;
  const dict::TableInfo* table_;
  void* data_;
};

// The stored form of a record: exactly table.recordLength bytes in field
// order (little-endian numbers, packed decimals, blank-padded Windows-1252
// texts), plus the memo text, kept outside the fixed record.
Status encode(const dict::TableInfo& table, const void* record, std::span<unsigned char> fixed,
              std::string* memo = nullptr);
Status decode(const dict::TableInfo& table, std::span<const unsigned char> fixed,
              std::string_view memo, void* record);

inline Status encode(const Record& r, std::span<unsigned char> fixed, std::string* memo = nullptr) {
  return encode(r.table(), r.data(), fixed, memo);
}
inline Status decode(std::span<const unsigned char> fixed, std::string_view memo, Record& r) {
  return decode(r.table(), fixed, memo, r.data());
}

// Typed conveniences for the generated structs.
template <class R>
Status encode(const R& r, std::span<unsigned char> fixed, std::string* memo = nullptr) {
  return encode(R::info(), &r, fixed, memo);
}
template <class R>
Status decode(std::span<const unsigned char> fixed, std::string_view memo, R& r) {
  return decode(R::info(), fixed, memo, &r);
}

}  // namespace velmora
