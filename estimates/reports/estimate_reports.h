#pragma once

// The budget and payment reports of the work (IMP_LEV, IMP_TAB, IMP_REA,
// IMP_EDO, IMP_SOL, IMP_BAN), laid out column by column (reports/sheet.h),
// and the amounts the estimate reports share.

#include <memory>
#include <string>

#include "dictionary/decimal.h"
#include "reports/report_options.h"
#include "reports/sheet.h"

namespace velmora::reports {

std::unique_ptr<Report> makeImpLev();  // LEVANTAMIENTO DE AVANCES
std::unique_ptr<Report> makeImpTab();  // TABULADOR DE ESTIMACION
std::unique_ptr<Report> makeImpRea();  // REAL CONTRA PRESUPUESTADO
std::unique_ptr<Report> makeImpEdo();  // ESTADO DE CUENTAS DE CONCEPTOS
std::unique_ptr<Report> makeImpSol();  // SOLICITUD DE RECURSOS
std::unique_ptr<Report> makeImpBan();  // REPORTE BANCARIO

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

}  // namespace velmora::reports
