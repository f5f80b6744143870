#include "accounting/ledger_check.h"

#include <map>

#include "accounting/ledger.h"
#include "dictionary/dates.h"

namespace velmora::accounting {

namespace {

template <class R, class F>
Status each(db::Table& t, F f) {
  Status st = t.openReadOnly();
  if (st) st = t.setStart(nullptr);
  while (st && (st = t.next())) f(t.rec<R>());
  t.close();
  return st.code == err::NoRecord ? Status::success() : st.on(t.info().label);
}

std::string money(std::int64_t cents) { return Decimal::fromCents(cents).toString(); }

}  // namespace

Status checkLedger(db::Context& ctx, int month, int year, std::vector<std::string>& out) {
  struct Sums {
    std::int64_t debit = 0, credit = 0;
  };
  std::map<std::int32_t, Sums> sums;
  std::map<std::int32_t, POA> heads;
  std::map<std::array<std::int16_t, 5>, std::string> chart;  // the last-level flag
  Status st =
      each<CUE>(ctx.table("CUEN"), [&](const CUE& r) { chart[accountOf(r).levels] = r.ULNI; });
  if (st) st = each<POA>(ctx.table("POLMES"), [&](const POA& r) { heads[r.NUM] = r; });
  if (st)
    st = each<DEA>(ctx.table("DETMES"), [&](const DEA& r) {
      const AccountNumber a{{r.CTA, r.SCTA, r.SSCTA, r.SSSCTA, r.SSSSCTA}};
      const std::int64_t amount = cents(r.CANT).cents();
      (r.CARG == "C" ? sums[r.NUM].debit : sums[r.NUM].credit) += amount;
      auto found = chart.find(a.levels);
      if (found == chart.end())
        out.push_back("Póliza " + std::to_string(r.NUM) + ": la cuenta " + a.text() +
                      " no existe en el catálogo");
      else if (found->second == "N")
        out.push_back("Póliza " + std::to_string(r.NUM) + ": la cuenta " + a.text() +
                      " no es de último nivel");
      if (r.CARG != "C" && r.CARG != "A")
        out.push_back("Póliza " + std::to_string(r.NUM) + ": un renglón sin cargo ni abono");
    });
  if (!st) return st;
  for (const auto& [num, s] : sums)
    if (!heads.count(num))
      out.push_back("Póliza " + std::to_string(num) + ": tiene renglones y no tiene encabezado");
  for (const auto& [num, h] : heads) {
    const Sums s = sums[num];
    if (s.debit != s.credit)
      out.push_back("Póliza " + std::to_string(num) + ": cargos " + money(s.debit) + " y abonos " +
                    money(s.credit) + " no cuadran");
    if (cents(h.CANT).cents() != s.debit)
      out.push_back("Póliza " + std::to_string(num) + ": el total " + money(cents(h.CANT).cents()) +
                    " no es la suma de sus cargos " + money(s.debit));
  }
  return each<POL>(ctx.table("POLI"), [&](const POL& p) {
    if (p.NOPO == 0 || dates::monthOf(p.ACFE) != month || dates::yearOf(p.ACFE) != year) return;
    auto h = heads.find(p.NOPO);
    if (h == heads.end())
      out.push_back("Estimación " + std::to_string(p.CTA) + ": su póliza " +
                    std::to_string(p.NOPO) + " no existe");
    else if (h->second.REFE != p.CTA)
      out.push_back("Estimación " + std::to_string(p.CTA) + ": su póliza " +
                    std::to_string(p.NOPO) + " es de la estimación " +
                    std::to_string(h->second.REFE));
  });
}

}  // namespace velmora::accounting
