#pragma once

// The data dictionary at run time: every table of the suite with its fields,
// keys, relations and storage file, answering by name ("PAR:CONC",
// "PAR:CTA_KEY"). The declarations live in tables.dct; the build turns them
// into the record structs of records.h and the data behind tables().

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora::dict {

enum class Type : std::uint8_t { Byte, Short, Long, Real, Decimal, String, Memo, Group };

// Where a table's file lives; the file name variables are filled from this
// when a work is chosen.
enum class Place : std::uint8_t {
  ProgramFolder,     // current directory ("DATA1")
  WorkFolder,        // folder named by the work's code ("OBRA10.TPS")
  AccountingFolder,  // folder named in the work record ("CUENTAS.TPS")
  MonthlyPolicy,     // "POL" + month abbreviation + ".TPS" in the accounting folder
  MonthlyDetail,     // "DET" + month abbreviation + ".TPS" in the accounting folder
  SetByProcedure,    // the procedure that uses the table names the file
  NotSet,            // neither program names the file; the table cannot be opened
};

enum class Kind : std::uint8_t {
  Table,     // a table of the shared dictionary
  Alias,     // another view of a base table's layout and keys, own prefix
  Transfer,  // transfer file of the office exchange, layout of a base table
  Layout,    // a stored layout of a base table by version (V1_OBRA), read by the upgrade
};

// What the table layer does to the children when a parent changes or goes.
enum class Rule : std::uint8_t { None = 0, Clear = 1, Restrict = 2, Cascade = 3, Procedures = 6 };

struct FieldInfo {
  std::string_view name;       // "PAR:CONC"
  std::string_view shortName;  // "CONC", the member of the record struct
  Type type;
  std::uint16_t size;    // stored bytes of one element; a group: one element of the group;
                         // a memo: its maximum length in characters
  std::uint16_t dim;     // number of elements, 1 for a plain field
  std::int16_t group;    // index of the enclosing group, -1 at the top level
  std::uint32_t offset;  // in the fixed record; a group member's offset is that in the first
                         // element of its group; memos are stored outside the record
  std::span<const std::string_view> prompts;
  std::span<const std::string_view> pictures;

  // Elements a name can address: the field's own array or its group's.
  std::uint32_t storedWidth() const { return type == Type::Memo ? 0u : std::uint32_t(size) * dim; }
};

struct KeyInfo {
  std::string_view name;                     // "PAR:CTA_KEY"
  std::string_view shortName;                // "CTA_KEY"
  std::span<const std::int16_t> components;  // field indexes, compared in this order, ascending
  bool unique;
  bool noCase;        // strings compare without regard to letter case
  bool excludeNulls;  // records whose components are all blank or zero are left out
  bool primary;
  bool autoNumber;  // the last component is numbered automatically
};

struct LinkPair {
  std::int16_t parentField;
  std::int16_t childField;
};

struct RelationInfo {
  int parent;  // table indexes
  int child;
  int childKey;  // index into the child's keys
  std::span<const LinkPair> links;
  Rule onUpdate;
  Rule onDelete;
};

// How generic code creates, copies and reaches into a typed record struct.
struct RecordOps {
  std::size_t size;
  std::size_t align;
  void (*construct)(void* at);
  void (*destroy)(void* at);
  void (*copy)(void* to, const void* from);
  bool (*equal)(const void* a, const void* b);
  // Address of a field's element (0-based; the group's element for a group member).
  void* (*address)(void* record, int field, int element);
};

struct TableInfo {
  int index;
  std::string_view label;   // "PART"
  std::string_view prefix;  // "PAR"
  std::string_view holds;
  Kind kind;
  int base;     // table whose layout an alias or transfer table repeats; -1 otherwise
  int storage;  // table whose stored rows this one reads and writes: itself, its base, or
                // the table it shares a file with (COBT reads COBA's rows)
  std::string_view fileName;  // as declared: "DATA1", "OBRA10.TPS", "POL"; empty when not set
  Place place;
  std::string_view password;
  std::uint32_t recordLength;
  int memoField;  // index of the memo field or -1
  std::span<const FieldInfo> fields;
  std::span<const KeyInfo> keys;
  const RecordOps* ops;
  // A table: the layout version its files are written in. A layout: its own.
  int version;

  // Lookups by full ("PAR:CONC") or short ("CONC") name, case-insensitive.
  const FieldInfo* field(std::string_view name) const;
  int fieldIndex(std::string_view name) const;
  const KeyInfo* key(std::string_view name) const;
  const KeyInfo* primaryKey() const;
  int fieldIndex(const FieldInfo& f) const { return int(&f - fields.data()); }
};

// Names of the system (labels, fields, keys, controls) compare without
// regard to ASCII letter case.
bool sameName(std::string_view a, std::string_view b);

std::span<const TableInfo> tables();
std::span<const RelationInfo> relations();
const TableInfo& table(int index);
// The layout of `t` (a table) at a version; null when none is declared.
const TableInfo* layoutOf(const TableInfo& t, int version);

// By label ("PART") or prefix ("PAR"), case-insensitive.
const TableInfo* findTable(std::string_view labelOrPrefix);
// By full name "PAR:CONC"; the table is returned through `owner` when given.
const FieldInfo* findField(std::string_view fullName, const TableInfo** owner = nullptr);
const KeyInfo* findKey(std::string_view fullName, const TableInfo** owner = nullptr);

// "STRING(30)", "BYTE[10]", "GROUP[15]", "DECIMAL(9,2)", "MEMO(700)".
std::string typeName(const FieldInfo& f);
std::string_view placeName(Place p);

}  // namespace velmora::dict
