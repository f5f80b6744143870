// velmora browse FILE [TABLE]: the maintenance browse of any table file in a
// real window, to look at and correct it.

#include <fmt/core.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "framework/maintenance.h"
#include "programs/velmora/commands.h"
#include "ui/qt/qt_host.h"

namespace velmora::cli {

namespace {

int browse(const std::string& path, const std::string& label) {
  db::Storage storage;
  const dict::TableInfo* table = nullptr;
  if (label.empty()) {
    Status st = db::Table::identify(storage, path, table);
    if (!st) {
      fmt::print(stderr, "Error: {} ({})\n", st.text, st.code);
      return 2;
    }
  } else if (!(table = dict::findTable(label))) {
    fmt::print(stderr, "No existe la tabla {} en el diccionario\n", label);
    return 2;
  }
  if (!std::filesystem::exists(path)) {
    fmt::print(stderr, "No existe el archivo {}\n", path);
    return 2;
  }
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
      !std::getenv("QT_QPA_PLATFORM")) {
    fmt::print(stderr, "No hay pantalla donde mostrar la ventana (DISPLAY no está definido)\n");
    return 2;
  }
  static int argc = 1;
  static char name[] = "velmora";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  storage.setFileName(*table, path);
  MessageService messages;
  Program program("VELMORA", storage, messages, "velmora.INI");
  addMaintenance(program);
  qt::QtHost host;
  messages.setHost(&host);
  db::Context ctx(storage, program.newThread());
  auto p = makeMaintenanceBrowse(program, ctx, *table);
  p->run(host);
  return 0;
}

}  // namespace

void addBrowseCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "browse", "Abre en una ventana la lista de mantenimiento de un archivo de tabla");
  static std::string file, label;
  cmd->add_option("FILE", file, "Archivo de tabla (.TPS)")->required();
  cmd->add_option("TABLE", label, "Etiqueta de la tabla; sin ella se reconoce por el archivo");
  cmd->callback([] { std::exit(browse(file, label)); });
}

}  // namespace velmora::cli
