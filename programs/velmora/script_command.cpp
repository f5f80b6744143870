// velmora script FILE: runs a script against the headless hosts and prints
// its transcript (see docs/script.md).

#include <fmt/core.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "framework/maintenance.h"
#include "programs/velmora/commands.h"
#include "ui/script/script_host.h"

namespace velmora::cli {

namespace {

int runScript(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    fmt::print(stderr, "{} es una carpeta, no un guion\n", path);
    return 2;
  }
  std::ifstream in(path);
  if (!in) {
    fmt::print(stderr, "No se puede leer el guion {}\n", path);
    return 2;
  }
  db::Storage storage;
  MessageService messages;
  Program program("VELMORA", storage, messages, "velmora.INI");
  addMaintenance(program);
  ScriptHost host(program, in, std::cout);
  messages.setHost(&host);
  int status = host.run();
  std::cout.flush();
  return status;
}

}  // namespace

void addScriptCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "script", "Ejecuta un guion sobre las ventanas sin pantalla y muestra su transcripción");
  static std::string file;
  cmd->add_option("FILE", file, "Guion (docs/script.md)")->required();
  cmd->callback([] { std::exit(runScript(file)); });
}

}  // namespace velmora::cli
