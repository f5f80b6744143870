#include "accounting/invoice_policy.h"

#include <cmath>

#include "accounting/equipment_accounts.h"
#include "dictionary/cp1252.h"
#include "dictionary/dates.h"
#include "framework/picture.h"

namespace velmora::accounting {

namespace {

// The lines' own two lines of a failed write, by their row.
constexpr std::array<std::array<const char*, 2>, 3> kLineErrors = {{
    {"ERROR AL ACTUALIZAR EL", "ALMACEN"},
    {"ERROR AL ACTUALIZAR LA", "CUENTA DEL IVA"},
    {"ERROR AL ACTUALIZAR LA", "CUENTA DEL PROVEEDOR"},
}};

// An invoice's REAL amount to the cent, half away from zero as the figure
// reads (0.125 is 0.13, never 0.12499999).
std::int64_t toCents(double v) {
  if (!std::isfinite(v)) return 0;
  const std::int64_t micro = std::llround(v * 1e6);
  return (micro + (micro >= 0 ? 5000 : -5000)) / 10000;
}

PolicyLine line(int row, Side side, const AccountNumber& account, std::int64_t cents,
                const std::string& description) {
  PolicyLine l;
  l.row = row;
  l.account = account;
  // A negative amount is the other side's.
  l.side = cents >= 0 ? side : (side == Side::Debit ? Side::Credit : Side::Debit);
  l.amount = Decimal::fromCents(cents >= 0 ? cents : -cents);
  l.description = cp1252::utf8Prefix(description, 30);
  return l;
}

}  // namespace

InvoiceAccounts invoiceAccounts(const OBR& work) {
  return {slotAccount(work, 4), slotAccount(work, 2), slotAccount(work, 10)};
}

std::vector<PolicyLine> invoicePolicyLines(const FAM& f, const InvoiceAccounts& a) {
  const std::string text = "F/REVISION " + formatPicture("@n_6", double(f.CTA));
  const std::int64_t iva = toCents(f.IVA);
  const std::int64_t total = toCents(f.IMPO + f.IVA);
  std::vector<PolicyLine> lines;
  for (PolicyLine l :
       {line(1, Side::Debit, a.warehouse, total, text), line(2, Side::Credit, a.iva, iva, text),
        line(3, Side::Credit, a.suppliers, total - iva, text)}) {
    if (l.account.levels[0] <= 0 || l.amount.cents() == 0) continue;
    lines.push_back(std::move(l));
  }
  return lines;
}

Status writeInvoicePolicy(db::Context& ctx, const FAM& invoice, const OBR& work, std::int32_t today,
                          std::int32_t now, InvoicePolicyOutcome* outcome) {
  InvoicePolicyOutcome ignored;
  InvoicePolicyOutcome& out = outcome ? *outcome : ignored;
  out = {};
  if (work.POAU[1] == 0) return Status::success();

  db::Table& cuen = ctx.table("CUEN");
  db::Table& polmes = ctx.table("POLMES");
  db::Table& detmes = ctx.table("DETMES");
  const InvoiceAccounts accounts = invoiceAccounts(work);
  bool complete = true;
  Status st = holdAccounts(cuen, {accounts.iva, accounts.suppliers, accounts.warehouse});
  if (!st) return st;
  st = checkAccounts(cuen,
                     {{accounts.iva, "NO ENCONTRE LA CTA DE IVA EN"},
                      {accounts.suppliers, "NO ENCONTRE LA CTA DE PROVEEDORES"},
                      {accounts.warehouse, "NO ENCONTRE LA CTA DE ALMACEN"}},
                     out.messages, complete);
  if (!st) return st;
  if (!complete) {
    out.result = InvoicePolicyResult::Missing;
    out.messages.push_back(policyLeftOut());
    return Status::success();
  }

  // One more than the last policy of the month; the caller's write lock
  // keeps another station from taking the same number.
  std::int32_t number = 1;
  st = polmes.setStart(polmes.info().key("POA:NUM_KEY"));
  if (st) st = polmes.previous();
  if (st)
    number = polmes.rec<POA>().NUM + 1;
  else if (st.code != err::NoRecord)
    return st.on("POLMES");
  polmes.clear();
  POA& h = polmes.rec<POA>();
  h.NUM = number;
  h.DESC = "FACTURA A REVISION No " + formatPicture("@n_6", double(invoice.CTA));
  h.FECH = today;
  h.HOUS = now, h.FEUS = today;

  out.lines = invoicePolicyLines(invoice, accounts);
  const int month = dates::monthOf(today);
  std::int64_t debits = 0;
  for (const PolicyLine& l : out.lines) {
    detmes.clear();
    DEA& d = detmes.rec<DEA>();
    d.NUM = number;
    d.DIA = static_cast<std::uint8_t>(dates::dayOf(today));
    d.USER = h.USER, d.HOUS = now, d.FEUS = today;
    d.CARG = std::string(1, char(l.side));
    putAccount(d, l.account);
    d.CANT = l.amount.toDouble();
    d.DESC = l.description;
    st = detmes.add().on("DETMES");
    if (st) st = rollUp(cuen, l.account, l.amount, l.side, month);
    if (!st) {
      const auto& why = kLineErrors[std::size_t(l.row - 1)];
      out.failure = {st.text, why[0], why[1]};
      return st;
    }
    if (l.side == Side::Debit) debits += l.amount.cents();
  }
  // The policy's total is its debits, as the ledger reads it.
  h.CANT = Decimal::fromCents(debits).toDouble();
  if (!(st = polmes.add().on("POLMES"))) return st;
  out.policy = h;
  out.result = InvoicePolicyResult::Written;
  return st;
}

}  // namespace velmora::accounting
