// velmora: administration, demo data, headless jobs and the script driver of
// the Velmora suite.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "programs/velmora/commands.h"

namespace {

// CLI11 names the types of values in English ("FLOAT", "INT:INT in [1 - 2]",
// "TEXT:POSITIVE"); the help names them in Spanish.
std::string spanishTypes(std::string text) {
  static const std::pair<std::regex, const char*> kWords[] = {
      {std::regex(R"(\b(?:INT|UINT):(?:INT|UINT) in \[([^\] ]+) - ([^\] ]+)\])"),
       "ENTERO de $1 a $2"},
      {std::regex(R"(\b(?:FLOAT|NUMBER):(?:FLOAT|NUMBER) in \[([^\] ]+) - ([^\] ]+)\])"),
       "NUMERO de $1 a $2"},
      {std::regex(R"(:POSITIVE\b)"), " POSITIVO"},
      {std::regex(R"(:NONNEGATIVE\b)"), " NO NEGATIVO"},
      {std::regex(R"(\b(?:FLOAT|NUMBER)\b)"), "NUMERO"},
      {std::regex(R"(\b(?:UINT|INT)\b)"), "ENTERO"},
      {std::regex(R"(\bTEXT\b)"), "TEXTO"},
      {std::regex(R"(\bBOOLEAN\b)"), "SI/NO"},
  };
  for (const auto& [word, spanish] : kWords) text = std::regex_replace(text, word, spanish);
  return text;
}

class SpanishFormatter : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* opt) const override {
    return spanishTypes(CLI::Formatter::make_option_opts(opt));
  }
};

// "falta el argumento DIR (Carpeta del programa) de «velmora demo»": the
// first required value of the command given that the line lacks.
std::string missing(const CLI::App& app) {
  for (const CLI::App* sub : app.get_subcommands()) {
    for (const CLI::Option* opt : sub->get_options()) {
      if (!opt->get_required() || opt->count() > 0) continue;
      const bool positional = opt->get_lnames().empty() && opt->get_snames().empty();
      std::string text = positional ? "falta el argumento " + opt->get_name(true)
                                    : "falta la opción " + opt->get_name();
      if (!opt->get_description().empty()) text += " (" + opt->get_description() + ")";
      return text + " de «velmora " + sub->get_name() + "»";
    }
  }
  if (app.get_subcommands().empty()) return "falta la orden (demo, reporte, auditoria, …)";
  return "falta un argumento obligatorio";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"velmora: herramienta de administración de Velmora"};
  app.formatter(std::make_shared<SpanishFormatter>());
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
  velmora::cli::addServerCommand(app);
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
    if (kind == "RequiredError") {
      std::fprintf(stderr, "Error: %s.\nUse «velmora --help» para ver la ayuda.\n",
                   missing(app).c_str());
      return e.get_exit_code();
    }
    const char* what = kind == "ExtrasError"        ? "sobran argumentos"
                       : kind == "ConversionError"  ? "un valor no tiene la forma esperada"
                       : kind == "ValidationError"  ? "un valor no es válido"
                       : kind == "ArgumentMismatch" ? "el número de argumentos no es el esperado"
                                                    : "la orden no es válida";
    std::fprintf(stderr, "Error: %s.\nUse «velmora --help» para ver la ayuda.\n", what);
    return e.get_exit_code();
  }
  return 0;
}
