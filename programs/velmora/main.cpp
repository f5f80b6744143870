// velmora: administration, demo data, headless jobs and the script driver of
// the Velmora suite.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "programs/velmora/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"velmora: herramienta de administración de Velmora"};
  // Everything the user reads is Spanish, the help's own words included;
  // subcommands inherit these when they are added.
  auto format = app.get_formatter();
  format->label("Usage", "Uso");
  format->label("OPTIONS", "OPCIONES");
  format->label("SUBCOMMAND", "ORDEN");
  format->label("SUBCOMMANDS", "ORDENES");
  format->label("Positionals", "Argumentos");
  format->label("REQUIRED", "OBLIGATORIO");
  format->label("TEXT", "TEXTO");
  format->label("INT", "ENTERO");
  format->label("Needs", "Necesita");
  format->label("Excludes", "Excluye");
  app.option_defaults()->group("Opciones");
  app.set_help_flag("-h,--help", "Muestra esta ayuda y termina");
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
  velmora::cli::addReportCommand(app);
  velmora::cli::addUpgradeCommand(app);
  velmora::cli::addVerifyCommand(app);
  velmora::cli::addExchangeCommands(app);
  velmora::cli::addImportCommand(app);
  for (CLI::App* sub : app.get_subcommands({})) {
    sub->group("Órdenes");
    sub->set_help_flag("-h,--help", "Muestra esta ayuda y termina");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // The library's own messages are English: say what went wrong in Spanish.
    const std::string kind = e.get_name();
    const char* what = kind == "RequiredError"      ? "falta la orden o un argumento obligatorio"
                       : kind == "ExtrasError"      ? "sobran argumentos"
                       : kind == "ConversionError"  ? "un valor no tiene la forma esperada"
                       : kind == "ValidationError"  ? "un valor no es válido"
                       : kind == "ArgumentMismatch" ? "el número de argumentos no es el esperado"
                                                    : "la orden no es válida";
    std::fprintf(stderr, "Error: %s.\nUse «velmora --help» para ver la ayuda.\n", what);
    return e.get_exit_code();
  }
  return 0;
}
