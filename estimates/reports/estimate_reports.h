#pragma once

// The budget and payment reports of the work (IMP_LEV, IMP_TAB, IMP_REA,
// IMP_EDO, IMP_SOL, IMP_BAN) and the column layout they share: a heading
// with the company, the work, the title with its date and ranges and the
// page number on every page, the column titles between two rules, one line
// per row, and "SUMAS:" with the totals under their columns.

#include <memory>
#include <string>
#include <vector>

#include "dictionary/decimal.h"
#include "reports/report_options.h"

namespace velmora::reports {

std::unique_ptr<Report> makeImpLev();  // LEVANTAMIENTO DE AVANCES
std::unique_ptr<Report> makeImpTab();  // TABULADOR DE ESTIMACION
std::unique_ptr<Report> makeImpRea();  // REAL CONTRA PRESUPUESTADO
std::unique_ptr<Report> makeImpEdo();  // ESTADO DE CUENTAS DE CONCEPTOS
std::unique_ptr<Report> makeImpSol();  // SOLICITUD DE RECURSOS
std::unique_ptr<Report> makeImpBan();  // REPORTE BANCARIO

// A stored amount to the cent, so that a line adds up as printed.
Decimal toCents(double amount);

// An item's labour budget (with its variation), what was paid on it and
// what is left.
struct ItemAmounts {
  Decimal budget, executed, remaining;
};
ItemAmounts itemAmounts(const PAR& item);

// An advance (POL:ESTI −1, POL:UFEC 1) or a guarantee-fund return (−3, 3):
// it hands the contractor its amount, booked negated in the amortisation
// or the fund.
bool isAdvanceOrReturn(const POL& estimate);

// What an estimate pays the contractor, its "A PAGAR": the amount of a
// progress estimate less payroll, with its IVA, less the amortisation, the
// fund and the loan repaid, plus the new loan; an advance or a fund return
// pays its amount as it is. What a contractor has received is this summed
// over every one of his estimates, advances and fund returns: IMP_CON's
// "$ RECIBIDO", REP_ESC's "NETO PAGADO" and IMP_SOL's "A PAGAR" all add it.
Decimal netPaid(const POL& estimate);

// The number of a progress estimate, or what a special entry is.
std::string estimateNumber(std::int32_t esti);

// The contractor's name from CONT (open), or "***** DADO DE BAJA *****" for
// one that is no longer on file; the record stays in the buffer.
std::string readContractorName(db::Table& cont, std::int32_t contractor);
// To the cent, half away from zero; 0 for what is not a number.
std::int64_t cents(double v);
// a × b / c in cents, from cents, half away from zero; 0 when c is 0.
std::int64_t mulDiv(std::int64_t a, std::int64_t b, std::int64_t c);

struct ColumnSpec {
  std::string title;
  std::string source;   // a field of the primary table or a value of the report
  std::string picture;  // empty: the text as it is
  int width = 0;        // characters
  bool right = false;   // numbers end at the column's right edge
  bool total = false;   // summed under "SUMAS:"
};

struct SheetSpec {
  std::string procedure, title, table, key;
  bool landscape = false;
  int font = 25;  // tenths of a millimetre
  int detailHeight = 40;
  std::vector<ColumnSpec> columns;
  int sumsColumn = 0;  // "SUMAS:" is printed in this column
};

// The report laid out column by column, one blank apart, from the left margin.
ReportDescription layOut(const SheetSpec& sheet);
// Where column `chars` (from 0) starts, where the last column's gap ends,
// and where the page's printable width ends.
int sheetX(const SheetSpec& sheet, int chars);
int columnsEnd(const SheetSpec& sheet);
int sheetEnd(const SheetSpec& sheet);

}  // namespace velmora::reports
