// velmora script ARCHIVO: runs a script against the headless hosts and prints
// its transcript (see docs/script.md).

#include <fmt/core.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "dictionary/regular_file.h"
#include "framework/maintenance.h"
#include "programs/velmora/commands.h"
#include "ui/script/script_host.h"

namespace velmora::cli {

namespace {

// A script is a few thousand lines at most.
constexpr std::uint64_t kScriptLimit = 64 * files::MiB;

int runScript(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    fmt::print(stderr, "{} es una carpeta, no un guion\n", path);
    return 2;
  }
  // A pipe or a device would block the open or never end.
  if (Status st = files::checkRegularFile(path, kScriptLimit); !st) {
    fmt::print(stderr, "No se puede leer el guion: {}\n", st.text);
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
  cmd->add_option("ARCHIVO", file, "Guion (docs/script.md)")->required();
  cmd->callback([] { std::exit(runScript(file)); });
}

}  // namespace velmora::cli
