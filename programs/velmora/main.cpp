// velmora: administration, demo data, headless jobs and the script driver of
// the Velmora suite.

#include <CLI/CLI.hpp>

#include "programs/velmora/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"velmora: herramienta de administración de Velmora"};
  app.require_subcommand(1);
  velmora::cli::addTablesCommand(app);
  velmora::cli::addDumpCommand(app);
  velmora::cli::addLetraCommand(app);
  velmora::cli::addScriptCommand(app);
  velmora::cli::addBrowseCommand(app);
  velmora::cli::addDemoCommand(app);
  velmora::cli::addUserCommand(app);
  velmora::cli::addCompanyCommand(app);
  velmora::cli::addAuditCommand(app);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
