// velmora servidor sube|baja DIR [OBRA]: a company (or one folder of it)
// from its table files into the database server named in DIR/VELMORA.INI
// ([Servidor] Conexion=, or --conexion), or from the server back into new
// files; one line per table, all or nothing. Exits with 0 when done, 1
// when refused (nothing changed), 2 on bad arguments.

#include <fmt/core.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "dictionary/server_copy.h"
#include "framework/settings.h"
#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace fs = std::filesystem;

namespace {

int copy(bool up, const std::string& dir, const std::string& only, std::string connection) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    fmt::print(stderr, "No existe la carpeta {}\n", dir);
    return 2;
  }
  if (connection.empty())
    connection = SettingsFile(fs::path(dir) / "VELMORA.INI").get("Servidor", "Conexion", "");
  if (connection.empty()) {
    fmt::print(stderr,
               "No se indicó el servidor: ponga [Servidor] Conexion= en {} o dé --conexion\n",
               (fs::path(dir) / "VELMORA.INI").string());
    return 2;
  }
  auto line = [](const db::server::CopiedTable& t) {
    fmt::print("{}\t{}\t{} registros\n", t.shown, t.table->label, t.records);
    std::fflush(stdout);
  };
  Status st = up ? db::server::upload(connection, dir, only, line)
                 : db::server::download(connection, dir, only, line);
  if (!st) {
    fmt::print(stderr, "{}\nNo se {} nada.\n", describe(st), up ? "subió" : "bajó");
    return 1;
  }
  fmt::print("{}\n", up ? "Subido al servidor." : "Bajado del servidor.");
  return 0;
}

}  // namespace

void addServerCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "servidor",
      "Sube una empresa (o una obra) de sus archivos al servidor de base de datos, "
      "o la baja del servidor a archivos nuevos; todo o nada");
  cmd->require_subcommand(1);
  static std::string dir, only, connection;
  for (bool up : {true, false}) {
    auto* sub = cmd->add_subcommand(
        up ? "sube" : "baja",
        up ? "Copia los archivos de la carpeta del programa y de sus obras al servidor, "
             "comprobando cada registro"
           : "Copia las tablas del servidor a archivos nuevos en la carpeta del programa; "
             "no escribe encima de un archivo que exista");
    sub->add_option("DIR", dir, "Carpeta del programa")->required();
    sub->add_option("OBRA", only, "Carpeta de una obra (toda la empresa si no se da)");
    sub->add_option("--conexion", connection,
                    "Cadena de conexión de libpq o nombre de servicio (sin contraseña); "
                    "sin ella, la de VELMORA.INI");
    sub->set_help_flag("-h,--help", "Muestra esta ayuda y termina");
    sub->callback([up] { std::exit(copy(up, dir, only, connection)); });
  }
}

}  // namespace velmora::cli
