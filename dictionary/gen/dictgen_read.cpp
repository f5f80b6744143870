// Reading side of the dictionary generator: tables.dct into the model,
// with its layout and consistency checks.

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

}  // namespace dictgen
