#include "equipment/invoices.h"

#include <charconv>
#include <cmath>
#include <map>
#include <tuple>

#include "accounting/equipment_accounts.h"
#include "accounting/invoice_policy.h"
#include "dictionary/dates.h"
#include "dictionary/ratio.h"
#include "dictionary/unit_of_work.h"
#include "framework/settings.h"

namespace velmora::equipment {

namespace {

// Half away from zero, as a figure on paper is rounded.
std::int64_t divRounded(std::int64_t n, std::int64_t d) {
  return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d);
}

std::int64_t centsOf(double v) { return accounting::cents(v).cents(); }
double plus(double total, std::int64_t cents) {
  return Decimal::fromCents(centsOf(total) + cents).toDouble();
}

Status readWork(db::Context& ctx, const std::string& code, OBR& work) {
  db::Table& obra = ctx.table("OBRA");
  const bool wasOpen = obra.isOpen();
  Status st = wasOpen ? Status::success() : obra.open();
  if (st) {
    obra.clear();
    obra.rec<OBR>().CTA = code;
    st = obra.get("OBR:CTA_KEY").on("OBRA");
    if (st) work = obra.rec<OBR>();
  }
  if (!wasOpen) obra.close();
  return st;
}

Status recordNotFound(std::string_view table) {
  return Status::error(err::RecordNotFound, db::errorText(err::RecordNotFound)).on(table);
}

Status refusal(InvoiceOutcome& out, InvoiceStep step, Lines3 why) {
  out.step = step;
  out.action = FileAction::Change;
  out.messages.push_back(why);
  return Status::error(step == InvoiceStep::Changed ? err::RecordChanged : err::ValueRefused,
                       why[0])
      .on("FAMA");
}

std::string number(std::int32_t n) { return std::to_string(n); }

// An invoice with payments keeps what they were made against.
const Lines3 kPaidChange = {"FACTURA CON PAGOS: NO CAMBIAN FOLIO,",
                            "PROVEEDOR, IMPORTE, IVA, FRENTE NI",
                            "PARTIDA; CORRIJA CON FACTURA NEGATIVA"};
Lines3 paidDelete(std::int32_t folio) {
  return {"LA FACTURA " + number(folio) + " TIENE PAGOS Y NO SE", "PUEDE BORRAR; CANCELELA CON UNA",
          "FACTURA DE IMPORTE NEGATIVO ...."};
}
// A posted policy stays in the ledger: the invoice keeps the figures it says.
Lines3 postedChange(std::int32_t policy) {
  return {"LA FACTURA TIENE LA POLIZA " + number(policy) + ":",
          "NO CAMBIAN SU FOLIO, IMPORTE NI IVA;", "CANCELELA CON FACTURA NEGATIVA ...."};
}
Lines3 postedDelete(std::int32_t policy) {
  return {"LA FACTURA TIENE LA POLIZA " + number(policy) + ",", "NO SE PUEDE BORRAR; CANCELELA CON",
          "UNA FACTURA DE IMPORTE NEGATIVO ...."};
}
Lines3 changedElsewhere(std::int32_t folio, bool gone) {
  return {"LA FACTURA " + number(folio) + (gone ? " YA NO EXISTE:" : " LA CAMBIO"),
          gone ? "LA BORRO OTRA TERMINAL MIENTRAS" : "OTRA TERMINAL MIENTRAS LA EDITABA;",
          gone ? "LA EDITABA ...." : "CIERRE Y ABRALA DE NUEVO ...."};
}

// The totals an invoice moves, each by its record: the supplier's invoiced
// total, the equipment cost of the budget item, and the hours and amount
// invoiced of the equipment. A delete takes the invoice away, a change
// takes the old one away and adds the new; what nets to nothing is not
// written.
class Moves {
 public:
  void add(const FAM& f, int sign) {
    const std::int64_t amount = sign * centsOf(f.IMPO);
    suppliers_[f.PROV] += amount + sign * centsOf(f.IVA);
    items_[{f.CONC, f.PROC, f.FREN}] += amount;
    auto& e = equipment_[{f.MAQU, f.FREN}];
    e.first += sign * centsOf(f.CANT);  // hours, to the hundredth
    e.second += amount;
  }

  Status write(db::Context& ctx, std::int32_t user, std::int32_t today, std::int32_t now,
               InvoiceOutcome& out) const {
    db::Table& prov = ctx.table("PROV");
    db::Table& part = ctx.table("PART");
    db::Table& maqu = ctx.table("MAQU");
    Status st;
    for (const auto& [supplier, cents] : suppliers_) {
      if (cents == 0) continue;
      prov.clear();
      prov.rec<PRV>().CTA = supplier;
      if (!(st = prov.get("PRV:CTA_KEY").on("PROV"))) return failed(out, InvoiceStep::Read, st);
      prov.rec<PRV>().TFAC = plus(prov.rec<PRV>().TFAC, cents);
      if (!(st = prov.put().on("PROV"))) return failed(out, InvoiceStep::Write, st);
    }
    // An invoice may be charged to no item of the budget.
    for (const auto& [key, cents] : items_) {
      if (cents == 0) continue;
      part.clear();
      PAR& item = part.rec<PAR>();
      std::tie(item.CONC, item.PROC, item.FREN) = key;
      st = part.get("PAR:CTA_KEY");
      if (!st && st.code == err::RecordNotFound) continue;
      if (!st) return failed(out, InvoiceStep::Read, st.on("PART"));
      item.TEQU = plus(item.TEQU, cents);
      if (!(st = part.put().on("PART"))) return failed(out, InvoiceStep::Write, st);
    }
    // Equipment taken off the catalogue since keeps nothing to move.
    for (const auto& [key, moved] : equipment_) {
      if (moved.first == 0 && moved.second == 0) continue;
      maqu.clear();
      maqu.rec<MAQ>().CTA = key.first;
      maqu.rec<MAQ>().FREN = key.second;
      st = maqu.get("MAQ:CTA_KEY");
      if (!st && st.code == err::RecordNotFound) continue;
      if (!st) return failed(out, InvoiceStep::Read, st.on("MAQU"));
      MAQ& m = maqu.rec<MAQ>();
      m.RECI = plus(m.RECI, moved.first);
      m.IMPO = plus(m.IMPO, moved.second);
      m.USUA = user, m.ACFE = today, m.ACHO = now;
      if (!(st = maqu.put().on("MAQU"))) return failed(out, InvoiceStep::Write, st);
    }
    return Status::success();
  }

 private:
  static Status failed(InvoiceOutcome& out, InvoiceStep step, Status st) {
    out.step = step;
    out.action = step == InvoiceStep::Read ? FileAction::Read : FileAction::Change;
    return st;
  }

  std::map<std::int32_t, std::int64_t> suppliers_;
  std::map<std::tuple<double, std::int32_t, std::int32_t>, std::int64_t> items_;
  std::map<std::pair<std::int32_t, std::int32_t>, std::pair<std::int64_t, std::int64_t>> equipment_;
};

// True when a payment of PAGM names the invoice, whatever FAM:PAGO says.
Status hasPayments(db::Table& pagm, const FAM& f, bool& paid) {
  paid = centsOf(f.PAGO) != 0;
  if (paid) return Status::success();
  pagm.clear();
  pagm.rec<PGM>().PROV = f.PROV;
  pagm.rec<PGM>().FACT = f.CTA;
  Status st = pagm.get("PGM:NUM_KEY");
  paid = bool(st);
  return st || st.code == err::RecordNotFound ? Status::success() : st.on("PAGM");
}

// The invoice of a folio as it is on file now.
Status readInvoice(db::Table& fama, std::int32_t folio) {
  fama.clear();
  fama.rec<FAM>().CTA = folio;
  return fama.get("FAM:CTA_KEY").on("FAMA");
}

class Saving {
 public:
  Saving(db::Context& ctx, const InvoiceInput& in, const OBR& work, InvoiceOutcome& out)
      : ctx_(ctx), in_(in), work_(work), out_(out) {}

  Status run(bool withPolicy);

 private:
  Status fail(InvoiceStep step, Status st, FileAction action) {
    out_.step = step;
    out_.action = action;
    return st;
  }

  db::Context& ctx_;
  const InvoiceInput& in_;
  const OBR& work_;
  InvoiceOutcome& out_;
};

Status Saving::run(bool withPolicy) {
  db::Table& fama = ctx_.table("FAMA");
  db::Table& maqu = ctx_.table("MAQU");
  db::Table& prov = ctx_.table("PROV");
  db::Table& part = ctx_.table("PART");
  std::vector<db::Table*> tables = {&fama, &maqu, &prov, &part};
  withPolicy = withPolicy && work_.POAU[1] != 0;
  if (withPolicy)
    for (const char* label : {"POLMES", "DETMES", "CUEN"}) tables.push_back(&ctx_.table(label));
  db::Transaction tx(ctx_, tables);
  if (!tx.status()) return fail(InvoiceStep::Begin, tx.status(), FileAction::Transaction);

  FAM f = in_.invoice;
  // The equipment of the front typed gives the invoice its process.
  Status st = findInvoiceEquipment(maqu, f.MAQU, f.FREN);
  if (!st) {
    if (st.code == err::RecordNotFound) out_.messages.push_back(equipmentNotFound(f.MAQU, f.FREN));
    return fail(InvoiceStep::Equipment, st, FileAction::Read);
  }
  f.FREN = maqu.rec<MAQ>().FREN;
  f.PROC = maqu.rec<MAQ>().PROC;
  f.POLI = 0;
  f.USUA = in_.user, f.ACFE = in_.today, f.ACHO = in_.now;

  // The folio first: a used one writes nothing at all.
  fama.clear();
  fama.rec<FAM>() = f;
  if (!(st = fama.add().on("FAMA")))
    return fail(st.code == err::DuplicateKey ? InvoiceStep::Duplicate : InvoiceStep::Write, st,
                FileAction::Add);
  if (in_.reservation && !(st = fama.releaseReservation(in_.reservation).on("FAMA")))
    return fail(InvoiceStep::Write, st, FileAction::Add);
  out_.saved = fama.rec<FAM>();

  Moves moves;
  moves.add(f, 1);
  if (!(st = moves.write(ctx_, in_.user, in_.today, in_.now, out_))) return st;

  out_.policy = work_.POAU[1] == 0 ? PolicyState::Off : PolicyState::None;
  if (withPolicy) {
    accounting::InvoicePolicyOutcome policy;
    st = accounting::writeInvoicePolicy(ctx_, f, work_, in_.today, in_.now, &policy);
    out_.messages = policy.messages;
    if (!st) {
      out_.policy = PolicyState::Failed;
      if (!policy.failure[0].empty() || !policy.failure[1].empty())
        out_.messages.push_back(policy.failure);
      else
        out_.messages.push_back({st.text, "NO SE PUDO ESCRIBIR LA", "POLIZA DE LA FACTURA"});
      return fail(InvoiceStep::Write, st, FileAction::Add);
    }
    if (policy.result == accounting::InvoicePolicyResult::Missing) {
      out_.policy = PolicyState::Missing;
    } else if (policy.result == accounting::InvoicePolicyResult::Written) {
      out_.policy = PolicyState::Written;
      out_.policyNumber = policy.policy.NUM;
      // The invoice remembers its policy: a change or a delete must not
      // leave the ledger saying otherwise.
      fama.rec<FAM>().POLI = policy.policy.NUM;
      if (!(st = fama.put().on("FAMA"))) return fail(InvoiceStep::Write, st, FileAction::Change);
      out_.saved = fama.rec<FAM>();
    }
  }
  out_.step = InvoiceStep::Commit;
  if (!(st = tx.commit())) return fail(InvoiceStep::Commit, st, FileAction::Transaction);
  out_.step = InvoiceStep::Done;
  return st;
}

}  // namespace

std::int64_t taxRate(const std::filesystem::path& programFolder) {
  const std::string text =
      SettingsFile(programFolder / "VELMORA.INI").get("Facturas", "IVA").value_or("");
  double rate = -1;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, rate);
  if (ec != std::errc() || p != end || !std::isfinite(rate) || rate < 0 || rate > 1)
    return kDefaultTaxRate;
  return std::llround(rate * 1e6);
}

Decimal proposedTax(Decimal amount, std::int64_t rate) {
  return Decimal::fromCents(divRounded(amount.cents() * rate, 1000000));
}

Decimal hoursAmount(double hours, double price) {
  // A price of 95.125 an hour is worth its thousandths: nothing is rounded
  // before the product.
  return (Ratio::fromDouble(hours) * Ratio::fromDouble(price)).toDecimal();
}

std::string taxRateCaption(std::int64_t rate) {
  std::string percent = std::to_string(rate / 10000);
  if (std::int64_t rest = rate % 10000; rest != 0) {
    std::string digits = std::to_string(rest + 10000).substr(1);
    while (digits.back() == '0') digits.pop_back();
    percent += "." + digits;
  }
  return "IVA propuesto: " + percent + " %";
}

Status findInvoiceEquipment(db::Table& maqu, std::int32_t number, std::int32_t front) {
  maqu.clear();
  if (number == 0) return recordNotFound("MAQU");
  MAQ& m = maqu.rec<MAQ>();
  m.CTA = number;
  if (front != 0) {
    m.FREN = front;
    Status st = maqu.get("MAQ:CTA_KEY");
    if (!st) maqu.clear();
    return st || st.code != err::RecordNotFound ? st.on("MAQU") : recordNotFound("MAQU");
  }
  Status st = maqu.set(maqu.info().key("MAQ:CTA_KEY"), 1);
  if (st) st = maqu.next();
  if (st && maqu.rec<MAQ>().CTA == number) return st;
  maqu.clear();
  return st || st.code == err::NoRecord ? recordNotFound("MAQU") : st.on("MAQU");
}

Lines3 equipmentNotFound(std::int32_t number, std::int32_t front) {
  if (front == 0)
    return {"NO ENCONTRE EL EQUIPO", number ? std::to_string(number) + " EN EL CATALOGO," : "",
            "ELIJALO DE LA LISTA ...."};
  return {"NO ENCONTRE EL EQUIPO " + std::to_string(number),
          "EN EL FRENTE " + std::to_string(front) + " DEL CATALOGO:",
          "CORRIJA EL FRENTE O ELIJA EL EQUIPO"};
}

std::string missingInvoiceField(const FAM& f) {
  if (f.CTA == 0) return "FAM:CTA";
  if (f.FACT == 0) return "FAM:FACT";
  if (f.FECH == 0) return "FAM:FECH";
  if (f.PROV == 0) return "FAM:PROV";
  if (f.AUTO == 0) return "FAM:AUTO";
  if (f.MAQU == 0) return "FAM:MAQU";
  if (centsOf(f.IMPO) == 0) return "FAM:IMPO";
  return {};
}

Status saveInvoice(db::Context& ctx, const InvoiceInput& in, InvoiceOutcome* outcome) {
  InvoiceOutcome ignored;
  InvoiceOutcome& out = outcome ? *outcome : ignored;
  out = {};
  if (std::string field = missingInvoiceField(in.invoice); !field.empty()) {
    out.step = InvoiceStep::Missing;
    out.field = field;
    return Status::error(err::ValueRefused, "Falta " + field).on("FAMA");
  }
  OBR work{};
  if (Status st = readWork(ctx, in.work, work); !st) {
    out.step = InvoiceStep::Read;
    out.action = FileAction::Read;
    return st;
  }
  Status st = Saving(ctx, in, work, out).run(true);
  if (st || out.policy != PolicyState::Failed) return st;
  // The policy's part went with the rollback: the invoice is saved alone.
  std::vector<Lines3> told = out.messages;
  st = Saving(ctx, in, work, out).run(false);
  told.push_back({"LA POLIZA CONTABLE NO SERA INCLUIDA", "NO SE PUDO ESCRIBIR; LA FACTURA",
                  st ? "QUEDA REGISTRADA SIN POLIZA" : "TAMPOCO SE PUDO GUARDAR"});
  out.messages = told;
  if (st) out.policy = PolicyState::Failed;
  return st;
}

Status changeInvoice(db::Context& ctx, const InvoiceChange& in, InvoiceOutcome* outcome) {
  InvoiceOutcome ignored;
  InvoiceOutcome& out = outcome ? *outcome : ignored;
  out = {};
  if (std::string field = missingInvoiceField(in.invoice); !field.empty()) {
    out.step = InvoiceStep::Missing;
    out.field = field;
    return Status::error(err::ValueRefused, "Falta " + field).on("FAMA");
  }
  db::Table& fama = ctx.table("FAMA");
  db::Table& pagm = ctx.table("PAGM");
  db::Table& maqu = ctx.table("MAQU");
  std::vector<db::Table*> tables = {&fama, &pagm, &maqu, &ctx.table("PROV"), &ctx.table("PART")};
  db::Transaction tx(ctx, tables);
  if (!tx.status()) {
    out.step = InvoiceStep::Begin;
    return tx.status();
  }
  // The invoice as it is now must be the one the user read.
  Status st = readInvoice(fama, in.read.CTA);
  if (!st && st.code != err::RecordNotFound) {
    out.step = InvoiceStep::Read;
    out.action = FileAction::Read;
    return st;
  }
  Record read(FAM::info());
  read.as<FAM>() = in.read;
  if (!st || !(fama.buffer() == read))
    return refusal(out, InvoiceStep::Changed, changedElsewhere(in.read.CTA, !st));
  const FAM old = fama.rec<FAM>();
  const std::int64_t position = fama.position();

  FAM f = in.invoice;
  if (!(st = findInvoiceEquipment(maqu, f.MAQU, f.FREN))) {
    out.step = InvoiceStep::Equipment;
    out.action = FileAction::Read;
    if (st.code == err::RecordNotFound) out.messages.push_back(equipmentNotFound(f.MAQU, f.FREN));
    return st;
  }
  f.FREN = maqu.rec<MAQ>().FREN;
  f.PROC = maqu.rec<MAQ>().PROC;
  // What the payments and the policy keep, the form does not edit.
  f.PAGO = old.PAGO, f.POLI = old.POLI, f.CHEC = old.CHEC, f.BANK = old.BANK, f.TIPO = old.TIPO;
  f.USUA = in.user, f.ACFE = in.today, f.ACHO = in.now;

  const bool amounts = f.CTA != old.CTA || centsOf(f.IMPO) != centsOf(old.IMPO) ||
                       centsOf(f.IVA) != centsOf(old.IVA);
  const bool money = amounts || f.PROV != old.PROV || f.FREN != old.FREN || f.PROC != old.PROC ||
                     f.CONC != old.CONC;
  bool paid = false;
  if (money && !(st = hasPayments(pagm, old, paid))) {
    out.step = InvoiceStep::Read;
    out.action = FileAction::Read;
    return st;
  }
  if (paid) return refusal(out, InvoiceStep::Paid, kPaidChange);
  if (amounts && old.POLI != 0) return refusal(out, InvoiceStep::Posted, postedChange(old.POLI));

  if (!(st = fama.getByPosition(position).on("FAMA"))) {
    out.step = InvoiceStep::Read;
    out.action = FileAction::Read;
    return st;
  }
  fama.rec<FAM>() = f;
  if (!(st = fama.put().on("FAMA"))) {
    out.step = st.code == err::DuplicateKey ? InvoiceStep::Duplicate : InvoiceStep::Write;
    out.action = FileAction::Change;
    return st;
  }
  out.saved = fama.rec<FAM>();
  Moves moves;
  moves.add(old, -1);
  moves.add(f, 1);
  if (!(st = moves.write(ctx, in.user, in.today, in.now, out))) return st;
  out.step = InvoiceStep::Commit;
  if (!(st = tx.commit())) {
    out.action = FileAction::Transaction;
    return st;
  }
  out.step = InvoiceStep::Done;
  return st;
}

Status deleteInvoice(db::Context& ctx, std::int32_t folio, std::int32_t user,
                     InvoiceOutcome* outcome) {
  InvoiceOutcome ignored;
  InvoiceOutcome& out = outcome ? *outcome : ignored;
  out = {};
  db::Table& fama = ctx.table("FAMA");
  db::Table& pagm = ctx.table("PAGM");
  std::vector<db::Table*> tables = {&fama, &pagm, &ctx.table("MAQU"), &ctx.table("PROV"),
                                    &ctx.table("PART")};
  db::Transaction tx(ctx, tables);
  if (!tx.status()) {
    out.step = InvoiceStep::Begin;
    return tx.status();
  }
  Status st = readInvoice(fama, folio);
  if (st.code == err::RecordNotFound)
    return refusal(out, InvoiceStep::Changed, changedElsewhere(folio, true));
  bool paid = false;
  if (st) st = hasPayments(pagm, fama.rec<FAM>(), paid);
  if (!st) {
    out.step = InvoiceStep::Read;
    out.action = FileAction::Read;
    return st;
  }
  const FAM old = fama.rec<FAM>();
  if (paid) return refusal(out, InvoiceStep::Paid, paidDelete(folio));
  if (old.POLI != 0) return refusal(out, InvoiceStep::Posted, postedDelete(old.POLI));
  if (!(st = fama.remove().on("FAMA"))) {
    out.step = InvoiceStep::Write;
    out.action = FileAction::Delete;
    return st;
  }
  out.saved = old;
  Moves moves;
  moves.add(old, -1);
  if (!(st = moves.write(ctx, user, dates::today(), dates::clockTime(), out))) return st;
  out.step = InvoiceStep::Commit;
  if (!(st = tx.commit())) {
    out.action = FileAction::Transaction;
    return st;
  }
  out.step = InvoiceStep::Done;
  return st;
}

}  // namespace velmora::equipment
