// velmora auditoria DIR OBRA [--vorovid]: DUDORE's system audit on a work
// (or VOROVID's, with --vorovid), without a window (for a nightly job).
// Prints each step's caption and every warning or correction;
// exits with 0 when the audit ran to the end and wrote everything it had to,
// 1 when it stopped or a record could not be written, 2 when there is no
// such work.

#include <fmt/core.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/dates.h"
#include "dictionary/work_files.h"
#include "equipment/supplier_audit.h"
#include "estimates/audit_engine.h"
#include "framework/settings.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace fs = std::filesystem;

std::string describe(const Status& st) {
  std::string text = st.text;
  if (!st.table.empty()) text += " (tabla " + st.table + ")";
  if (!st.fileError.empty()) text += ": " + st.fileError;
  return text;
}

int openWork(const std::string& dirArg, const std::string& code, db::Storage& storage,
             std::string* workName, std::string* address) {
  const fs::path dir(dirArg);
  const fs::path works = dir / "DATA1.TPS";
  // A company on a database server has its tables there, under the same
  // names.
  const std::string server = SettingsFile(dir / "VELMORA.INI").get("Servidor", "Conexion", "");
  if (!server.empty()) storage.setServer(server, dir.string());
  if (server.empty() && !fs::is_regular_file(works)) {
    fmt::print(stderr, "No hay catálogo de obras en {}\n", works.string());
    return 2;
  }
  storage.setFileName(OBR::info(), works.string());
  db::Context ctx(storage);
  db::WorkFiles files;
  {
    db::Table& t = ctx.table<OBR>();
    Status st = t.openReadOnly();
    if (st) {
      t.clear();
      t.rec<OBR>().CTA = code;
      st = t.get("OBR:CTA_KEY");
    }
    if (!st) {
      fmt::print(stderr, "{}\n",
                 st.code == err::RecordNotFound
                     ? fmt::format("No existe la obra «{}» en {}", code, works.string())
                     : describe(st));
      return 2;
    }
    const OBR& w = t.rec<OBR>();
    const db::WorkLocation where{dir.string(), w.CTA, w.DICO, dates::today()};
    if (Status bad = db::checkWorkLocation(where); !bad) {
      fmt::print(stderr, "{}\n", bad.text);
      return 2;
    }
    if (workName) *workName = w.OBRA.substr(0, w.OBRA.find_last_not_of(" ") + 1);
    if (address) *address = w.DIRE.substr(0, w.DIRE.find_last_not_of(" ") + 1);
    files = db::workFiles(where);
    t.close();
  }
  if (!fs::is_directory(files.workFolder)) {
    fmt::print(stderr, "No existe la carpeta de la obra {}\n", files.workFolder);
    return 2;
  }
  db::useWorkFiles(storage, files);
  return 0;
}

namespace {

int auditVorovid(const std::string& dirArg, const std::string& code) {
  db::Storage storage;
  if (int bad = openWork(dirArg, code, storage)) return bad;
  db::Context ctx(storage);
  equipment::SupplierAudit run(ctx);
  std::string shown;
  while (run.step()) {
    if (run.caption() == shown) continue;
    shown = run.caption();
    fmt::print("{}\n", shown);
    std::fflush(stdout);
  }
  if (run.stopped()) {
    fmt::print(stderr, "La auditoría se detuvo: {}\n", describe(run.failure()));
    return 1;
  }
  for (const std::string& d : run.differences()) fmt::print("CORREGIDO: {}\n", d);
  const equipment::SupplierAuditCounts& c = run.counts();
  fmt::print(
      "AUDITORIA TERMINADA: {} proveedores, {} facturas, {} partidas y {} equipos corregidos\n",
      c.suppliersWritten, c.invoicesWritten, c.itemsWritten, c.equipmentWritten);
  return 0;
}

int audit(const std::string& dirArg, const std::string& code) {
  db::Storage storage;
  if (int bad = openWork(dirArg, code, storage)) return bad;
  db::Context ctx(storage);

  estimates::AuditEvents events;
  events.caption = [](const std::string& caption) {
    fmt::print("{}\n", caption);
    std::fflush(stdout);
  };
  events.warning = [](const std::array<std::string, 3>& lines) {
    std::string text = lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i)
      if (!lines[i].empty()) text += " / " + lines[i];
    fmt::print("AVISO: {}\n", text);
  };
  events.storageError = [](const Status& st, FileAction) {
    fmt::print(stderr, "ERROR: {}\n", describe(st));
  };
  estimates::AuditRun run(ctx, std::move(events));
  run.run();
  if (run.stopped()) {
    fmt::print(stderr, "La auditoría se detuvo: {}\n", describe(run.failure()));
    return 1;
  }
  const estimates::AuditCounts& c = run.counts();
  fmt::print(
      "AUDITORIA TERMINADA: {} estimaciones, {} contratistas ({} nuevos), {} partidas y {} "
      "renglones corregidos; {} renglones borrados\n",
      c.estimatesWritten, c.contractorsWritten + c.contractorsCreated, c.contractorsCreated,
      c.itemsWritten, c.linesWritten, c.linesDeleted);
  if (c.storageErrors > 0) {
    fmt::print(stderr, "{} registros no se pudieron grabar\n", c.storageErrors);
    return 1;
  }
  return 0;
}

}  // namespace

void addAuditCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "auditoria",
      "Auditoría del sistema de DUDORE en una obra: reconstruye las llaves de partidas, "
      "contratistas, estimaciones y sus renglones, y recalcula todos sus acumulados; con "
      "--vorovid, la de VOROVID: equipos, proveedores, facturas y pagos");
  static std::string dir, code;
  static bool vorovid = false;
  cmd->add_flag("--vorovid", vorovid,
                "La auditoría de VOROVID: recalcula lo facturado, pagado y anticipado de cada "
                "proveedor, lo pagado de cada factura, la maquinaria de cada partida y lo "
                "facturado de cada equipo");
  cmd->add_option("DIR", dir, "Carpeta del programa (la del catálogo de obras DATA1.TPS)")
      ->required();
  cmd->add_option("OBRA", code, "Clave de la obra (OBR:CTA)")->required();
  cmd->callback([] { std::exit(vorovid ? auditVorovid(dir, code) : audit(dir, code)); });
}

}  // namespace velmora::cli
