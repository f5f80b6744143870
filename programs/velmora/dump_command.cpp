// velmora dump ARCHIVO [TABLA]: the records of a table file as CSV.

#include <fmt/core.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/file_upgrade.h"
#include "dictionary/regular_file.h"
#include "dictionary/storage.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace {

std::string csvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string csvValue(const Value& v) {
  if (auto* d = std::get_if<double>(&v)) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, *d);
    return std::string(buf, r.ptr);
  }
  return csvField(toText(v));
}

[[noreturn]] void failWith(const Status& st) {
  fmt::print(stderr, "Error: {} ({})\n", st.text, st.code);
  std::exit(2);
}

int dump(const std::string& path, const std::string& label) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    fmt::print(stderr, "{} es una carpeta, no un archivo de tabla\n", path);
    std::exit(2);
  }
  // A pipe or a device would block the open or never end; a missing file
  // is left to the open, which says so as for any table.
  if (std::filesystem::exists(path, ec))
    if (Status st = files::checkRegularFile(path, UINT64_MAX); !st) failWith(st);
  db::Storage storage;
  const dict::TableInfo* table = nullptr;
  if (label.empty()) {
    Status st = db::Table::identify(storage, path, table);
    if (!st) failWith(st);
  } else {
    table = dict::findTable(label);
    if (!table) {
      fmt::print(stderr, "No existe la tabla {} en el diccionario\n", label);
      std::exit(2);
    }
  }
  storage.setFileName(*table, path);
  db::Context ctx(storage);
  db::Table* open = &ctx.table(*table);
  Status st = open->openReadOnly();
  // A file of an older layout is shown in that layout, under its names.
  if (db::layoutMismatch(st)) {
    const int version = db::layoutVersion(storage, *table, path);
    if (const dict::TableInfo* older = version > 0 ? dict::layoutOf(*table, version) : nullptr) {
      table = older;
      storage.setFileName(*table, path);
      open = &ctx.table(*table);
      st = open->openReadOnly();
    }
  }
  if (!st) failWith(st);
  db::Table& t = *open;

  std::vector<FieldRef> refs;
  std::string header;
  for (const auto& f : table->fields) {
    if (f.type == dict::Type::Group) continue;
    FieldRef ref = resolve(*table, f.name);
    for (int e = 1; e <= ref.elements(); ++e) {
      ref.element = e;
      refs.push_back(ref);
      std::string name(f.name);
      if (ref.elements() > 1) name += "[" + std::to_string(e) + "]";
      header += (header.empty() ? "" : ",") + name;
    }
  }
  fmt::print("{}\n", header);
  st = t.setStart(nullptr);
  while ((st = t.next()).ok()) {
    std::string line;
    for (std::size_t i = 0; i < refs.size(); ++i) {
      if (i) line += ',';
      line += csvValue(t.buffer().get(refs[i]));
    }
    fmt::print("{}\n", line);
  }
  if (st.code != err::NoRecord) failWith(st);
  return 0;
}

}  // namespace

void addDumpCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "dump",
      "Muestra los registros de un archivo de tabla como CSV, con la contraseña del diccionario");
  static std::string file, label;
  cmd->add_option("ARCHIVO", file, "Archivo de tabla (.TPS)")->required();
  cmd->add_option("TABLA", label, "Etiqueta de la tabla; sin ella se reconoce por el archivo");
  cmd->callback([] { std::exit(dump(file, label)); });
}

}  // namespace velmora::cli
