#include "dictionary/tables.h"

#include <cctype>
#include <stdexcept>

namespace velmora::dict {

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

namespace {

// "PAR:CONC" -> ("PAR", "CONC"); a key named "PRO:AGE:KEY" splits at the first colon.
bool splitName(std::string_view full, std::string_view& prefix, std::string_view& rest) {
  auto colon = full.find(':');
  if (colon == std::string_view::npos) return false;
  prefix = full.substr(0, colon);
  rest = full.substr(colon + 1);
  return true;
}

}  // namespace

int TableInfo::fieldIndex(std::string_view name) const {
  std::string_view p, rest;
  if (splitName(name, p, rest)) {
    if (!sameName(p, prefix)) return -1;
    name = rest;
  }
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (sameName(fields[i].shortName, name)) return int(i);
  return -1;
}

const FieldInfo* TableInfo::field(std::string_view name) const {
  int i = fieldIndex(name);
  return i < 0 ? nullptr : &fields[std::size_t(i)];
}

const KeyInfo* TableInfo::key(std::string_view name) const {
  for (const KeyInfo& k : keys)
    if (sameName(k.name, name) || sameName(k.shortName, name)) return &k;
  return nullptr;
}

const KeyInfo* TableInfo::primaryKey() const {
  for (const KeyInfo& k : keys)
    if (k.primary) return &k;
  return nullptr;
}

const TableInfo& table(int index) {
  auto all = tables();
  if (index < 0 || std::size_t(index) >= all.size()) throw std::out_of_range("no such table");
  return all[std::size_t(index)];
}

const TableInfo* layoutOf(const TableInfo& t, int version) {
  for (const TableInfo& l : tables())
    if (l.kind == Kind::Layout && l.base == t.index && l.version == version) return &l;
  return nullptr;
}

const TableInfo* findTable(std::string_view labelOrPrefix) {
  for (const TableInfo& t : tables())
    if (sameName(t.label, labelOrPrefix)) return &t;
  for (const TableInfo& t : tables())
    if (sameName(t.prefix, labelOrPrefix)) return &t;
  return nullptr;
}

const FieldInfo* findField(std::string_view fullName, const TableInfo** owner) {
  std::string_view p, rest;
  if (!splitName(fullName, p, rest)) return nullptr;
  for (const TableInfo& t : tables()) {
    if (!sameName(t.prefix, p)) continue;
    if (const FieldInfo* f = t.field(rest)) {
      if (owner) *owner = &t;
      return f;
    }
  }
  return nullptr;
}

const KeyInfo* findKey(std::string_view fullName, const TableInfo** owner) {
  std::string_view p, rest;
  if (!splitName(fullName, p, rest)) return nullptr;
  for (const TableInfo& t : tables()) {
    if (!sameName(t.prefix, p)) continue;
    for (const KeyInfo& k : t.keys)
      if (sameName(k.shortName, rest)) {
        if (owner) *owner = &t;
        return &k;
      }
  }
  return nullptr;
}

std::string typeName(const FieldInfo& f) {
  std::string s;
  switch (f.type) {
    case Type::Byte: s = "BYTE"; break;
    case Type::Short: s = "SHORT"; break;
    case Type::Long: s = "LONG"; break;
    case Type::Real: s = "REAL"; break;
    case Type::Decimal: s = "DECIMAL(9,2)"; break;
    case Type::String: s = "STRING(" + std::to_string(f.size) + ")"; break;
    case Type::Memo: s = "MEMO(" + std::to_string(f.size) + ")"; break;
    case Type::Group: s = "GROUP"; break;
  }
  if (f.dim > 1) s += "[" + std::to_string(f.dim) + "]";
  return s;
}

std::string_view placeName(Place p) {
  switch (p) {
    case Place::ProgramFolder: return "program folder";
    case Place::WorkFolder: return "work folder";
    case Place::AccountingFolder: return "accounting folder";
    case Place::MonthlyPolicy: return "monthly POL";
    case Place::MonthlyDetail: return "monthly DET";
    case Place::SetByProcedure: return "set by a procedure";
    case Place::NotSet: return "not set";
  }
  return "";
}

}  // namespace velmora::dict
