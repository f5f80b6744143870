#pragma once

// What the estimate reports ask in "Opciones del Reporte" (folios, dates,
// contractor, concept, process, front) and the window that asks it, with a
// lookup beside every number and a calendar beside every date. The same
// options come by name from `velmora reporte --opcion`.

#include <cstdint>
#include <string>
#include <string_view>

#include "dictionary/status.h"
#include "reports/report.h"

namespace velmora {
class Procedure;
}
namespace velmora::db {
class Table;
}

namespace velmora::reports {

// Which options a report asks, or'ed together.
namespace ask {
inline constexpr unsigned kFolios = 1, kDates = 2, kContractor = 4, kConcept = 8, kProcess = 16,
                          kFront = 32;
}

struct EstimateOptions {
  std::int32_t folioFrom = 0, folioTo = 0;  // 0: from the first, to the last
  std::int32_t dateFrom = 0, dateTo = 0;    // 0: no bound
  std::int32_t contractor = 0;              // 0: every one
  double conc = 0;                          // PAR:CONC; 0: every one
  std::int32_t process = 0, front = 0;

  // A range typed backwards means the same records: it is turned round.
  void normalise();
  bool takesFolio(std::int32_t folio) const;
  bool takesDate(std::int32_t date) const;
  // " DESDE EL 01/02/20 AL 28/02/20" for a date range given whole, else empty.
  std::string dateHeading() const;
  // One option by its name: FOLIO_INICIAL, FOLIO_FINAL, FECHA_INICIAL,
  // FECHA_FINAL (dd/mm/aaaa), CONTRATISTA, CONCEPTO, PROCESO, FRENTE; only
  // those `asks` names.
  Status set(unsigned asks, std::string_view procedure, std::string_view name,
             std::string_view value);
};

// "Opciones del Reporte" of `procedure` with the fields `asks` names, filled
// from `options`; OK keeps what was typed (normalised) and answers true.
bool askEstimateOptions(Procedure& caller, const std::string& procedure, unsigned asks,
                        EstimateOptions& options);

// A report that takes these options: by name or from its window.
class OptionedReport : public Report {
 public:
  explicit OptionedReport(unsigned asks) : asks_(asks) {}
  Status option(std::string_view name, std::string_view value) override {
    return options_.set(asks_, description().procedure, name, value);
  }
  bool ask(Procedure& caller) override {
    return askEstimateOptions(caller, description().procedure, asks_, options_);
  }
  const EstimateOptions& options() const { return options_; }

 protected:
  unsigned asks_;
  EstimateOptions options_;
};

// The contractor's name from CONT (opened), or "***** DADO DE BAJA *****"
// for one that is no longer on file.
std::string contractorName(db::Table& cont, std::int32_t contractor);
inline constexpr std::string_view kWithdrawn = "***** DADO DE BAJA *****";

// To the cent, half away from zero; 0 for what is not a number.
std::int64_t cents(double v);
// a × b / c in cents, from cents, half away from zero; 0 when c is 0.
std::int64_t mulDiv(std::int64_t a, std::int64_t b, std::int64_t c);

}  // namespace velmora::reports
