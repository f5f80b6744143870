// velmora browse ARCHIVO [TABLA]: the maintenance browse of any table file in a
// real window. The window is drawn by velmora-ventanas, installed beside this
// program, so that the commands without a window never load Qt.

#include <fmt/core.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "programs/velmora/commands.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

struct BrowseOptions {
  std::string file, label;
  std::string capture;      // PNG of the list window
  std::string captureForm;  // PNG of the form of the selected record
  std::string formTab;      // the tab of the form drawn
};

// Replaces this process with the windows program; returns only on failure.
int runWindows(const BrowseOptions& o) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  fs::path exe = (ec ? fs::path() : self.parent_path()) / "velmora-ventanas";
  std::vector<std::string> args = {exe.string(), "browse", o.file};
  if (!o.label.empty()) args.push_back(o.label);
  if (!o.capture.empty()) args.insert(args.end(), {"--captura", o.capture});
  if (!o.captureForm.empty()) args.insert(args.end(), {"--captura-ficha", o.captureForm});
  if (!o.formTab.empty()) args.insert(args.end(), {"--pestana-ficha", o.formTab});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  ::execv(exe.c_str(), argv.data());
  if (errno == ENOENT)
    fmt::print(stderr, "No se encuentra el programa de ventanas {}; se instala junto a velmora\n",
               exe.string());
  else
    fmt::print(stderr, "No se puede ejecutar el programa de ventanas {}\n", exe.string());
  return 2;
}

}  // namespace

void addBrowseCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "browse", "Abre en una ventana la lista de mantenimiento de un archivo de tabla");
  static BrowseOptions o;
  cmd->add_option("ARCHIVO", o.file, "Archivo de tabla (.TPS)")->required();
  cmd->add_option("TABLA", o.label, "Etiqueta de la tabla; sin ella se reconoce por el archivo");
  cmd->add_option("--captura", o.capture,
                  "Dibuja la lista en este archivo PNG y cierra la ventana");
  cmd->add_option("--captura-ficha", o.captureForm,
                  "Con --captura: dibuja también la ficha del registro seleccionado")
      ->needs("--captura");
  cmd->add_option("--pestana-ficha", o.formTab,
                  "Con --captura-ficha: el número de la pestaña de la ficha que se dibuja")
      ->type_name("ENTERO")
      ->check(::CLI::PositiveNumber)
      ->needs("--captura-ficha");
  cmd->callback([] { std::exit(runWindows(o)); });
}

}  // namespace velmora::cli
