// velmora actualiza DIR [OBRA]: converts every table file of the program
// folder and of one work (or of every work) written in an older layout, as
// VOROVID does when it opens them, printing one line per file. Exits with
// 0 when no file was refused, 1 when one was, 2 on bad arguments.

#include <fmt/core.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/dates.h"
#include "dictionary/file_upgrade.h"
#include "dictionary/records.h"
#include "dictionary/work_files.h"
#include "framework/settings.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace fs = std::filesystem;

namespace {

std::string trimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// "a|b" as one line.
std::string oneLine(std::string s) {
  for (char& c : s)
    if (c == '|') c = ' ';
  return s;
}

bool upgradeOne(db::Storage& storage, const dict::TableInfo& t, const std::string& path,
                const std::string& versionFile, const std::string& shown) {
  db::UpgradeResult r = db::upgradeFile(storage, t, path, versionFile);
  std::string what;
  switch (r.outcome) {
    case db::UpgradeResult::Outcome::Missing: what = "no existe; se creará al abrirlo"; break;
    case db::UpgradeResult::Outcome::Kept:
      what = fmt::format("sin cambios (versión {})", r.from);
      break;
    case db::UpgradeResult::Outcome::Upgraded:
      what = fmt::format("actualizado de la versión {} a la {}", r.from, r.to);
      if (!r.message.empty()) what += "; " + oneLine(r.message);
      break;
    case db::UpgradeResult::Outcome::Refused: what = "rechazado: " + oneLine(r.message); break;
  }
  fmt::print("{}\t{}\t{}\n", shown, t.label, what);
  return r.outcome != db::UpgradeResult::Outcome::Refused;
}

int upgradeAll(const std::string& dirArg, const std::string& code) {
  std::error_code ec;
  const fs::path dir = fs::absolute(dirArg, ec);
  if (ec || !fs::is_directory(dir)) {
    fmt::print(stderr, "No existe la carpeta {}\n", dirArg);
    return 2;
  }
  // The names are those VOROVID gives the files, run in the program folder.
  fs::current_path(dir, ec);
  if (ec) {
    fmt::print(stderr, "No se puede entrar en la carpeta {}: {}\n", dirArg, ec.message());
    return 2;
  }
  db::Storage storage;
  // A company on a database server has its tables there, under the same
  // names; the server converts them.
  const std::string server = SettingsFile(dir / "VELMORA.INI").get("Servidor", "Conexion", "");
  if (!server.empty()) storage.setServer(server, dir.string());
  const std::string versionFile = db::versionFilePath({});
  bool ok = true;
  for (const dict::TableInfo& t : dict::tables())
    if (t.kind == dict::Kind::Table && t.storage == t.index &&
        t.place == dict::Place::ProgramFolder && t.index != L_UPG::kTable) {
      const std::string path = db::withDefaultExtension(std::string(t.fileName));
      ok = upgradeOne(storage, t, path, versionFile, path) && ok;
    }

  // The works, read from the catalogue as it is now.
  std::vector<OBR> works;
  {
    db::Context ctx(storage);
    db::Table& t = ctx.table<OBR>();
    Status st = t.openReadOnly();
    if (st) {
      st = t.setStart(nullptr);
      while (st && (st = t.next())) works.push_back(t.rec<OBR>());
      if (st.code == err::NoRecord) st = {};
    }
    if (!st && st.code != err::FileNotFound) {
      fmt::print(stderr, "No se puede leer el catálogo de obras: {}\n", describe(st));
      return 1;
    }
  }
  bool found = code.empty();
  for (const OBR& w : works) {
    if (!code.empty() && trimRight(w.CTA) != code) continue;
    found = true;
    const db::WorkLocation where{dir.string(), w.CTA, w.DICO, dates::today(),
                                 db::NameStyle::WithoutExtension};
    if (Status bad = db::checkWorkLocation(where); !bad) {
      fmt::print("{}\t-\trechazada: {}\n", trimRight(w.CTA), bad.text);
      ok = false;
      continue;
    }
    const db::WorkFiles files = db::workFiles(where);
    if (server.empty() && !fs::is_directory(files.workFolder)) {
      fmt::print("{}\t-\tno existe la carpeta de la obra\n", trimRight(w.CTA));
      continue;
    }
    for (const db::WorkFileName& n : files.names) {
      if (n.table->storage != n.table->index) continue;
      const std::string path = db::withDefaultExtension(n.path);
      std::string shown = fs::path(path).lexically_relative(dir).string();
      ok = upgradeOne(storage, *n.table, path, versionFile, shown.empty() ? path : shown) && ok;
    }
  }
  if (!found) {
    fmt::print(stderr, "No existe la obra «{}» en {}\n", code, (dir / "DATA1.TPS").string());
    return 2;
  }
  return ok ? 0 : 1;
}

}  // namespace

Status writeWorksInVersion(const fs::path& dir, int version) {
  const std::string path = (dir / "DATA1.TPS").string();
  db::Storage storage;
  db::UpgradeResult r = db::convertFile(storage, OBR::info(), path, version);
  if (r.outcome == db::UpgradeResult::Outcome::Refused) return r.status;
  std::error_code ec;
  fs::remove(db::backupPath(path, r.from), ec);  // nothing to go back to
  return {};
}

void addUpgradeCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "actualiza",
      "Convierte al formato actual los archivos de la carpeta del programa y de una obra (o de "
      "todas) escritos en un formato anterior, como VOROVID al abrirlos (en una empresa en un "
      "servidor, sus tablas); una línea por archivo");
  static std::string dir, code;
  cmd->add_option("DIR", dir, "Carpeta del programa")->required();
  cmd->add_option("OBRA", code, "Clave de la obra (todas si no se da)");
  cmd->callback([] { std::exit(upgradeAll(dir, code)); });
}

}  // namespace velmora::cli
