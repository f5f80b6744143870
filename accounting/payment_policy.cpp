#include "accounting/payment_policy.h"

#include <array>
#include <cmath>

#include "dictionary/cp1252.h"
#include "dictionary/dates.h"
#include "framework/picture.h"

namespace velmora::accounting {

namespace {

constexpr std::array<std::array<const char*, 2>, 3> kLineErrors = {{
    {"ERROR AL ACTUALIZAR EL", "COSTO DE OBRA"},
    {"ERROR AL ACTUALIZAR LA", "CUENTA DEL IVA"},
    {"ERROR AL ACTUALIAR EL", "CUENTA BANCARIA"},
}};

std::string n6(std::int32_t v) { return formatPicture("@n_6", double(v)); }

// A REAL amount to the cent, half away from zero.
Decimal toCents(double v) {
  const std::int64_t micro = std::llround(v * 1e6);
  return Decimal::fromCents((micro + (micro >= 0 ? 5000 : -5000)) / 10000);
}

Decimal absolute(Decimal d) { return Decimal::fromCents(d.cents() < 0 ? -d.cents() : d.cents()); }

}  // namespace

PaymentAccounts paymentAccounts(const OBR& work, const BAN& bank) {
  return {accountOf(work.CONTA[1]), accountOf(work.CONTA[2]), accountOf(bank)};
}

std::string paymentPolicyConcept(const PGM& p) {
  const std::string text = isAdvance(p)
                               ? "ANTICIPO EQ. " + std::to_string(p.PROV)
                               : "PAGO EQ. " + n6(p.FACT) + " PRV " + std::to_string(p.PROV);
  return cp1252::utf8Prefix(text, 30);
}

std::vector<PolicyLine> paymentPolicyLines(const PGM& p, const PaymentAccounts& a) {
  const bool advance = isAdvance(p);
  const std::string text = (advance ? "ANTICIPO " : "P/FACTURA ") + n6(p.PROV);
  const Decimal cant = toCents(p.CANT), anti = toCents(p.ANTI);
  auto make = [&](int row, Side side, const AccountNumber& account, Decimal amount) {
    PolicyLine l;
    l.row = row, l.side = side, l.account = account, l.amount = amount;
    l.description = cp1252::utf8Prefix(text, 30);
    return l;
  };
  const std::vector<PolicyLine> all = {
      make(1, Side::Debit, a.suppliers, cant),
      make(2, advance ? Side::Debit : Side::Credit, a.advances, advance ? anti : absolute(anti)),
      make(3, Side::Credit, a.bank, absolute(Decimal::fromCents(cant.cents() - anti.cents()))),
  };
  std::vector<PolicyLine> lines;
  for (const PolicyLine& l : all)
    if (l.account.levels[0] > 0 && l.amount.cents() != 0) lines.push_back(l);
  return lines;
}

Status checkPaymentAccounts(db::Table& cuen, const PaymentAccounts& a,
                            std::vector<Lines3>& messages, bool& complete) {
  struct Needed {
    const AccountNumber* account;
    const char* missing;
    const char* define;
  };
  const std::array<Needed, 3> needed = {{
      {&a.suppliers, "NO ENCONTRE CTA DEL PROVEEDOR", "DEBE DEFINIRSE LA CTA"},
      {&a.advances, "NO ENCONTRE CTA DEL PROVEEDOR", "DEBE DEFINIRSE LA CTA"},
      {&a.bank, "NO ENCONTRE LA CTA DEL BANCO", "DE OBRA, DEBE DEFINIRSE LA CTA"},
  }};
  complete = true;
  for (const Needed& n : needed) {
    Status st = readAccount(cuen, *n.account);
    if (!st) {
      if (st.code != err::RecordNotFound && st.code != err::NoRecord) return st;
      messages.push_back({"ERROR " + st.text, n.missing, n.define});
      complete = false;
    } else if (cuen.rec<CUE>().ULNI == "N") {
      // A parent account takes no entries of its own.
      messages.push_back({"LA CTA " + n.account->text(), "NO ES DE ULTIMO NIVEL,", n.define});
      complete = false;
    }
  }
  if (!complete)
    messages.push_back({"LA POLIZA CONTABLE NO SERA INCLUIDA",
                        "AUTOMATICAMENTE PORQUE FALTA DEFINIR",
                        "LAS CUENTAS PARA POLIZAS AUTOMATICAS"});
  return Status::success();
}

Status nextPolicyNumber(db::Table& polmes, std::int32_t& number) {
  number = 1;
  Status st = polmes.setStart(polmes.info().key("POA:NUM_KEY"));
  if (st) st = polmes.previous();
  if (st) {
    number = polmes.rec<POA>().NUM + 1;
    return st;
  }
  return st.code == err::NoRecord ? Status::success() : st.on("POLMES");
}

Status writePaymentPolicy(db::Context& ctx, const PGM& p, const PaymentAccounts& accounts,
                          std::int32_t today, std::int32_t now, WrittenPolicy& out) {
  db::Table& polmes = ctx.table("POLMES");
  db::Table& detmes = ctx.table("DETMES");
  db::Table& cuen = ctx.table("CUEN");
  out = {};
  std::int32_t number = 0;
  Status st = nextPolicyNumber(polmes, number);
  if (!st) return st;
  polmes.clear();
  POA& h = polmes.rec<POA>();
  h.NUM = number;
  h.DESC = paymentPolicyConcept(p);
  h.FECH = today;
  h.HOUS = now, h.FEUS = today;
  out.lines = paymentPolicyLines(p, accounts);
  std::int64_t counted = 0;
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
    if (st) st = rollUp(cuen, l.account, l.amount, l.side, dates::monthOf(today));
    if (!st) {
      const auto& why = kLineErrors[std::size_t(l.row - 1)];
      out.failure = {st.text, why[0], why[1]};
      return st;
    }
    // The policy's figure is its debits, as for every other policy: the
    // supplier's payment, not the payment plus the advance it applies.
    if (l.side == Side::Debit) counted += l.amount.cents();
  }
  h.CANT = Decimal::fromCents(counted).toDouble();
  if (!(st = polmes.add().on("POLMES"))) {
    out.failure = {st.text, "ERROR AL ESCRIBIR LA POLIZA", "CONTABLE"};
    return st;
  }
  out.header = h;
  return st;
}

}  // namespace velmora::accounting
