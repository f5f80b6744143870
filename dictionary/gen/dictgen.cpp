// Build-time generator: reads the dictionary declarations (tables.dct) and
// writes the record structs (records.h) and the run-time metadata
// (dictionary_data.cpp). Any inconsistency in the declarations, such as a
// record length that does not add up, stops the build with file:line.

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

namespace {

struct Field {
  std::string name;
  std::string type;  // BYTE SHORT LONG REAL DECIMAL STRING MEMO GROUP
  int size = 0;      // bytes of one element (string width, memo length)
  int digits = 0, decimals = 0;
  int dim = 1;
  int group = -1;
  int offset = 0;
  std::vector<std::string> prompts, pictures;
};

struct Key {
  std::string name;
  std::vector<std::string> components;
  bool unique = false, noCase = false, excludeNulls = false, primary = false, autoNumber = false;
};

struct Table {
  std::string label, prefix, holds, file, place = "procedure", password, kind = "Table";
  int length = -1;
  int base = -1;
  int version = 1;     // a layout's own version; a table's current one
  std::string shares;  // another table over the same stored rows
  std::vector<Field> fields;
  std::vector<Key> keys;
  int line = 0;
};

struct Relation {
  std::string parent, child, key;
  std::vector<std::pair<std::string, std::string>> links;
  int update = 0, del = 0;
  int line = 0;
};

std::string source;
int lineNo = 0;

[[noreturn]] void fail(const std::string& what) {
  std::cerr << source << ":" << lineNo << ": error: " << what << "\n";
  std::exit(1);
}

std::vector<std::string> tokenize(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    if (isspace(static_cast<unsigned char>(line[i]))) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    std::string tok;
    bool quoted = false;
    while (i < line.size() && (quoted || !isspace(static_cast<unsigned char>(line[i])))) {
      char c = line[i++];
      if (c == '"') {
        quoted = !quoted;
        tok += c;
      } else if (c == '\\' && quoted && i < line.size()) {
        tok += line[i++];
      } else {
        tok += c;
      }
    }
    if (quoted) fail("unterminated string");
    out.push_back(tok);
  }
  return out;
}

// key=value or key="value"; the quotes are dropped.
bool splitAttr(const std::string& tok, std::string& k, std::string& v) {
  auto eq = tok.find('=');
  if (eq == std::string::npos) return false;
  k = tok.substr(0, eq);
  v = tok.substr(eq + 1);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return true;
}

std::string unquote(const std::string& t) {
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t.substr(1, t.size() - 2);
  fail("expected a quoted text, got " + t);
}

// "STRING(30)[20]" -> type STRING, size 30, dim 20.
void parseType(const std::string& text, Field& f) {
  std::string t = text;
  auto br = t.find('[');
  if (br != std::string::npos) {
    if (t.back() != ']') fail("bad dimension in " + text);
    f.dim = std::atoi(t.substr(br + 1, t.size() - br - 2).c_str());
    if (f.dim < 1) fail("bad dimension in " + text);
    t = t.substr(0, br);
  }
  int a = 0, b = 0;
  auto par = t.find('(');
  if (par != std::string::npos) {
    std::string args = t.substr(par + 1, t.size() - par - 2);
    a = std::atoi(args.c_str());
    auto comma = args.find(',');
    if (comma != std::string::npos) b = std::atoi(args.substr(comma + 1).c_str());
    t = t.substr(0, par);
  }
  f.type = t;
  if (t == "BYTE")
    f.size = 1;
  else if (t == "SHORT")
    f.size = 2;
  else if (t == "LONG")
    f.size = 4;
  else if (t == "REAL")
    f.size = 8;
  else if (t == "DECIMAL") {
    if (a != 9 || b != 2) fail("only DECIMAL(9,2) is supported");
    f.digits = a;
    f.decimals = b;
    f.size = a / 2 + 1;
  } else if (t == "STRING" || t == "MEMO") {
    if (a < 1) fail("a width is needed in " + text);
    f.size = a;
  } else {
    fail("unknown type " + text);
  }
  if (t == "MEMO" && f.dim != 1) fail("a memo cannot be an array");
}

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

std::vector<Table> tables;
std::vector<Relation> relations;
std::map<std::string, int> byLabel;

int fieldIndex(const Table& t, const std::string& name) {
  for (std::size_t i = 0; i < t.fields.size(); ++i)
    if (t.fields[i].name == name) return int(i);
  return -1;
}

void parse(std::istream& in) {
  std::string line;
  Table* cur = nullptr;
  int curGroup = -1;
  while (std::getline(in, line)) {
    ++lineNo;
    auto tok = tokenize(line);
    if (tok.empty()) continue;
    const std::string& w = tok[0];
    if (w == "table") {
      if (cur) fail("table inside table");
      if (tok.size() < 3) fail("table needs a label and a prefix");
      Table t;
      t.label = tok[1];
      t.prefix = tok[2];
      t.line = lineNo;
      for (std::size_t i = 3; i < tok.size(); ++i) {
        std::string k, v;
        if (!splitAttr(tok[i], k, v)) fail("bad attribute " + tok[i]);
        if (k == "file")
          t.file = v;
        else if (k == "place")
          t.place = v;
        else if (k == "password")
          t.password = v;
        else if (k == "length")
          t.length = std::atoi(v.c_str());
        else if (k == "shares")
          t.shares = v;
        else
          fail("unknown attribute " + k);
      }
      placeEnum(t.place);
      if (byLabel.count(t.label)) fail("table declared twice: " + t.label);
      for (auto& o : tables)
        if (o.prefix == t.prefix) fail("prefix declared twice: " + t.prefix);
      tables.push_back(t);
      byLabel[t.label] = int(tables.size()) - 1;
      cur = &tables.back();
      curGroup = -1;
    } else if (w == "holds") {
      if (!cur || tok.size() != 2) fail("holds belongs in a table");
      cur->holds = unquote(tok[1]);
    } else if (w == "field" || w == "group") {
      if (!cur) fail("field outside a table");
      Field f;
      if (tok.size() < 2) fail("field needs a name");
      std::size_t i = 2;
      if (w == "field") {
        if (tok.size() < 3) fail("field needs a type");
        f.name = tok[1];
        parseType(tok[2], f);
        i = 3;
      } else {
        if (curGroup >= 0) fail("groups do not nest");
        std::string n = tok[1];
        auto br = n.find('[');
        f.type = "GROUP";
        if (br != std::string::npos) {
          f.dim = std::atoi(n.substr(br + 1).c_str());
          n = n.substr(0, br);
        }
        f.name = n;
      }
      for (; i < tok.size(); ++i) {
        std::string k, v;
        if (!splitAttr(tok[i], k, v)) fail("bad attribute " + tok[i]);
        if (k == "prompt")
          f.prompts.push_back(v);
        else if (k == "picture")
          f.pictures.push_back(v);
        else
          fail("unknown attribute " + k);
      }
      if (fieldIndex(*cur, f.name) >= 0) fail("field declared twice: " + f.name);
      if (f.name == cur->prefix) fail("a field cannot be named like its prefix: " + f.name);
      f.group = curGroup;
      if (curGroup >= 0 && f.dim != 1) fail("arrays inside a group are not supported");
      if (curGroup >= 0 && f.type == "MEMO") fail("a memo cannot be inside a group");
      cur->fields.push_back(f);
      if (w == "group") curGroup = int(cur->fields.size()) - 1;
    } else if (w == "key") {
      if (!cur || tok.size() < 3) fail("key needs a name and components");
      Key k;
      k.name = tok[1];
      std::stringstream ss(tok[2]);
      std::string c;
      while (std::getline(ss, c, ',')) {
        int fi = fieldIndex(*cur, c);
        if (fi < 0) fail("key component is not a field: " + c);
        if (cur->fields[fi].type == "GROUP" || cur->fields[fi].type == "MEMO" ||
            cur->fields[fi].dim != 1 || cur->fields[fi].group >= 0)
          fail("key component must be a plain field: " + c);
        k.components.push_back(c);
      }
      for (std::size_t i = 3; i < tok.size(); ++i) {
        const auto& a = tok[i];
        if (a == "unique")
          k.unique = true;
        else if (a == "nocase")
          k.noCase = true;
        else if (a == "nozero")
          k.excludeNulls = true;
        else if (a == "primary")
          k.primary = true;
        else if (a == "auto")
          k.autoNumber = true;
        else
          fail("unknown key attribute " + a);
      }
      for (auto& o : cur->keys)
        if (o.name == k.name) fail("key declared twice: " + k.name);
      cur->keys.push_back(k);
    } else if (w == "end") {
      if (curGroup >= 0)
        curGroup = -1;
      else if (cur)
        cur = nullptr;
      else
        fail("end without table");
    } else if (w == "alias" || w == "transfer") {
      if (cur) fail(w + " inside a table");
      if (tok.size() < 4 || tok[2] != "of") fail(w + " LABEL of BASE");
      auto it = byLabel.find(tok[3]);
      if (it == byLabel.end()) fail("unknown base table " + tok[3]);
      Table t = tables[it->second];
      t.base = it->second;
      t.label = tok[1];
      t.prefix = tok[1];
      t.kind = w == "alias" ? "Alias" : "Transfer";
      t.place = "procedure";
      t.file.clear();
      t.line = lineNo;
      t.holds = (w == "alias" ? "copy of " : "transfer file of ") + tables[it->second].label;
      for (std::size_t i = 4; i < tok.size(); ++i) {
        std::string k, v;
        if (tok[i] == "nokeys")
          t.keys.clear();
        else if (splitAttr(tok[i], k, v) && k == "file")
          t.file = v;
        else
          fail("bad attribute " + tok[i]);
      }
      if (byLabel.count(t.label)) fail("table declared twice: " + t.label);
      tables.push_back(t);
      byLabel[t.label] = int(tables.size()) - 1;
    } else if (w == "layout") {
      // An older (or the current) stored layout of a table, kept so that a
      // file written in it can be read and converted.
      if (cur) fail("layout inside a table");
      if (tok.size() < 6 || tok[3] != "of") fail("layout LABEL PREFIX of BASE version=N");
      auto it = byLabel.find(tok[4]);
      if (it == byLabel.end()) fail("unknown base table " + tok[4]);
      if (tables[it->second].kind != "Table") fail("a layout belongs to a table of its own");
      Table t = tables[it->second];
      t.base = it->second;
      t.label = tok[1];
      t.prefix = tok[2];
      t.kind = "Layout";
      t.shares.clear();
      t.length = -1;
      t.line = lineNo;
      t.holds = "layout of " + tables[it->second].label;
      t.version = 0;
      for (std::size_t i = 5; i < tok.size(); ++i) {
        std::string k, v;
        if (!splitAttr(tok[i], k, v)) fail("bad attribute " + tok[i]);
        if (k == "version") {
          t.version = std::atoi(v.c_str());
        } else if (k == "length") {
          t.length = std::atoi(v.c_str());
        } else if (k == "without") {
          std::stringstream ss(v);
          std::string name;
          while (std::getline(ss, name, ',')) {
            int fi = fieldIndex(t, name);
            if (fi < 0) fail("the base has no field " + name);
            if (t.fields[fi].type == "GROUP" || t.fields[fi].group >= 0)
              fail("only plain fields can be left out: " + name);
            for (auto& key : t.keys)
              for (auto& c : key.components)
                if (c == name) fail("a key component cannot be left out: " + name);
            t.fields.erase(t.fields.begin() + fi);
            for (auto& f : t.fields)
              if (f.group > fi) --f.group;
          }
        } else {
          fail("unknown attribute " + k);
        }
      }
      if (t.version < 1) fail("a layout needs version=N");
      if (byLabel.count(t.label)) fail("table declared twice: " + t.label);
      for (auto& o : tables)
        if (o.prefix == t.prefix) fail("prefix declared twice: " + t.prefix);
      Table& b = tables[it->second];
      b.version = std::max(b.version, t.version);
      tables.push_back(t);
      byLabel[t.label] = int(tables.size()) - 1;
    } else if (w == "relation") {
      if (cur) fail("relation inside a table");
      if (tok.size() != 7) fail("relation PARENT CHILD KEY LINKS update=N delete=N");
      Relation r;
      r.parent = tok[1];
      r.child = tok[2];
      r.key = tok[3];
      r.line = lineNo;
      std::stringstream ss(tok[4]);
      std::string pair;
      while (std::getline(ss, pair, ',')) {
        auto eq = pair.find('=');
        if (eq == std::string::npos) fail("bad link " + pair);
        r.links.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
      }
      std::string k, v;
      if (!splitAttr(tok[5], k, v) || k != "update") fail("update=RULE expected");
      r.update = std::atoi(v.c_str());
      if (!splitAttr(tok[6], k, v) || k != "delete") fail("delete=RULE expected");
      r.del = std::atoi(v.c_str());
      ruleEnum(r.update);
      ruleEnum(r.del);
      relations.push_back(r);
    } else {
      fail("unknown word " + w);
    }
  }
  if (cur) fail("missing end");
}

// Lays out offsets and checks each table's record length.
void layout() {
  for (auto& t : tables) {
    lineNo = t.line;
    int off = 0;
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      Field& f = t.fields[i];
      if (f.type == "MEMO") continue;
      if (f.type == "GROUP") {
        f.offset = off;
        int inner = 0;
        for (std::size_t j = i + 1; j < t.fields.size() && t.fields[j].group == int(i); ++j) {
          t.fields[j].offset = off + inner;
          inner += t.fields[j].size;
        }
        f.size = inner;
        off += inner * f.dim;
        const int g = int(i);
        while (i + 1 < t.fields.size() && t.fields[i + 1].group == g) ++i;
        continue;
      }
      f.offset = off;
      off += f.size * f.dim;
    }
    if (t.length >= 0 && t.length != off)
      fail(t.label + ": the fields add up to " + std::to_string(off) + " bytes, declared " +
           std::to_string(t.length));
    t.length = off;
    int primaries = 0, memos = 0;
    for (auto& k : t.keys) primaries += k.primary;
    for (auto& f : t.fields) memos += f.type == "MEMO";
    if (primaries > 1) fail(t.label + " has more than one primary key");
    if (memos > 1) fail(t.label + " has more than one memo");
    if (t.password.empty()) fail(t.label + " has no owner password");
  }
}

// The table whose stored rows a table reads and writes: an alias's base, the
// table it shares a file with, or itself.
int storageOf(int ti) {
  const Table& t = tables[ti];
  if (t.kind == "Layout") return ti;  // its own columns, under its table's name
  if (t.base >= 0) return t.base;
  if (!t.shares.empty()) return byLabel.at(t.shares);
  return ti;
}

void checkShares() {
  for (auto& t : tables) {
    if (t.shares.empty()) continue;
    lineNo = t.line;
    auto it = byLabel.find(t.shares);
    if (it == byLabel.end()) fail("shares an unknown table " + t.shares);
    const Table& o = tables[it->second];
    if (!o.shares.empty()) fail("a table can only share the rows of a table of its own");
    if (o.file != t.file || o.place != t.place)
      fail(t.label + " and " + o.label + " are in different files");
    bool same = o.fields.size() == t.fields.size() && o.keys.size() == t.keys.size();
    for (std::size_t i = 0; same && i < o.fields.size(); ++i)
      same = o.fields[i].name == t.fields[i].name && o.fields[i].type == t.fields[i].type &&
             o.fields[i].size == t.fields[i].size && o.fields[i].dim == t.fields[i].dim &&
             o.fields[i].group == t.fields[i].group;
    for (std::size_t k = 0; same && k < o.keys.size(); ++k)
      same = o.keys[k].components == t.keys[k].components && o.keys[k].unique == t.keys[k].unique &&
             o.keys[k].noCase == t.keys[k].noCase &&
             o.keys[k].excludeNulls == t.keys[k].excludeNulls;
    if (!same) fail(t.label + " must have the fields and keys of " + o.label);
  }
}

bool sameFields(const Table& a, const Table& b) {
  if (a.fields.size() != b.fields.size()) return false;
  for (std::size_t i = 0; i < a.fields.size(); ++i)
    if (a.fields[i].name != b.fields[i].name || a.fields[i].type != b.fields[i].type ||
        a.fields[i].size != b.fields[i].size || a.fields[i].dim != b.fields[i].dim ||
        a.fields[i].group != b.fields[i].group)
      return false;
  return true;
}
// Aliases, transfer tables and layouts equal to their table's share its struct.
bool isAliasType(const Table& t) {
  return t.base >= 0 && (t.kind != "Layout" || sameFields(t, tables[t.base]));
}
const Table& structOf(const Table& t) { return isAliasType(t) ? tables[t.base] : t; }

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: dictgen tables.dct records.h dictionary_data.cpp\n";
    return 2;
  }
  source = argv[1];
  std::ifstream in(source);
  if (!in) {
    std::cerr << "cannot read " << source << "\n";
    return 1;
  }
  parse(in);
  layout();
  checkShares();
  std::ostringstream h, c;
  writeHeader(h);
  writeSource(c);
  writeIfChanged(argv[2], h.str());
  writeIfChanged(argv[3], c.str());
  return 0;
}
