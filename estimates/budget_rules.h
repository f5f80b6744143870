#pragma once

// The money rules of a budget, shared by the windows that show one and the
// reports that print it: unit prices, amounts and the totals of the work's
// budget, to the cent.

#include <cstdint>
#include <map>
#include <vector>

#include "dictionary/record.h"

namespace velmora::estimates {

// The unit price of a budget item: all its direct cost (labour, materials and
// equipment, each with its variation) over its quantity; 0 without quantity.
Decimal itemUnitPrice(const PAR& item);

// The rows of the work's budget: headings, the concepts, and subtotals that
// close them.
enum class BudgetRow { Heading, Concept, Subtotal };
BudgetRow budgetRow(const COO& r);

// The direct unit cost of a concept: labour, materials, equipment and the
// percentage charges per unit. A row that carries only its unit price is
// taken at that price.
Decimal conceptUnitCost(const COO& r);
// Quantity times the unit cost as shown, so that every row checks by hand
// and the totals add up the amounts shown.
Decimal conceptAmount(const COO& r);

// The totals of the work's budget, fed its rows in key order. The direct
// cost is the sum of the concepts; a subtotal closes the innermost open
// heading and adds the concepts under it, or, outside every heading, those
// since the previous such subtotal. Headings and subtotals add nothing
// themselves.
// The share of an item's labour its contractor estimates, PAR:PEST, is a
// percentage: 0 to 100, or the estimates could pass the budget.
inline bool percentageInRange(double pest) { return pest >= 0 && pest <= 100; }

class BudgetTotals {
 public:
  void add(const COO& r);
  Decimal directCost() const { return Decimal::fromCents(total_); }
  // The amount of the subtotal row `cta`; 0 for any other row.
  Decimal subtotal(std::int32_t cta) const;

 private:
  std::int64_t total_ = 0;
  std::int64_t loose_ = 0;          // concepts outside every heading, since the last subtotal
  std::vector<std::int64_t> open_;  // the headings not closed yet, innermost last
  std::map<std::int32_t, std::int64_t> subtotals_;
};

}  // namespace velmora::estimates
