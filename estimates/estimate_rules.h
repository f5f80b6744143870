#pragma once

// The figures of an estimate, shared by the windows that capture one (the
// line form, the final amounts, the advance form) and the operations that
// save it. Quantities and percentages are exact fractions; an amount is
// rounded to the cent once, from the exact product or quotient, and the
// budget ceiling is checked both on the exact quantities and on the amounts
// in cents that are stored.

#include <array>
#include <cstdint>
#include <optional>

#include "dictionary/ratio.h"
#include "dictionary/record.h"

namespace velmora::estimates {

// a × b / c to the cent, half away from zero; 0 when c is 0.
Decimal mulDiv(Decimal a, Decimal b, Decimal c);
// `part` percent of `whole`.
Decimal percentOf(Decimal whole, Decimal part);
// A stored real as the figure the windows show and the rules compare.
Decimal figure(double v);

// A budget item as the line form sees it: its labour budget scaled by the
// share its contractor estimates (PAR:PEST), in the form's copy only.
struct ItemBudget {
  Ratio quantity;     // PAR:CANT
  Decimal paid;       // PAR:TPAG
  Ratio done;         // PAR:AVAN, percentage done before (SUM1)
  Ratio executed;     // quantity executed before (SUM2)
  Decimal budget;     // scaled PAR:PRES
  Decimal variation;  // scaled PAR:VPRE
  Decimal ceiling;    // budget + variation (B): no line goes past it
  Ratio unitPrice;    // ceiling per unit (CARGO); 0 without quantity
};
ItemBudget itemBudget(const PAR& item);

// The item as it stood before an estimate that is being changed: what the
// estimate's own line paid is taken off, in the form's copy only (nothing is
// written until the change is saved).
struct ItemBefore {
  double conc = 0;
  std::int32_t process = 0;
  std::int32_t front = 0;
  double paid = 0;      // PAR:TPAG before the estimate (DPO:TANT)
  double progress = 0;  // PAR:AVAN before it (DPO:PANT)
};

// The three inputs of a line, each deriving the other two: quantity
// estimated now (ESM:AC), total percentage after it (ESM:FI) and amount
// (SUM3).
struct LineFigures {
  Ratio quantity;
  Ratio percent;
  Decimal amount;
};

struct LineOutcome {
  bool cutTo100 = false;  // the percentage was above 100 and is now 100
  bool refused = false;   // past the budget: the three figures are now 0
};

// More than is left of the quantity, more than is left of the ceiling in
// cents, or below zero.
bool overBudget(const ItemBudget& item, const LineFigures& f);

// The quantity was typed: the amount is the remaining budget spread over
// the remaining quantity. With nothing left of the quantity the amount is 0
// and any quantity above 0 is past the budget.
LineOutcome quantityGiven(const ItemBudget& item, LineFigures& f);
// The total percentage was typed (cut to 100 first).
LineOutcome percentGiven(const ItemBudget& item, LineFigures& f);
// The amount was typed.
LineOutcome amountGiven(const ItemBudget& item, LineFigures& f);

enum class LineCheck { Add, OverBudget, Incomplete };
// OK of the line form: past the budget, missing a figure, or good to add.
LineCheck checkLine(const ItemBudget& item, const LineFigures& f, double conc, std::int32_t process,
                    std::int32_t front);

// The deductions and additions that turn the direct cost of a progress
// estimate into the amount to pay (the window's variables in brackets).
struct FinalFigures {
  Decimal advanceBalance;  // SUM1, 0 when posted
  Decimal fundBalance;     // SUM2, 0 when posted
  Decimal total;           // TOTAL, the direct cost
  Decimal payroll;         // POL:NOMI
  Decimal iva;             // POL:IVA
  Decimal amortisation;    // POL:PANT
  Decimal fund;            // POL:PFON
  Decimal loan;            // POL:PRES, granted now
  Decimal net;             // TOT5, total less payroll
  Decimal sum;             // TOT4, net plus IVA
  Decimal previousLoan;    // TOT3, deducted now
  Decimal finalAmount;     // TOT2
  Decimal toPay;           // TOT1
};

// What the save takes from the final amounts, in this order.
struct FinalValues {
  Decimal amortisation;
  Decimal fund;
  Decimal iva;
  Decimal previousLoan;
  Decimal loan;
  Decimal payroll;
};

// Opening the final amounts of an estimate of `total` for its contractor.
// `stored` holds what the estimate carries (amortisation, IVA, payroll,
// loan). Amortisation is proposed at the contractor's percentage, never
// above what is owed of his advances; the fund is always recomputed; a new
// estimate proposes its IVA on the total less payroll. The previous loan is
// the contractor's outstanding one for a new estimate and, for a change, the
// one the estimate deducted when it was saved.
FinalFigures openFinal(const CTR& contractor, Decimal total, const POL& stored, bool insert,
                       bool posted);
// The totals below the inputs, after IVA, amortisation, fund or loan change.
void recomputeFinal(FinalFigures& f);
// Payroll changed: IVA follows it, then the totals.
void payrollGiven(FinalFigures& f, const CTR& contractor);
// "A PAGAR" typed: what it differs from the final amount becomes the loan.
void toPayGiven(FinalFigures& f);
FinalValues finalValues(const FinalFigures& f);
// The final amounts take no negative figure and no payroll above the
// estimate; the warning's three lines when they do.
std::optional<std::array<const char*, 3>> refuseFinal(const FinalFigures& f);

// The most a new advance may be so that the contractor's amortisation
// percentage still recovers all of it; never below 0.
Decimal advanceRoom(const CTR& contractor);
// Cuts an advance, or a guarantee-fund return, to what the contractor
// allows; true when it was cut.
bool capAdvance(const CTR& contractor, Decimal& advance);
bool capFundReturn(const CTR& contractor, Decimal& amount);

}  // namespace velmora::estimates
