// Writing side of the dictionary generator: the model into the record
// structs (records.h) and the run-time metadata (dictionary_data.cpp).

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dictgen_model.h"

namespace dictgen {

std::string cString(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string cppType(const Field& f) {
  if (f.type == "BYTE") return "std::uint8_t";
  if (f.type == "SHORT") return "std::int16_t";
  if (f.type == "LONG") return "std::int32_t";
  if (f.type == "REAL") return "double";
  if (f.type == "DECIMAL") return "Decimal";
  return "std::string";
}

std::string typeEnum(const std::string& t) {
  static const std::map<std::string, std::string> m = {
      {"BYTE", "Byte"},       {"SHORT", "Short"},   {"LONG", "Long"}, {"REAL", "Real"},
      {"DECIMAL", "Decimal"}, {"STRING", "String"}, {"MEMO", "Memo"}, {"GROUP", "Group"}};
  return "Type::" + m.at(t);
}

std::string placeEnum(const std::string& p) {
  static const std::map<std::string, std::string> m = {{"program", "ProgramFolder"},
                                                       {"work", "WorkFolder"},
                                                       {"accounting", "AccountingFolder"},
                                                       {"monthly-pol", "MonthlyPolicy"},
                                                       {"monthly-det", "MonthlyDetail"},
                                                       {"procedure", "SetByProcedure"},
                                                       {"none", "NotSet"}};
  auto it = m.find(p);
  if (it == m.end()) fail("unknown place " + p);
  return "Place::" + it->second;
}

std::string ruleEnum(int r) {
  switch (r) {
    case 0: return "Rule::None";
    case 1: return "Rule::Clear";
    case 2: return "Rule::Restrict";
    case 3: return "Rule::Cascade";
    case 6: return "Rule::Procedures";
    default: fail("unknown relation rule " + std::to_string(r));
  }
}

void writeHeader(std::ostream& o) {
  o << "// Generated from tables.dct by dictgen. Do not edit.\n"
       "#pragma once\n\n"
       "#include <array>\n#include <cstdint>\n#include <string>\n#include <string_view>\n\n"
       "#include \"dictionary/decimal.h\"\n#include \"dictionary/tables.h\"\n\n"
       "namespace velmora {\n\n"
       "namespace dict::id {\n"
       "enum : int {\n";
  for (std::size_t i = 0; i < tables.size(); ++i)
    o << "  " << tables[i].label << " = " << i << ",\n";
  o << "};\ninline constexpr int count = " << tables.size() << ";\n}  // namespace dict::id\n\n";

  for (std::size_t ti = 0; ti < tables.size(); ++ti) {
    const Table& t = tables[ti];
    if (isAliasType(t)) {
      o << "// " << t.label << ": " << t.holds << " (same record as " << tables[t.base].label
        << ").\nusing " << t.prefix << " = " << tables[t.base].prefix << ";\n\n";
      continue;
    }
    o << "// " << t.label << " (" << t.prefix << "): " << t.holds << ". Record " << t.length
      << " bytes.\nstruct " << t.prefix << " {\n"
      << "  static constexpr int kTable = dict::id::" << t.label << ";\n"
      << "  static const dict::TableInfo& info() { return dict::table(kTable); }\n\n";
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const Field& f = t.fields[i];
      if (f.group >= 0) continue;
      if (f.type == "GROUP") {
        o << "  struct " << f.name << "_t {\n";
        for (std::size_t j = i + 1; j < t.fields.size() && t.fields[j].group == int(i); ++j) {
          const Field& m = t.fields[j];
          o << "    " << cppType(m) << " " << m.name << (m.type == "STRING" ? "" : "{}") << ";\n";
        }
        o << "    bool operator==(const " << f.name << "_t&) const = default;\n  };\n";
        if (f.dim > 1)
          o << "  std::array<" << f.name << "_t, " << f.dim << "> " << f.name << "{};\n";
        else
          o << "  " << f.name << "_t " << f.name << "{};\n";
        continue;
      }
      std::string comment;
      if (f.type == "STRING") comment = "  // STRING(" + std::to_string(f.size) + ")";
      if (f.type == "MEMO") comment = "  // MEMO(" + std::to_string(f.size) + ")";
      if (f.dim > 1)
        o << "  std::array<" << cppType(f) << ", " << f.dim << "> " << f.name << "{};" << comment
          << "\n";
      else
        o << "  " << cppType(f) << " " << f.name
          << (f.type == "STRING" || f.type == "MEMO" ? "" : "{}") << ";" << comment << "\n";
    }
    o << "\n  bool operator==(const " << t.prefix << "&) const = default;\n};\n\n";
  }
  // Names that code passes as text: a misspelt constant does not compile,
  // where a misspelt string fails only when the window runs. Plain arrays,
  // so that they turn into std::string and std::string_view alike.
  o << "namespace labels {\n";
  for (const Table& t : tables)
    o << "inline constexpr char " << t.label << "[] = \"" << t.label << "\";\n";
  o << "}  // namespace labels\n\nnamespace keys {\n";
  std::set<std::string> names;
  for (const Table& t : tables)
    for (const Key& k : t.keys) {
      // "PRO:AGE:KEY" is PRO_AGE_KEY.
      std::string id = t.prefix + "_" + k.name;
      for (char& ch : id)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      lineNo = t.line;
      if (!names.insert(id).second) fail("two keys are both named " + id + " in C++");
      o << "inline constexpr char " << id << "[] = \"" << t.prefix << ":" << k.name << "\";\n";
    }
  o << "}  // namespace keys\n\n";
  o << "}  // namespace velmora\n";
}

void writeSource(std::ostream& o) {
  o << "// Generated from tables.dct by dictgen. Do not edit.\n"
       "#include <new>\n\n#include \"dictionary/records.h\"\n\n"
       "namespace velmora::dict {\nnamespace {\n\n";
  // Record operations, one set per struct.
  for (const Table& t : tables) {
    if (isAliasType(t)) continue;
    const std::string& L = t.prefix;
    o << "void* address_" << L << "(void* r, int f, int e) {\n"
      << "  auto& x = *static_cast<" << L << "*>(r);\n  (void)e;\n  switch (f) {\n";
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const Field& f = t.fields[i];
      std::string expr;
      if (f.group >= 0) {
        const Field& g = t.fields[f.group];
        expr = "x." + g.name + (g.dim > 1 ? "[e]" : "") + "." + f.name;
      } else {
        expr = "x." + f.name + (f.dim > 1 ? "[e]" : "");
      }
      o << "    case " << i << ": return &" << expr << ";\n";
    }
    o << "    default: return nullptr;\n  }\n}\n\n";
    o << "const RecordOps ops_" << L << " = {\n"
      << "    sizeof(" << L << "), alignof(" << L << "),\n"
      << "    [](void* p) { new (p) " << L << "(); },\n"
      << "    [](void* p) { static_cast<" << L << "*>(p)->~" << L << "(); },\n"
      << "    [](void* to, const void* from) { *static_cast<" << L << "*>(to) = *static_cast<const "
      << L << "*>(from); },\n"
      << "    [](const void* a, const void* b) { return *static_cast<const " << L
      << "*>(a) == *static_cast<const " << L << "*>(b); },\n"
      << "    address_" << L << "};\n\n";
  }
  // Fields and keys.
  for (const Table& t : tables) {
    const std::string& L = t.label;
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const Field& f = t.fields[i];
      if (!f.prompts.empty()) {
        o << "constexpr std::string_view prompts_" << L << "_" << i << "[] = {";
        for (auto& p : f.prompts) o << cString(p) << ", ";
        o << "};\n";
      }
      if (!f.pictures.empty()) {
        o << "constexpr std::string_view pictures_" << L << "_" << i << "[] = {";
        for (auto& p : f.pictures) o << cString(p) << ", ";
        o << "};\n";
      }
    }
    o << "constexpr FieldInfo fields_" << L << "[] = {\n";
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const Field& f = t.fields[i];
      o << "    {" << cString(t.prefix + ":" + f.name) << ", " << cString(f.name) << ", "
        << typeEnum(f.type) << ", " << f.size << ", " << f.dim << ", " << f.group << ", "
        << f.offset << ", ";
      if (f.prompts.empty())
        o << "{}, ";
      else
        o << "prompts_" << L << "_" << i << ", ";
      if (f.pictures.empty())
        o << "{}";
      else
        o << "pictures_" << L << "_" << i;
      o << "},\n";
    }
    o << "};\n";
    for (std::size_t k = 0; k < t.keys.size(); ++k) {
      o << "constexpr std::int16_t components_" << L << "_" << k << "[] = {";
      for (auto& c : t.keys[k].components) o << fieldIndex(t, c) << ", ";
      o << "};\n";
    }
    if (!t.keys.empty()) {
      o << "constexpr KeyInfo keys_" << L << "[] = {\n";
      for (std::size_t k = 0; k < t.keys.size(); ++k) {
        const Key& key = t.keys[k];
        auto b = [](bool v) { return v ? "true" : "false"; };
        o << "    {" << cString(t.prefix + ":" + key.name) << ", " << cString(key.name)
          << ", components_" << L << "_" << k << ", " << b(key.unique) << ", " << b(key.noCase)
          << ", " << b(key.excludeNulls) << ", " << b(key.primary) << ", " << b(key.autoNumber)
          << "},\n";
      }
      o << "};\n";
    }
    o << "\n";
  }
  // Relations.
  for (std::size_t r = 0; r < relations.size(); ++r) {
    const Relation& rel = relations[r];
    lineNo = rel.line;
    auto pi = byLabel.find(rel.parent), ci = byLabel.find(rel.child);
    if (pi == byLabel.end() || ci == byLabel.end()) fail("relation names an unknown table");
    const Table& p = tables[pi->second];
    const Table& c = tables[ci->second];
    o << "constexpr LinkPair links_" << r << "[] = {";
    for (auto& [pf, cf] : rel.links) {
      auto strip = [&](const std::string& full, const Table& t) {
        auto colon = full.find(':');
        if (colon == std::string::npos || full.substr(0, colon) != t.prefix)
          fail("link field " + full + " is not of " + t.label);
        int fi = fieldIndex(t, full.substr(colon + 1));
        if (fi < 0) fail("link field " + full + " does not exist");
        return fi;
      };
      o << "{" << strip(pf, p) << ", " << strip(cf, c) << "}, ";
    }
    o << "};\n";
  }
  o << "\n}  // namespace\n\nconstexpr TableInfo tableList[] = {\n";
  for (std::size_t ti = 0; ti < tables.size(); ++ti) {
    const Table& t = tables[ti];
    const std::string& L = t.label;
    int memo = -1;
    for (std::size_t i = 0; i < t.fields.size(); ++i)
      if (t.fields[i].type == "MEMO") memo = int(i);
    o << "    {" << ti << ", " << cString(L) << ", " << cString(t.prefix) << ", "
      << cString(t.holds) << ", Kind::" << t.kind << ", " << t.base << ", " << storageOf(int(ti))
      << ", " << cString(t.file) << ", " << placeEnum(t.place) << ", " << cString(t.password)
      << ", " << t.length << ", " << memo << ", fields_" << L << ", ";
    if (t.keys.empty())
      o << "{}, ";
    else
      o << "keys_" << L << ", ";
    o << "&ops_" << structOf(t).prefix << ", " << t.version << "},\n";
  }
  o << "};\n\nconstexpr RelationInfo relationList[] = {\n";
  for (std::size_t r = 0; r < relations.size(); ++r) {
    const Relation& rel = relations[r];
    lineNo = rel.line;
    const Table& c = tables[byLabel[rel.child]];
    int key = -1;
    for (std::size_t k = 0; k < c.keys.size(); ++k)
      if (c.prefix + ":" + c.keys[k].name == rel.key) key = int(k);
    if (key < 0) fail("relation key " + rel.key + " is not a key of " + c.label);
    o << "    {" << byLabel[rel.parent] << ", " << byLabel[rel.child] << ", " << key << ", links_"
      << r << ", " << ruleEnum(rel.update) << ", " << ruleEnum(rel.del) << "},\n";
  }
  o << "};\n\nstd::span<const TableInfo> tables() { return tableList; }\n"
       "std::span<const RelationInfo> relations() { return relationList; }\n\n"
       "}  // namespace velmora::dict\n";
}

// Writes only when the text changed, so that an unchanged dictionary does not
// rebuild everything that includes the records.
void writeIfChanged(const std::string& path, const std::string& text) {
  std::ifstream old(path, std::ios::binary);
  if (old) {
    std::stringstream ss;
    ss << old.rdbuf();
    if (ss.str() == text) return;
  }
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) {
    std::cerr << "cannot write " << path << "\n";
    std::exit(1);
  }
}

}  // namespace dictgen
