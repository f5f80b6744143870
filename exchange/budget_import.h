#pragma once

// The import from the budgeting system: a range of budget rows (COT, the
// layout of COBR) becomes the processes (PROB), concepts (CONC) and budget
// items (PART) of one front, the front's labour budget (FREN) growing with
// them. All of it is written in one transaction. IMPORTA gathers the inputs
// and shows the outcome; `velmora importa` runs it without a window.

#include <cstdint>
#include <string>

#include "dictionary/storage.h"
#include "framework/file_errors.h"

namespace velmora {
class Program;
}

namespace velmora::exchange {

struct BudgetImport {
  std::int32_t front = 0;            // FRE:CTA receiving the items
  double factor = 1;                 // M: every quantity times this, above 0
  double percent = 0;                // P: PAR:PEST of the new items, 0 to 100
  std::int32_t first = 0, last = 0;  // rows (COT:CTA) to read; 0 is no limit
  std::string source;                // the budget rows file; empty: the work's COBR
};

// The real-salary factor F of a CONTROL record: the yearly cost of one unit
// of daily wage per working day; 0 when there is none (no working days).
double realSalaryFactor(const CTL& control);

// The labour unit price of a row: its unit labour at real salary, or 1 when
// there is no factor or no working days.
double labourUnitPrice(double unitLabour, double factor, double workingDays);

// The factor as the import will use it: from the first CONTROL record in key
// order. `unitLabour` is set when there is none (no record, no working days),
// in which case every item's labour budget equals its quantity.
struct SalaryFactor {
  double factor = 0;
  double workingDays = 0;
  bool unitLabour = true;
};
Status readSalaryFactor(db::Context& ctx, SalaryFactor& out);

struct BudgetImportResult {
  int rows = 0;  // headings and concepts read in the range
  int processesAdded = 0;
  int conceptsAdded = 0, conceptsAccumulated = 0;
  int itemsAdded = 0, itemsAccumulated = 0;
  SalaryFactor salary;
  double labour = 0;  // added to the front's labour budget
  // The row a refusal names (a concept without key), and the step a
  // failure stopped at, for the message that reports it.
  std::int32_t failedRow = 0;
  FileAction failedAt = FileAction::Transaction;
};

// Runs the import: all of it or, on any failure, nothing. Refuses
// (ValueRefused) a front of 0, a factor not above 0, a percentage outside 0
// to 100, a row range backwards or negative, a range without rows and a
// concept row whose key is blank; a front that is not on file is
// RecordNotFound on FREN; a source that is missing or not a budget-rows
// table is the error of its opening, on COT. New processes and concepts
// are numbered in steps of 10 after the highest on file.
Status importBudget(db::Context& ctx, const BudgetImport& input,
                    BudgetImportResult* result = nullptr);

// IMPORTA, DUDORE's "Importando Archivos desde el Presupuesto".
void addBudgetImportProcedures(Program& program);

}  // namespace velmora::exchange
