#include "reports/report_windows.h"

#include <filesystem>

#include "framework/describe.h"
#include "reports/csv_export.h"
#include "reports/preview_window.h"

namespace velmora::reports {

namespace {

namespace fs = std::filesystem;

std::string trimmed(const std::string& s) {
  const auto a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The variables of "Destino del Reporte".
constexpr const char* kDestination = "DESTINO";  // "1" view, "2" print
constexpr const char* kCopies = "COPIAS";
constexpr const char* kCollate = "JUEGOS";
constexpr const char* kReverse = "ARRIBA";
constexpr const char* kPrinter = "IMPRESORA";

// The variables of "Avance...".
constexpr const char* kThermometer = "AVANCE_TERMOMETRO";
constexpr const char* kUserString = "AVANCE_TEXTO";
constexpr const char* kPercentText = "AVANCE_PORCIENTO";
constexpr const char* kFileName = "GWBCSVFILENAME";

// Without a choice the pages go to the printer the system has as default.
constexpr const char* kSystemPrinter = "La predeterminada del sistema";

WindowDescription destinationWindow() {
  WindowDescription w =
      Describe(ReportDestination::kName, "Destino del Reporte")
          .option("Opciones", kDestination, {"1", "2"}, {" Ve el Reporte", " Imprime"})
          .field("Copias:", kCopies, "@n3")
          .check(" Acomoda Copias por Juegos", kCollate, "0", "1")
          .check(" Imprime Hojas Hacia Arriba", kReverse, "0", "1")
          .text("Impresora Predeterminada", kPrinter, "@s60")
          .button("?PRINTERSETUP", "Seleccione Impresora")
          .button("?OK", "Ejecuta", true)
          .button("?CANCEL", "Cancela el Reporte")
          .done();
  w.resizable = false;
  return w;
}

WindowDescription progressWindow(bool exporting) {
  WindowDescription w;
  w.procedure = ReportProgress::kName;
  w.title = "Avance...";
  w.resizable = false;
  w.controls.push_back(
      makeControl(ControlType::Progress, "?PROGRESS:THERMOMETER", {}, kThermometer));
  w.controls.push_back(
      makeControl(ControlType::Text, "?PROGRESS:USERSTRING", {}, kUserString, "@s40"));
  w.controls.push_back(
      makeControl(ControlType::Text, "?PROGRESS:PCTTEXT", {}, kPercentText, "@s20"));
  if (exporting) {
    w.controls.push_back(
        makeControl(ControlType::Prompt, "?GWBCSVFILENAME:Prompt", "Nombre de Archivo:"));
    w.controls.push_back(
        makeControl(ControlType::Entry, "?GWBCSVFILENAME", {}, kFileName, "@s100"));
    Control choose = makeControl(ControlType::Lookup, "?CALLLOOKUP", "Elegir el archivo...");
    choose.target = "?GWBCSVFILENAME";
    w.controls.push_back(choose);
    // The run waits here for the name: the export is optional.
    w.controls.push_back(makeControl(ControlType::Prompt, "?EXPORTHINT",
                                     "Deje el nombre en blanco para no exportar."));
    w.controls.push_back(makeControl(ControlType::Prompt, "?COMA:Prompt", "Delimitador:"));
    w.controls.push_back(makeControl(ControlType::Entry, "?COMA", {}, kDelimiterVar, "@s1"));
    w.controls.push_back(makeControl(ControlType::Button, "?PAUSE", "Continúa"));
  }
  Control cancel = makeControl(ControlType::Button, "?PROGRESS:CANCEL", "Cancela");
  cancel.isDefault = !exporting;
  w.controls.push_back(cancel);
  return w;
}

Value globalOr(Program& program, std::string_view name, Value otherwise) {
  return program.hasVar(name) ? program.var(name) : otherwise;
}

}  // namespace

// --- Destino del Reporte ------------------------------------------------------------

ReportDestination::ReportDestination(Program& program, db::Context& ctx, PrintOptions& options)
    : Procedure(program, ctx, destinationWindow()), options_(options) {
  setLocal(kDestination, std::string(options.preview ? "1" : "2"));
  setLocal(kCopies, std::int64_t(options.copies));
  setLocal(kCollate, std::string(options.collate ? "1" : "0"));
  setLocal(kReverse, std::string(options.reverse ? "1" : "0"));
  setLocal(kPrinter, std::string(kSystemPrinter));
}

bool ReportDestination::init() {
  if (!Procedure::init()) return false;
  showPrinter();
  return true;
}

void ReportDestination::showPrinter() {
  std::string name = options_.printer;
  if (name.empty() && host_) name = documents().printerName();
  setLocal(kPrinter, name.empty() ? std::string(kSystemPrinter) : name);
  refresh("?IMPRESORA");
}

void ReportDestination::onAccepted(const std::string& control) {
  if (dict::sameName(control, "?PRINTERSETUP")) {
    if (auto chosen = documents().choosePrinter("Seleccione la Impresora")) {
      options_.printer = chosen->substr(0, 60);
      showPrinter();
    }
  } else if (dict::sameName(control, "?OK")) {
    options_.preview = toText(value(kDestination)) != "2";
    options_.copies = std::max(1, int(number(value(kCopies))));
    options_.collate = toText(value(kCollate)) == "1";
    options_.reverse = toText(value(kReverse)) == "1";
    close(response::Completed);
  } else if (dict::sameName(control, "?CANCEL")) {
    close(response::Cancelled);
  }
}

// --- Avance... -------------------------------------------------------------------------

// The run as the host drives it: a paused window stops being stepped (the
// host sees the job end) and is driven again when the user goes on.
class ReportProgress::Driver : public Job {
 public:
  explicit Driver(ReportRun& run) : run_(run) { setCaption(run.caption()); }
  bool step() override {
    if (paused) return false;
    const bool more = run_.step();
    setPercent(run_.percent());
    return more;
  }
  void cancel() override {
    Job::cancel();
    run_.cancel();
  }
  bool paused = false;

 private:
  ReportRun& run_;
};

ReportProgress::ReportProgress(Program& program, db::Context& ctx, ReportRun& run,
                               ExportOptions* exporting)
    : Procedure(program, ctx, progressWindow(exporting != nullptr)),
      run_(run),
      exporting_(exporting),
      driver_(std::make_unique<Driver>(run)) {
  setLocal(kThermometer, std::int64_t(0));
  setLocal(kUserString, std::string());
  setLocal(kPercentText, std::string("0% Completo"));
  if (exporting_) {
    setLocal(kFileName, exporting_->fileName);
    setLocal(kDelimiterVar, exporting_->delimiter);
  }
}

ReportProgress::~ReportProgress() = default;

void ReportProgress::show() {
  const int percent = std::max(0, driver_->percent());
  setLocal(kThermometer, std::int64_t(percent));
  setLocal(kPercentText, std::to_string(percent) + "% Completo");
  refresh("?PROGRESS:THERMOMETER");
  refresh("?PROGRESS:PCTTEXT");
}

void ReportProgress::windowOpened() {
  if (exporting_) {
    // Waits for the file name: nothing is read before "Continúa".
    paused_ = true;
    select("?GWBCSVFILENAME");
    return;
  }
  go();
}

// A delimiter that also appears inside the numbers (a digit, the point, the
// sign) or a blank leaves a file no spreadsheet can split into columns.
bool ReportProgress::delimiterRefused() {
  const std::string name = toText(value(kFileName));
  if (exportFileName(trimmed(name)).empty()) return false;  // no export: any will do
  if (checkDelimiter(toText(value(kDelimiterVar)))) return false;
  warn("EL DELIMITADOR NO PUEDE SER UN DIGITO,", "PUNTO, GUION NI BLANCO: SE CONFUNDE",
       "CON LOS NUMEROS. USE ; O ,");
  select("?COMA");
  return true;
}

void ReportProgress::chooseFile() {
  FileRequest request;
  request.save = true;
  request.title = "Archivo de Exportación";
  request.name = trimmed(toText(value(kFileName)));
  if (request.name.empty()) request.name = (fs::path(documentsFolder()) / "reporte.CSV").string();
  request.filters = {"Archivos CSV (*.CSV)", "Todos los archivos (*)"};
  if (auto chosen = documents().chooseFile(request)) {
    setLocal(kFileName, chosen->substr(0, 100));
    refresh("?GWBCSVFILENAME");
  }
  select("?GWBCSVFILENAME");
}

void ReportProgress::go() {
  if (exporting_ && !run_.started() && delimiterRefused()) return;
  paused_ = false;
  driver_->paused = false;
  if (exporting_) {
    window_.find("?PAUSE")->text = "Pausa";
    refresh("?PAUSE");
    if (!run_.started()) {
      // The export file is made on the first step, from what was typed.
      exporting_->fileName = trimmed(toText(value(kFileName)));
      exporting_->delimiter = toText(value(kDelimiterVar));
      run_.setExport(*exporting_);
      setReadOnly("?GWBCSVFILENAME");
      setReadOnly("?COMA");
      disable("?CALLLOOKUP");
    }
  }
  running_ = true;
  JobEvents events;
  events.progress = [this](const Job&) { show(); };
  events.done = [this](JobOutcome outcome) { ended(outcome); };
  runJob(*driver_, std::move(events));
}

void ReportProgress::ended(JobOutcome outcome) {
  running_ = false;
  if (outcome == JobOutcome::Finished && driver_->paused) return;  // "Pausa"
  if (outcome == JobOutcome::Finished && run_.finished() && run_.response() == 1) {
    show();
    return close(response::Completed);
  }
  if (!run_.failure().ok()) {
    // An export file that cannot be written ends this report, not the program.
    MessageBox box;
    box.title = window_.title;
    box.text = run_.failure().text;
    box.icon = MessageIcon::Exclamation;
    host().show(box);
  }
  close(response::Cancelled);
}

void ReportProgress::cancel() {
  if (running_) {
    driver_->cancel();  // the host steps it no more and reports the end
    disable("?PROGRESS:CANCEL");
    return;
  }
  driver_->cancel();
  close(response::Cancelled);
}

void ReportProgress::onAccepted(const std::string& control) {
  if (dict::sameName(control, "?PROGRESS:CANCEL")) return cancel();
  if (!exporting_) return;
  if (dict::sameName(control, "?CALLLOOKUP")) return chooseFile();
  if (dict::sameName(control, "?COMA")) return (void)delimiterRefused();
  if (!dict::sameName(control, "?PAUSE")) return;
  if (paused_) return go();
  // Stops reading after the current batch; "Continúa" goes on from there.
  paused_ = true;
  driver_->paused = true;
  window_.find("?PAUSE")->text = "Continúa";
  refresh("?PAUSE");
}

void ReportProgress::keyPressed(Key key) {
  if (key == Key::Esc)
    cancel();
  else
    Procedure::keyPressed(key);
}

void ReportProgress::closeBox() { cancel(); }

// --- the chain ----------------------------------------------------------------------------

int printReport(Procedure& caller, Report& report, RunSettings& settings) {
  Program& program = caller.program();
  db::Context& ctx = caller.context();
  if (caller.call(std::make_unique<ReportDestination>(program, ctx, settings.printing),
                  request::Process) != response::Completed)
    return response::Cancelled;

  const bool exports = !report.description().exportColumns.empty();
  ReportRun run(ctx, report, settings);
  if (caller.call(std::make_unique<ReportProgress>(program, ctx, run,
                                                   exports ? &settings.exporting : nullptr),
                  request::Process) != response::Completed)
    return response::Cancelled;

  // Told once for the whole run, however many lines they touched.
  for (const std::string& notice : report.notices()) {
    MessageBox box;
    box.title = report.description().title;
    box.text = notice;
    box.icon = MessageIcon::Exclamation;
    caller.host().show(box);
  }

  // The pages' folder goes with them, after the preview or the printer.
  std::unique_ptr<PageList> pages = run.takePages();
  if (settings.printing.preview) {
    caller.call(std::make_unique<PreviewWindow>(program, ctx, *pages, kPageWidth),
                request::Process);
    return response::Completed;
  }
  std::vector<int> all(std::size_t(pages->pages()));
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = int(i) + 1;
  PageOrder order(*pages, printOrder(all, settings.printing));
  if (Status printed = caller.documents().print(order); !printed) {
    MessageBox box;
    box.title = "Destino del Reporte";
    box.text = "No se pudo imprimir el reporte.|" + printed.text;
    box.icon = MessageIcon::Exclamation;
    caller.host().show(box);
    return response::Cancelled;
  }
  return response::Completed;
}

ReportProcedure::ReportProcedure(Program& program, db::Context& ctx, std::unique_ptr<Report> report)
    : Procedure(program, ctx,
                [&] {
                  WindowDescription w;
                  w.procedure = report->description().procedure;
                  w.title = report->description().title;
                  return w;
                }()),
      report_(std::move(report)) {}

bool ReportProcedure::init() {
  if (!report_->ask(*this)) {
    wm_.response = response::Cancelled;
    return false;
  }
  RunSettings settings;
  settings.heading.company = toText(globalOr(program_, "GLO:EMPRESA", std::string()));
  settings.heading.work = toText(globalOr(program_, "GLO:NOMBRE_OBRA", std::string()));
  settings.heading.address = toText(globalOr(program_, "GLO:DIRECCION_OBRA", std::string()));
  settings.heading.date = long(number(globalOr(program_, "GLO:HOY", std::int64_t(0))));
  if (program_.hasVar(kDelimiterVar))
    settings.exporting.delimiter = toText(program_.var(kDelimiterVar));
  wm_.response = printReport(*this, *report_, settings);
  if (program_.hasVar(kDelimiterVar)) program_.setVar(kDelimiterVar, settings.exporting.delimiter);
  return false;  // no window of its own
}

void addCatalogueReports(Program& program, Catalogue catalogue) {
  if (!program.hasVar(kDelimiterVar)) program.declare(kDelimiterVar, std::string(";"));
  for (const std::string& name : catalogue.names())
    program.addProcedure(
        name, [name, catalogue](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
          return std::make_unique<ReportProcedure>(p, c, catalogue.make(name));
        });
}

}  // namespace velmora::reports
