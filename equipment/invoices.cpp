#include "equipment/invoices.h"

#include <charconv>
#include <cmath>

#include "accounting/equipment_accounts.h"
#include "accounting/invoice_policy.h"
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
  // The equipment gives the invoice its front and process.
  maqu.clear();
  maqu.rec<MAQ>().CTA = f.MAQU;
  Status st = maqu.set(maqu.info().key("MAQ:CTA_KEY"), 1);
  if (st) st = maqu.next();
  if (st && maqu.rec<MAQ>().CTA != f.MAQU) st = Status::error(err::RecordNotFound, "");
  if (!st) {
    if (st.code == err::NoRecord || st.code == err::RecordNotFound)
      st = Status::error(err::RecordNotFound, db::errorText(err::RecordNotFound));
    return fail(InvoiceStep::Equipment, st.on("MAQU"), FileAction::Read);
  }
  f.FREN = maqu.rec<MAQ>().FREN;
  f.PROC = maqu.rec<MAQ>().PROC;
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

  const std::int64_t total = centsOf(f.IMPO) + centsOf(f.IVA);
  prov.clear();
  prov.rec<PRV>().CTA = f.PROV;
  if (!(st = prov.get("PRV:CTA_KEY").on("PROV")))
    return fail(InvoiceStep::Read, st, FileAction::Read);
  prov.rec<PRV>().TFAC = plus(prov.rec<PRV>().TFAC, total);
  if (!(st = prov.put().on("PROV"))) return fail(InvoiceStep::Write, st, FileAction::Change);

  // The item of the invoice: its concept on the equipment's process and
  // front. An invoice may be charged to no item of the budget.
  part.clear();
  PAR& item = part.rec<PAR>();
  item.CONC = f.CONC, item.PROC = f.PROC, item.FREN = f.FREN;
  st = part.get("PAR:CTA_KEY");
  if (st) {
    item.TEQU = plus(item.TEQU, centsOf(f.IMPO));
    if (!(st = part.put().on("PART"))) return fail(InvoiceStep::Write, st, FileAction::Change);
  } else if (st.code != err::RecordNotFound) {
    return fail(InvoiceStep::Read, st.on("PART"), FileAction::Read);
  }

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
  // Hours and price each to the cent, so the product is exact before rounding.
  return Decimal::fromCents(divRounded(centsOf(hours) * centsOf(price), 100));
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

}  // namespace velmora::equipment
