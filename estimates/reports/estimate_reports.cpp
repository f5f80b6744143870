#include "estimates/reports/estimate_reports.h"

#include <cmath>

#include "dictionary/storage.h"

namespace velmora::reports {

ItemAmounts itemAmounts(const PAR& item) {
  ItemAmounts a;
  a.budget = Decimal::fromCents(toCents(item.PRES).cents() + toCents(item.VPRE).cents());
  a.executed = toCents(item.TPAG);
  a.remaining = Decimal::fromCents(a.budget.cents() - a.executed.cents());
  return a;
}

bool isAdvanceOrReturn(const POL& e) { return e.ESTI < 0 || e.UFEC == 1 || e.UFEC == 3; }

Decimal netPaid(const POL& e) {
  // The formula would pay an advance's or a fund return's amount twice: it
  // is both the amount and, negated, the amortisation or the fund.
  if (isAdvanceOrReturn(e)) return toCents(e.CANT);
  auto c = [](double v) { return toCents(v).cents(); };
  return Decimal::fromCents(c(e.CANT) - c(e.NOMI) + c(e.IVA) - c(e.PANT) - c(e.PFON) - c(e.PPRE) +
                            c(e.PRES));
}

std::string estimateNumber(std::int32_t esti) {
  if (esti == -1) return "ANTICIPO";
  if (esti == -3) return "DEV.FONDO";
  return esti > 0 ? std::to_string(esti) : std::string();
}

std::string readContractorName(db::Table& cont, std::int32_t contractor) {
  cont.clear();
  cont.rec<CTR>().CTA = std::int16_t(contractor);
  if (!cont.get("CTR:CTA_KEY")) return kDeletedContractor;
  return cont.rec<CTR>().NOMB;
}

std::int64_t cents(double v) {
  const std::optional<Decimal> d = Decimal::fromDouble(v);
  return d ? d->cents() : 0;
}

std::int64_t mulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c == 0) return 0;
  const long double exact = (long double)a * (long double)b / (long double)c;
  return std::int64_t(std::llround(exact));
}

}  // namespace velmora::reports
