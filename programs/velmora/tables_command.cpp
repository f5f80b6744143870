// velmora tables [ETIQUETA]: the dictionary as the programs see it.

#include <fmt/core.h>

#include <cstdlib>
#include <string>

#include "dictionary/tables.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace {

using dict::FieldInfo;
using dict::TableInfo;

std::string fileOf(const TableInfo& t) {
  switch (t.place) {
    case dict::Place::MonthlyPolicy:
    case dict::Place::MonthlyDetail: return std::string(t.fileName) + "<MES>.TPS";
    default: return t.fileName.empty() ? "-" : std::string(t.fileName);
  }
}

int countFields(const TableInfo& t) {
  int n = 0;
  for (const FieldInfo& f : t.fields) n += f.type != dict::Type::Group;
  return n;
}

std::string keyAttributes(const dict::KeyInfo& k) {
  std::string s = k.unique ? "unique" : "dup";
  if (k.noCase) s += ",nocase";
  if (k.excludeNulls) s += ",nozero";
  if (k.primary) s += ",primary";
  if (k.autoNumber) s += ",auto";
  return s;
}

void listTables() {
  for (const TableInfo& t : dict::tables())
    fmt::print("{}\t{}\t{}\t{}\t{}\t{}\n", t.label, t.prefix, fileOf(t), t.recordLength,
               countFields(t), t.keys.size());
}

void showTable(const TableInfo& t) {
  fmt::print("{} ({}): {}\n", t.label, t.prefix, t.holds);
  fmt::print("archivo\t{}\t{}\n", fileOf(t), dict::placeName(t.place));
  fmt::print("registro\t{}\n", t.recordLength);
  if (t.base >= 0) fmt::print("formato de\t{}\n", dict::table(t.base).label);
  fmt::print("campos\n");
  for (const FieldInfo& f : t.fields) {
    std::string offset = f.type == dict::Type::Memo ? "-" : std::to_string(f.offset);
    unsigned width = f.type == dict::Type::Memo ? f.size : f.storedWidth();
    fmt::print("{}{}\t{}\t{}\t{}\n", f.group >= 0 ? "  " : "", f.name, dict::typeName(f), width,
               offset);
  }
  fmt::print("llaves\n");
  for (const dict::KeyInfo& k : t.keys) {
    std::string comps;
    for (auto c : k.components) {
      if (!comps.empty()) comps += ",";
      comps += t.fields[std::size_t(c)].name;
    }
    fmt::print("{}\t{}\t{}\n", k.name, comps, keyAttributes(k));
  }
}

}  // namespace

void addTablesCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "tables",
      "Lista las tablas del diccionario (etiqueta, prefijo, archivo, longitud, campos, llaves) "
      "o, con una etiqueta, los campos y llaves de esa tabla");
  static std::string label;
  cmd->add_option("ETIQUETA", label, "Etiqueta o prefijo de la tabla (PART, PAR)");
  cmd->callback([] {
    if (label.empty()) {
      listTables();
      return;
    }
    const TableInfo* t = dict::findTable(label);
    if (!t) {
      fmt::print(stderr, "No existe la tabla {} en el diccionario\n", label);
      std::exit(2);
    }
    showTable(*t);
  });
}

}  // namespace velmora::cli
