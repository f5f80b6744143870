// velmora envia / recibe DIR OBRA CARPETA: the office transfer of a work's
// estimates without a window. Exit 0 when done, 1 on a refusal (nothing
// written into the work), 2 when there is no such work.

#include <fmt/core.h>

#include <cstdlib>
#include <string>

#include "dictionary/storage.h"
#include "exchange/transfer.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace {

int send(const std::string& dir, const std::string& code, const std::string& to) {
  db::Storage storage;
  exchange::WorkId work{code, {}};
  if (int bad = openWork(dir, code, storage, &work.name)) return bad;
  exchange::SendSummary sum;
  if (Status st = exchange::sendWork(storage, work, to, sum); !st) {
    fmt::print(stderr, "{}\n", describe(st));
    return 1;
  }
  for (const exchange::SentFile& f : sum.files) fmt::print("{}: {} registros\n", f.name, f.records);
  fmt::print("ENVIO TERMINADO: obra {} en {}\n", code, to);
  return 0;
}

void printCount(const char* what, const exchange::MergeCount& c) {
  fmt::print("{}: {} nuevos, {} reescritos, {} sin cambios\n", what, c.added, c.rewritten,
             c.unchanged);
}

int receive(const std::string& dir, const std::string& code, const std::string& from,
            bool otherWork) {
  db::Storage storage;
  exchange::WorkId work{code, {}};
  if (int bad = openWork(dir, code, storage, &work.name)) return bad;
  exchange::ReceiveSummary sum;
  if (Status st = exchange::receiveWork(storage, work, from, otherWork, sum); !st) {
    fmt::print(stderr, "{}\n", describe(st));
    return 1;
  }
  if (!sum.manifest) fmt::print("AVISO: el envío no trae {}\n", exchange::kManifest);
  fmt::print("Estimaciones: {} agregadas ({} renglones), {} ya existían\n", sum.estimatesAdded,
             sum.linesAdded, sum.estimatesSkipped);
  printCount("Contratistas", sum.contractors);
  printCount("Partidas", sum.items);
  printCount("Conceptos", sum.concepts);
  for (const exchange::Renamed& r : sum.renamed)
    fmt::print("RENOMBRADO: {}\n", exchange::describeRename(r));
  fmt::print("RECEPCION TERMINADA: obra {}\n", code);
  return 0;
}

}  // namespace

void addExchangeCommands(::CLI::App& app) {
  static std::string dir, code, folder;
  static bool otherWork = false;
  auto* envia = app.add_subcommand(
      "envia",
      "Envía las estimaciones de una obra (contratistas, estimaciones, movimientos, partidas y "
      "conceptos) a otra oficina: ENVIO1.DAT ... ENVIO5.DAT y ENVIO.TXT en DESTINO");
  envia->add_option("DIR", dir, "Carpeta del programa (la del catálogo de obras DATA1.TPS)")
      ->required();
  envia->add_option("OBRA", code, "Clave de la obra (OBR:CTA)")->required();
  envia->add_option("DESTINO", folder, "Carpeta donde se escriben los archivos")->required();
  envia->callback([] { std::exit(send(dir, code, folder)); });

  auto* recibe = app.add_subcommand(
      "recibe",
      "Recibe en una obra los archivos enviados por otra oficina: agrega las estimaciones "
      "nuevas con sus movimientos y agrega o reescribe contratistas, partidas y conceptos");
  recibe->add_option("DIR", dir, "Carpeta del programa (la del catálogo de obras DATA1.TPS)")
      ->required();
  recibe->add_option("OBRA", code, "Clave de la obra (OBR:CTA)")->required();
  recibe->add_option("ORIGEN", folder, "Carpeta donde están los archivos")->required();
  recibe->add_flag("--otra-obra", otherWork,
                   "Recibe aunque ENVIO.TXT diga que los archivos son de otra obra");
  recibe->callback([] { std::exit(receive(dir, code, folder, otherWork)); });
}

}  // namespace velmora::cli
