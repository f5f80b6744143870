#pragma once

// The windows every report runs through: "Destino del Reporte" (preview or
// printer, copies, order, printer) and "Avance..." (the run itself, a batch
// per tick, with the export fields for the reports that export), and the
// chain that takes a report from the one to the other and hands its pages
// to the preview or the printer.

#include <memory>
#include <string>

#include "framework/procedure.h"
#include "reports/catalogue.h"
#include "reports/report.h"

namespace velmora::reports {

// "Destino del Reporte": Ejecuta keeps the choices in `options` and answers
// completed; "Cancela el Reporte", Esc or the close box answer cancelled.
class ReportDestination : public Procedure {
 public:
  static constexpr const char* kName = "DESTINO_REPORTE";
  ReportDestination(Program& program, db::Context& ctx, PrintOptions& options);

 protected:
  bool init() override;
  void onAccepted(const std::string& control) override;

 private:
  void showPrinter();
  PrintOptions& options_;
};

// "Avance...": drives `run` a batch per tick and closes by itself when it
// ends (completed) or is cancelled. With `exporting` the window carries
// "Nombre de Archivo:", "Delimitador:" and the pause button, and starts
// paused so that the name can be typed before any record is read; what was
// typed goes back into `exporting`.
class ReportProgress : public Procedure {
 public:
  static constexpr const char* kName = "AVANCE_REPORTE";
  ReportProgress(Program& program, db::Context& ctx, ReportRun& run,
                 ExportOptions* exporting = nullptr);
  ~ReportProgress() override;

  void keyPressed(Key key) override;
  void closeBox() override;
  bool paused() const { return paused_; }

 protected:
  void windowOpened() override;
  void onAccepted(const std::string& control) override;

 private:
  class Driver;
  void go();
  void cancel();
  // Warns and goes back to the delimiter when it would spoil the file.
  bool delimiterRefused();
  // The file dialog for the export file's name.
  void chooseFile();
  void ended(JobOutcome outcome);
  void show();
  ReportRun& run_;
  ExportOptions* exporting_;
  std::unique_ptr<Driver> driver_;
  bool paused_ = false, running_ = false;
};

// The pages of a document in another order (copies, reversed): what the
// printer gets when the report skips the preview.
class PageOrder : public Document {
 public:
  // `title` names the print job; the pages' own title when empty.
  PageOrder(const Document& pages, std::vector<int> order, std::string title = {})
      : pages_(pages), order_(std::move(order)), title_(std::move(title)) {}
  std::string title() const override { return title_.empty() ? pages_.title() : title_; }
  int pages() const override { return int(order_.size()); }
  int pageWidth() const override { return pages_.pageWidth(); }
  int pageHeight() const override { return pages_.pageHeight(); }
  void draw(int page, Canvas& canvas) const override { pages_.draw(order_[page - 1], canvas); }

 private:
  const Document& pages_;
  std::vector<int> order_;
  std::string title_;
};

// Runs `report` for `caller`: "Destino del Reporte", then "Avance...", then
// the preview or the printer. 1 when the report ran to its end and its
// pages went where the user chose, 2 when it was cancelled or failed (the
// user has been told why). `settings.printing` starts the options window
// and holds the choices afterwards.
int printReport(Procedure& caller, Report& report, RunSettings& settings);

// A report as a procedure of the program: it has no window of its own and
// runs the chain above with the program's company, work and date.
class ReportProcedure : public Procedure {
 public:
  ReportProcedure(Program& program, db::Context& ctx, std::unique_ptr<Report> report);

 protected:
  bool init() override;

 private:
  std::unique_ptr<Report> report_;
};

// The delimiter of exports, one for every report of the program.
inline constexpr const char* kDelimiterVar = "COMA";

// The reports of `catalogue` as procedures of `program`, each by its name,
// and the delimiter of their exports.
void addCatalogueReports(Program& program, Catalogue catalogue);

}  // namespace velmora::reports
