#include "estimates/budget_rules.h"

namespace velmora::estimates {

namespace {

// The stored figures are binary reals: each result is rounded to the cent
// as the decimal it stands for.
Decimal toCents(double v) { return Decimal::fromDouble(v).value_or(Decimal()); }

}  // namespace

Decimal itemUnitPrice(const PAR& r) {
  const double cost = r.PRES + r.VPRE + r.MATE + r.VMAT + r.EQUI + r.VEQU;
  return r.CANT != 0 ? toCents(cost / r.CANT) : Decimal();
}

BudgetRow budgetRow(const COO& r) {
  if (r.TIPO == "T" || r.TIPO == "t") return BudgetRow::Heading;
  if (r.TIPO == "S" || r.TIPO == "s") return BudgetRow::Subtotal;
  return BudgetRow::Concept;
}

Decimal conceptUnitCost(const COO& r) {
  const bool priceOnly = r.TOBR == 0 && r.TMAT == 0 && r.TCOS == 0 && r.TPOR == 0;
  return toCents(priceOnly ? r.PUNI : r.TOBR + r.TMAT + r.TCOS + r.TPOR);
}

Decimal conceptAmount(const COO& r) { return toCents(r.CANT * conceptUnitCost(r).toDouble()); }

void BudgetTotals::add(const COO& r) {
  switch (budgetRow(r)) {
    case BudgetRow::Heading: open_.push_back(0); break;
    case BudgetRow::Subtotal:
      if (open_.empty()) {
        subtotals_[r.CTA] = loose_;
        loose_ = 0;
      } else {
        subtotals_[r.CTA] = open_.back();
        open_.pop_back();
      }
      break;
    case BudgetRow::Concept: {
      const std::int64_t a = conceptAmount(r).cents();
      total_ += a;
      loose_ += a;
      for (std::int64_t& s : open_) s += a;
      break;
    }
  }
}

Decimal BudgetTotals::subtotal(std::int32_t cta) const {
  auto it = subtotals_.find(cta);
  return Decimal::fromCents(it == subtotals_.end() ? 0 : it->second);
}

}  // namespace velmora::estimates
