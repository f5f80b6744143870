// velmora importa DIR OBRA: the import from the budgeting system without a
// window, for scheduled jobs. Exit 0 when done, 1 on a refusal (nothing
// written into the work), 2 when there is no such work.

#include <fmt/core.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/storage.h"
#include "exchange/budget_import.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace {

int import(const std::string& dir, const std::string& code, const exchange::BudgetImport& in) {
  db::Storage storage;
  if (int bad = openWork(dir, code, storage)) return bad;
  // The real-salary factor comes from the company's control record.
  storage.setFileName(CTL::info(), (std::filesystem::path(dir) / "DATA0.TPS").string());
  db::Context ctx(storage);
  exchange::BudgetImportResult r;
  Status st = exchange::importBudget(ctx, in, &r);
  if (!st) {
    fmt::print(stderr, "{}\n", describe(st));
    return 1;
  }
  if (r.salary.unitLabour)
    fmt::print(
        "AVISO: no hay factor de salario real (días hábiles en 0 o sin registro de "
        "control): la mano de obra de cada partida es igual a su cantidad\n");
  else
    fmt::print("Factor de salario real: {:.6f}\n", r.salary.factor);
  fmt::print("Renglones leídos: {}\n", r.rows);
  fmt::print("Procesos nuevos: {}\n", r.processesAdded);
  fmt::print("Conceptos: {} nuevos, {} acumulados\n", r.conceptsAdded, r.conceptsAccumulated);
  fmt::print("Partidas: {} nuevas, {} acumuladas\n", r.itemsAdded, r.itemsAccumulated);
  fmt::print("Mano de obra agregada al frente {}: {:.2f}\n", in.front, r.labour);
  fmt::print("IMPORTACION TERMINADA: obra {}\n", code);
  return 0;
}

}  // namespace

void addImportCommand(::CLI::App& app) {
  static std::string dir, code;
  static exchange::BudgetImport in;
  auto* cmd = app.add_subcommand(
      "importa",
      "Importa del presupuesto: los renglones del presupuesto de la obra (o de ORIGEN) se "
      "vuelven procesos, conceptos y partidas de un frente, todo o nada");
  cmd->add_option("DIR", dir, "Carpeta del programa (la del catálogo de obras DATA1.TPS)")
      ->required();
  cmd->add_option("OBRA", code, "Clave de la obra (OBR:CTA)")->required();
  cmd->add_option("--frente", in.front, "Frente que recibe las partidas")->required();
  cmd->add_option("--factor", in.factor, "Factor de multiplicación de las cantidades")->required();
  cmd->add_option("--porcentaje", in.percent, "% al que se estimará cada partida nueva (0 a 100)")
      ->required();
  cmd->add_option("--desde", in.first, "Renglón inicial (0: desde el primero)");
  cmd->add_option("--hasta", in.last, "Renglón final (0: hasta el último)");
  cmd->add_option("--origen", in.source,
                  "Archivo de renglones del presupuesto (por omisión, el de la obra)");
  cmd->callback([] { std::exit(import(dir, code, in)); });
}

}  // namespace velmora::cli
