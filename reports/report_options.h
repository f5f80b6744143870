#pragma once

// "Opciones del Reporte": what a report asks before it runs (a range of
// folios, concepts or dates, a closing date, one contractor, concept, item,
// process or front), the window that asks it, and the report base that
// keeps the answers and prints them in its title.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/procedure.h"
#include "reports/report.h"

namespace velmora::reports {

// The questions a report may ask, combined with |.
namespace ask {
inline constexpr unsigned kConceptRange = 1;  // "No de Concepto Inicial:" / "Final:"
inline constexpr unsigned kDateRange = 2;     // "Fecha Inicial:" / "Fecha Final:"
inline constexpr unsigned kClosingDate = 4;   // "Fecha de Cierre:"
inline constexpr unsigned kContractor = 8;    // "Contratista:"
inline constexpr unsigned kConcept = 16;      // "Concepto:"
inline constexpr unsigned kProcess = 32;      // "Proceso:"
inline constexpr unsigned kFront = 64;        // "Frente:"
inline constexpr unsigned kFolios = 128;      // "Folio Inicial:" / "Folio Final:"
inline constexpr unsigned kItem = 256;        // "Concepto:", a budget item (PAR:CONC)
// With kFolios: folios 0 and 0 print the estimate captured last (else 0
// leaves that end of the range open).
inline constexpr unsigned kLastFolio = 512;
}  // namespace ask

// The answers; 0 leaves a choice open (every contractor, no upper date).
struct ReportChoices {
  double conceptFrom = 0, conceptTo = 0;
  std::int32_t dateFrom = 0, dateTo = 0;
  std::int32_t closing = 0;  // 0: the date of the report
  int contractor = 0;
  std::int32_t conceptCta = 0, process = 0, front = 0;  // COE:CTA, PRB:CTA, FRE:CTA
  std::int32_t folioFrom = 0, folioTo = 0;              // POL:CTA
  double item = 0;                                      // PAR:CONC

  // Ranges typed backwards mean the same records: they are turned round.
  void normalise();
};

// The name printed for a row's contractor: blank when the row has none.
inline constexpr const char* kDeletedContractor = "***** DADO DE BAJA *****";

// A report that asks options. Its title (the value kTitleRange) carries the
// date and the ranges chosen, as they were applied.
class OptionsReport : public Report {
 public:
  explicit OptionsReport(unsigned asks) : asks_(asks) {}
  unsigned asks() const { return asks_; }
  ReportChoices& choices() { return choices_; }
  const ReportChoices& choices() const { return choices_; }

  // Ranges given backwards are turned round here, so the title shows the
  // range that was printed.
  Status begin(db::Context& ctx, const Heading& heading) override;
  std::optional<Value> value(std::string_view name) const override;
  // By name, as setReportOption; FECHA_INICIAL is fecha-inicial.
  Status option(std::string_view name, std::string_view value) override;
  // "Opciones del Reporte", as askReportOptions.
  bool ask(Procedure& caller) override;

  // The title, the date and the chosen ranges.
  static constexpr std::string_view kTitleRange = "TITULO";

  // A contractor, concept, process, front or item chosen that is not on
  // file: with nothing printed the run fails saying so; with something
  // printed (a contractor since deleted) the user is told in a notice.
  Status afterRecords(long printed) override;
  std::vector<std::string> notices() const override { return notices_; }

  // " DESDE EL 01/02/20 AL 28/02/20" for a date range given whole, else empty.
  std::string dateHeading() const;
  bool inFolios(std::int32_t folio) const;

 protected:
  // Reports that print contractors' names read them all once at the start.
  void namesContractors() { names_ = true; }
  std::string contractorName(int contractor) const;
  // The date after the title: the closing date when the report has one.
  std::int32_t reportDate() const;

  bool inConcepts(double item) const;
  bool inDates(std::int32_t date) const;
  // Contractor, concept, process and front chosen (0 matches any).
  bool matches(int contractor, double item, std::int32_t process, std::int32_t front) const;

 private:
  unsigned asks_;
  ReportChoices choices_;
  std::int32_t date_ = 0;
  bool names_ = false;
  std::map<int, std::string> contractors_;
  // The chosen numbers not on file, "el contratista 99".
  std::vector<std::string> missing_;
  std::vector<std::string> notices_;
  Status findChosen(db::Context& ctx);
};

// The integer part of an item's concept number: the concept it belongs to.
std::int32_t conceptNumber(double item);

// "Opciones del Reporte" for `report`. Aceptar (?OK) keeps the answers,
// every number checked against its table (the lookup opens on one that is
// not there); Cancela leaves them as they were.
class ReportOptionsWindow : public Procedure {
 public:
  static constexpr const char* kName = "OPCIONES_REPORTE";
  ReportOptionsWindow(Program& program, db::Context& ctx, OptionsReport& report);
  struct Lookup;

  void keyPressed(Key key) override;
  void closeBox() override { close(response::Cancelled); }

 protected:
  bool init() override;
  void onAccepted(const std::string& control) override;

 private:
  const Lookup* lookupOf(const std::string& control) const;
  bool check(const Lookup& l, bool always);
  bool find(const Lookup& l);
  void ok();
  OptionsReport& report_;
};

// One option given as "name=value" where no window asks it (`velmora
// reporte --opcion`): folio-inicial, folio-final, concepto-inicial,
// concepto-final, fecha-inicial, fecha-final, cierre, contratista, concepto
// (the concept or the item, whichever the report asks), proceso, frente. A
// name the report does not ask or a value that does not read is refused, in
// Spanish.
Status setReportOption(Report& report, std::string_view option);

// Asks the report's options when it has any: response::Completed to go on
// (also for a report without options), Cancelled when the user gave up.
int askReportOptions(Procedure& caller, Report& report);

}  // namespace velmora::reports
