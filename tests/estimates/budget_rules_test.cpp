// The budget's totals where no window shows them yet.

#include "estimates/budget_rules.h"

#include <gtest/gtest.h>

namespace velmora::estimates {
namespace {

COO row(std::int32_t cta, const char* tipo, double cant = 0, double tobr = 0) {
  COO r{};
  r.CTA = cta, r.TIPO = tipo, r.CANT = cant, r.TOBR = tobr;
  return r;
}

// Outside every heading, a subtotal adds the concepts since the previous one;
// inside, those under its heading. Unit costs round to the cent before the
// quantity multiplies them.
TEST(BudgetRules, SubtotalsInsideAndOutsideHeadings) {
  BudgetTotals totals;
  for (const COO& r : {row(10, "C", 2, 1.005), row(20, "S"), row(30, "C", 1, 5), row(40, "s"),
                       row(50, "T"), row(60, "C", 3, 0.333), row(70, "S"), row(80, "C", 1, 7)})
    totals.add(r);
  EXPECT_EQ(totals.subtotal(20).toString(), "2.02");  // 2 x 1.01
  EXPECT_EQ(totals.subtotal(40).toString(), "5.00");
  EXPECT_EQ(totals.subtotal(70).toString(), "0.99");  // 3 x 0.33
  EXPECT_EQ(totals.subtotal(30).toString(), "0.00");  // not a subtotal
  EXPECT_EQ(totals.directCost().toString(), "15.01");
}

}  // namespace
}  // namespace velmora::estimates
