// velmora reporte DIR OBRA NOMBRE: a report of a work without a window, for
// scheduled jobs. The pages go to a PDF file, to text, or as page images to
// a folder; a report that exports writes its CSV file. The PDF is written
// here, without Qt, straight from the page images. Exits with 0 when the report ran to its end and
// every file was written, 1 when the run or an output failed, 2 when there is nothing to run.

#include <fmt/core.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dictionary/dates.h"
#include "dictionary/storage.h"
#include "framework/pdf_file.h"
#include "framework/settings.h"
#include "programs/shell/report_catalogue.h"
#include "programs/velmora/commands.h"
#include "reports/csv_export.h"
#include "reports/report.h"

namespace velmora::cli {

namespace {

namespace fs = std::filesystem;

struct ReportOptions {
  std::string dir, work, name;
  std::string pdf, csv, text, pages;
  std::string delimiter = ";";
  std::vector<std::string> options;  // NOMBRE=VALOR
};

// Option names are written either way: FECHA_INICIAL or fecha-inicial.
std::string optionName(std::string name) {
  for (char& c : name) c = c == '-' ? '_' : c;
  return name;
}

// The pages into a PDF file, as the preview's "save as PDF" writes them.
int writePdf(const reports::PageFiles& pages, const std::string& out) {
  if (Status st = velmora::writePdf(pages, out); !st) {
    fmt::print(stderr, "{}\n", st.text);
    return 1;
  }
  return 0;
}

int copyPages(const reports::PageFiles& pages, const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (const std::string& page : pages.files()) {
    fs::copy_file(page, fs::path(folder) / fs::path(page).filename(),
                  fs::copy_options::overwrite_existing, ec);
    if (ec) {
      fmt::print(stderr, "No se pudo copiar la hoja a {}: {}\n", folder, ec.message());
      return 1;
    }
  }
  return 0;
}

int runReport(const ReportOptions& o) {
  std::unique_ptr<reports::Report> report = reports::makeReport(o.name);
  if (!report) {
    std::string known;
    for (const std::string& n : reports::reportNames()) known += " " + n;
    fmt::print(stderr, "No existe el reporte «{}»; los reportes son:{}\n", o.name, known);
    return 2;
  }
  const reports::ReportDescription& d = report->description();
  if (!o.csv.empty() && d.exportColumns.empty()) {
    fmt::print(stderr, "El reporte {} no se exporta a archivo\n", d.procedure);
    return 2;
  }
  for (const std::string& given : o.options) {
    const auto eq = given.find('=');
    Status st =
        eq == std::string::npos
            ? Status::error(err::ValueRefused, "La opción «" + given + "» no es NOMBRE=VALOR")
            : report->option(optionName(given.substr(0, eq)), given.substr(eq + 1));
    if (!st) {
      fmt::print(stderr, "{}\n", st.text);
      return 2;
    }
  }
  if (Status bad = reports::checkDelimiter(o.delimiter); !bad) {
    fmt::print(stderr, "{}\n", bad.text);
    return 2;
  }
  if (o.pdf.empty() && o.csv.empty() && o.text.empty() && o.pages.empty()) {
    fmt::print(stderr, "Indique al menos una salida: --pdf, --csv, --texto o --hojas\n");
    return 2;
  }
  db::Storage storage;
  std::string workName, address;
  if (int bad = openWork(o.dir, o.work, storage, &workName, &address)) return bad;
  db::Context ctx(storage);

  reports::RunSettings settings;
  settings.heading.company =
      SettingsFile(fs::path(o.dir) / "VELMORA.INI").get("Empresa", "Nombre").value_or("");
  settings.heading.work = workName;
  settings.heading.address = address;
  settings.heading.date = dates::today();
  settings.exporting.fileName = o.csv;
  settings.exporting.delimiter = o.delimiter;
  reports::ReportRun run(ctx, *report, settings);
  runToEnd(run);
  if (run.response() != 1) {
    fmt::print(stderr, "El reporte {} no terminó: {}\n", d.procedure, describe(run.failure()));
    return 1;
  }
  std::unique_ptr<reports::PageList> pages = run.takePages();
  const int sheets = pages->pages();
  fmt::print("{}: {} registros leídos, {} impresos, {} {}\n", d.procedure, run.recordsRead(),
             run.recordsPrinted(), sheets, sheets == 1 ? "hoja" : "hojas");
  for (std::string notice : report->notices()) {
    for (char& c : notice) c = c == '|' ? ' ' : c;
    fmt::print("Aviso: {}\n", notice);
  }
  int rc = 0;
  if (!run.exportPath().empty()) fmt::print("Exportado a {}\n", run.exportPath());
  if (!o.text.empty()) {
    if (Status st = pages->saveText(o.text); !st) {
      fmt::print(stderr, "{}\n", st.text);
      rc = 1;
    }
  }
  if (!o.pages.empty() && copyPages(*pages, o.pages) != 0) rc = 1;
  if (!o.pdf.empty() && writePdf(*pages, o.pdf) != 0) rc = 1;
  return rc;
}

}  // namespace

void addReportCommand(::CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "reporte", "Ejecuta un reporte de una obra sin ventanas y guarda sus hojas y su exportación");
  static ReportOptions o;
  cmd->add_option("DIR", o.dir, "Carpeta del programa (la del catálogo de obras DATA1.TPS)")
      ->required();
  cmd->add_option("OBRA", o.work, "Clave de la obra (OBR:CTA)")->required();
  cmd->add_option("NOMBRE", o.name, "Nombre del reporte, por ejemplo IMP_CON")->required();
  cmd->add_option("--pdf", o.pdf, "Guarda las hojas en este archivo PDF");
  cmd->add_option("--csv", o.csv,
                  "Exporta los registros a este archivo; su extensión se cambia por .CSV");
  cmd->add_option("--delimitador", o.delimiter, "Delimitador de la exportación (un carácter)")
      ->default_str(";");
  cmd->add_option("--texto", o.text, "Guarda las hojas como texto en este archivo");
  cmd->add_option("--opcion", o.options,
                  "Una opción del reporte, NOMBRE=VALOR (FOLIO_INICIAL=3, "
                  "FECHA_FINAL=31/01/2026, CONTRATISTA=7, CIERRE=31/08/2026, PROVEEDOR=3, "
                  "REPORTA=PAGADA, INCLUYE_PAGOS=SI ...); se repite");
  cmd->add_option("--hojas", o.pages, "Copia las imágenes de las hojas (.WMF) a esta carpeta");
  cmd->callback([] { std::exit(runReport(o)); });
}

}  // namespace velmora::cli
