// velmora verifica DIR OBRA: the month's policies of a work checked against
// its chart of accounts and its estimates, and the suppliers', invoices',
// items' and equipment's totals against their invoices and payments,
// without writing anything. Exits
// with 0 when everything holds, 1 with the list of differences, 2 when there
// is no such work or a file cannot be read.

#include <fmt/core.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "accounting/ledger_check.h"
#include "dictionary/dates.h"
#include "equipment/supplier_audit.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace {

int verify(const std::string& dir, const std::string& code) {
  db::Storage storage;
  if (int bad = openWork(dir, code, storage)) return bad;
  db::Context ctx(storage);
  const std::int32_t today = dates::today();
  std::vector<std::string> differences;
  if (Status st =
          accounting::checkLedger(ctx, dates::monthOf(today), dates::yearOf(today), differences);
      !st) {
    fmt::print(stderr, "No se pudo leer: {}\n", describe(st));
    return 2;
  }
  // What VOROVID's audit would correct, when the work has its files.
  equipment::SupplierAudit totals(ctx, true);
  totals.run();
  if (totals.stopped() && totals.failure().code != err::FileNotFound) {
    fmt::print(stderr, "No se pudo leer: {}\n", describe(totals.failure()));
    return 2;
  }
  for (const std::string& d : totals.differences()) differences.push_back(d);
  if (differences.empty()) {
    fmt::print(
        "CONTABILIDAD CORRECTA: las pólizas del mes cuadran con sus cuentas y estimaciones, y "
        "los acumulados de proveedores, facturas, partidas y equipos con sus registros\n");
    return 0;
  }
  for (const std::string& d : differences) fmt::print("{}\n", d);
  fmt::print("{} diferencias\n", differences.size());
  return 1;
}

}  // namespace

void addVerifyCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "verifica",
      "Verifica, sin escribir nada, que las pólizas del mes de una obra cuadren, que sus "
      "cuentas existan y sean de último nivel, que cada estimación contabilizada tenga su "
      "póliza, y que los acumulados de proveedores, facturas, partidas y equipos sean los que "
      "dan sus facturas y pagos");
  static std::string dir, code;
  cmd->add_option("DIR", dir, "Carpeta del programa (la del catálogo de obras DATA1.TPS)")
      ->required();
  cmd->add_option("OBRA", code, "Clave de la obra (OBR:CTA)")->required();
  cmd->callback([] { std::exit(verify(dir, code)); });
}

}  // namespace velmora::cli
