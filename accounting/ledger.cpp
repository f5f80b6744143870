#include "accounting/ledger.h"

#include <algorithm>

#include <cstdlib>

namespace velmora::accounting {

std::string AccountNumber::text() const {
  std::string s;
  for (std::size_t i = 0; i < levels.size(); ++i) s += (i ? "-" : "") + std::to_string(levels[i]);
  return s;
}

AccountNumber accountOf(const CUE& r) { return {{r.CTA, r.SCTA, r.SSCTA, r.SSSCTA, r.SSSSCTA}}; }
AccountNumber accountOf(const BAN& r) { return {{r.CT, r.SCT, r.SSC, r.SSSC, r.SSSS}}; }
AccountNumber accountOf(const OBR::CONTA_t& s) {
  auto low = [](std::int32_t v) { return static_cast<std::int16_t>(v & 0xFFFF); };
  return {{low(s.CC), low(s.SCC), low(s.SSCC), low(s.SSSCC), low(s.SSSSCC)}};
}

void putAccount(CUE& r, const AccountNumber& a) {
  r.CTA = a.levels[0], r.SCTA = a.levels[1], r.SSCTA = a.levels[2], r.SSSCTA = a.levels[3],
  r.SSSSCTA = a.levels[4];
}
void putAccount(BAN& r, const AccountNumber& a) {
  r.CT = a.levels[0], r.SCT = a.levels[1], r.SSC = a.levels[2], r.SSSC = a.levels[3],
  r.SSSS = a.levels[4];
}
void putAccount(DEA& r, const AccountNumber& a) {
  r.CTA = a.levels[0], r.SCTA = a.levels[1], r.SSCTA = a.levels[2], r.SSSCTA = a.levels[3],
  r.SSSSCTA = a.levels[4];
}

Decimal cents(double v) { return Decimal::fromDouble(v).value_or(Decimal()); }

Status readAccount(db::Table& cuen, const AccountNumber& a) {
  cuen.clear();
  putAccount(cuen.rec<CUE>(), a);
  return cuen.get("CUE:CTA_KEY").on("CUEN");
}

Status holdAccounts(db::Table& cuen, const std::vector<AccountNumber>& accounts) {
  std::vector<AccountNumber> all;
  for (AccountNumber at : accounts)
    for (int level = 4; level >= 0; --level) {
      if (at.levels[std::size_t(level)] == 0) continue;
      if (std::find(all.begin(), all.end(), at) == all.end()) all.push_back(at);
      at.levels[std::size_t(level)] = 0;
    }
  std::vector<Record> probes;
  for (const AccountNumber& a : all) {
    probes.emplace_back(CUE::info());
    putAccount(probes.back().as<CUE>(), a);
  }
  return cuen.preload(*CUE::info().key("CUE:CTA_KEY"), probes).on("CUEN");
}

Status rollUp(db::Table& cuen, const AccountNumber& a, Decimal amount, Side side, int month,
              int* updated) {
  if (month < 1 || month > 12)
    return Status::error(err::ValueRefused, "Mes fuera de rango").on("CUEN");
  if (updated) *updated = 0;
  const std::size_t m = std::size_t(month - 1);
  AccountNumber at = a;
  bool own = true;
  // From the fifth level up: the account itself, then each parent; a level
  // that is zero already names no further account.
  for (int level = 4; level >= 0; --level) {
    if (at.levels[std::size_t(level)] == 0) continue;
    Status st = readAccount(cuen, at);
    if (st) {
      CUE& r = cuen.rec<CUE>();
      double& total = side == Side::Debit ? r.CARGOS[m] : r.ABONOS[m];
      total = Decimal::fromCents(cents(total).cents() + amount.cents()).toDouble();
      st = cuen.put().on("CUEN");
      if (!st) return st;
      if (updated) ++*updated;
    } else if (own || (st.code != err::RecordNotFound && st.code != err::NoRecord)) {
      return st;
    }
    own = false;
    at.levels[std::size_t(level)] = 0;
  }
  return Status::success();
}

bool mayDeleteAccount(const CUE& r) {
  for (std::size_t i = 0; i < r.CARGOS.size(); ++i)
    if (std::llabs(cents(r.CARGOS[i]).cents()) > 1 || std::llabs(cents(r.ABONOS[i]).cents()) > 1)
      return false;
  return true;
}

}  // namespace velmora::accounting
