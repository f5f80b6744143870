#include "equipment/payments.h"

#include <cmath>

#include "dictionary/unit_of_work.h"
#include "framework/picture.h"

namespace velmora::equipment {

namespace {

using accounting::PaymentAccounts;

Decimal plus(Decimal a, Decimal b) { return Decimal::fromCents(a.cents() + b.cents()); }
Decimal minus(Decimal a, Decimal b) { return Decimal::fromCents(a.cents() - b.cents()); }
double add(double field, Decimal d) { return plus(money(field), d).toDouble(); }
std::string amount(Decimal d) { return formatPicture("@n-14.2", Value(d)); }

const Lines3 kBusy = {"ACTUALIZANDO ARCHIVOS EN OTRA", "TERMINAL... INTENTE NUEVAMENTE",
                      "CON Ok CONTINUA ..."};

class Posting {
 public:
  Posting(db::Context& ctx, const PaymentInput& in, PaymentOutcome& out)
      : ctx_(ctx), in_(in), out_(out) {}

  Status run();

 private:
  Status refuse(const char* field, Lines3 lines) {
    out_.step = PaymentStep::Invalid;
    out_.field = field;
    out_.messages.push_back(std::move(lines));
    return Status::error(err::ValueRefused, out_.messages.back()[0]).on("PAGM");
  }
  Status fail(PaymentStep step, Status st, FileAction action) {
    out_.step = step;
    out_.action = action;
    return st;
  }
  Status check();
  Status readWork(OBR& work);
  Status post(const OBR& work, bool withPolicy);

  db::Context& ctx_;
  const PaymentInput& in_;
  PaymentOutcome& out_;
  PGM p_{};
  accounting::WrittenPolicy failed_;
  bool policyFailed_ = false;
};

// What can be told from the typed payment alone, before any file is locked.
Status Posting::check() {
  if (p_.FECH == 0)
    return refuse("PGM:FECH",
                  {"FALTA UN DATO NECESARIO:", "FECHA", "CAPTURELO PARA CONTINUAR ...."});
  if (p_.BANK == 0)
    return refuse("PGM:BANK",
                  {"FALTA UN DATO NECESARIO:", "BANCO", "CAPTURELO PARA CONTINUAR ...."});
  const Decimal cant = money(p_.CANT), anti = money(p_.ANTI);
  if (cant.cents() < 0 || anti.cents() < 0)
    return refuse(cant.cents() < 0 ? "PGM:CANT" : "PGM:ANTI",
                  {"NO SE ACEPTAN CANTIDADES", "NEGATIVAS EN UN PAGO", "CON Ok CONTINUA ..."});
  if (p_.TIPO == "A") {
    if (anti.cents() == 0)
      return refuse("PGM:ANTI",
                    {"FALTA UN DATO NECESARIO:", "ANTICIPO", "CAPTURELO PARA CONTINUAR ...."});
    return Status::success();
  }
  if (cant.cents() == 0)
    return refuse("PGM:CANT",
                  {"FALTA UN DATO NECESARIO:", "IMPORTE", "CAPTURELO PARA CONTINUAR ...."});
  if (p_.FACT == 0)
    return refuse("PGM:FACT",
                  {"FALTA UN DATO NECESARIO:", "FACTURA", "CAPTURELO PARA CONTINUAR ...."});
  // The advance covers part of the amount: more would pay out negative cash.
  if (anti > cant)
    return refuse("PGM:ANTI", {"EL ANTICIPO APLICADO ES MAYOR", "QUE EL IMPORTE DEL PAGO",
                               "CORRIJA EL ANTICIPO ...."});
  return Status::success();
}

Status Posting::readWork(OBR& work) {
  db::Table& obra = ctx_.table("OBRA");
  const bool wasOpen = obra.isOpen();
  Status st = wasOpen ? Status::success() : obra.open();
  if (st) {
    obra.clear();
    obra.rec<OBR>().CTA = in_.work;
    st = obra.get("OBR:CTA_KEY").on("OBRA");
    if (st) work = obra.rec<OBR>();
  }
  if (!wasOpen) obra.close();
  return st;
}

Status Posting::post(const OBR& work, bool withPolicy) {
  db::Table& pagm = ctx_.table("PAGM");
  db::Table& prov = ctx_.table("PROV");
  db::Table& fama = ctx_.table("FAMA");
  db::Table& banc = ctx_.table("BANC");
  db::Table& control = ctx_.table("CONTROL");
  std::vector<db::Table*> tables = {&pagm, &prov, &fama, &banc, &control};
  const bool policyOn = withPolicy && work.POAU[1] != 0;
  if (policyOn)
    for (const char* label : {"CUEN", "POLMES", "DETMES"}) tables.push_back(&ctx_.table(label));
  db::Transaction tx(ctx_, tables);
  if (!tx.status()) return fail(PaymentStep::Begin, tx.status(), FileAction::Transaction);

  // The flag is read inside the write transaction: no other station can
  // take it between the test and the writes.
  Status st = control.setStart(nullptr);
  if (st) st = control.next();
  if (!st || control.rec<CTL>().OCUP == 1) {
    out_.step = PaymentStep::Busy;
    out_.messages.push_back(kBusy);
    return Status::error(err::ValueRefused, kBusy[0]).on("CONTROL");
  }

  prov.clear();
  prov.rec<PRV>().CTA = p_.PROV;
  if (!(st = prov.get("PRV:CTA_KEY").on("PROV")))
    return refuse("PGM:PROV", {"NO ENCONTRE AL PROVEEDOR", "No " + std::to_string(p_.PROV),
                               "VERIFIQUE SI FUE DADO DE ALTA"});
  banc.clear();
  banc.rec<BAN>().CTA = p_.BANK;
  if (!(st = banc.get("BAN:KEYCTA").on("BANC")))
    return refuse("PGM:BANK",
                  {"NO ENCONTRE EL BANCO", "VERIFIQUE SI FUE DADO DE ALTA", "CON Ok CONTINUA ..."});
  PRV& s = prov.rec<PRV>();
  const Decimal cant = money(p_.CANT), anti = money(p_.ANTI);

  if (p_.TIPO == "A") {
    s.ANTI = add(s.ANTI, anti);
  } else {
    fama.clear();
    fama.rec<FAM>().CTA = p_.FACT;
    st = fama.get("FAM:CTA_KEY").on("FAMA");
    if (!st || fama.rec<FAM>().PROV != p_.PROV)
      return refuse("PGM:FACT", {"LA FACTURA No " + std::to_string(p_.FACT),
                                 "NO ES DE ESTE PROVEEDOR", "VERIFIQUE LA FACTURA ...."});
    // Read now, inside the transaction: a payment another station just
    // posted has lowered it already.
    const Decimal balance = invoiceBalance(fama.rec<FAM>());
    if (cant > balance) {
      out_.cut = balance.cents() > 0 ? balance : Decimal();
      out_.wasCut = true;
      return refuse("PGM:CANT",
                    {"SE ESTA TRATANDO DE PAGAR", "UNA CANTIDAD MAYOR AL", "SALDO DE LA FACTURA"});
    }
    const Decimal left = outstandingAdvances(s);
    if (anti > left)
      return refuse("PGM:ANTI", {"EL ANTICIPO APLICADO ES MAYOR", "AL SALDO DE ANTICIPOS DEL",
                                 "PROVEEDOR:" + amount(left)});
    s.AAMO = add(s.AAMO, anti);
    s.TPAG = add(s.TPAG, cant);
    FAM& f = fama.rec<FAM>();
    f.PAGO = add(f.PAGO, cant);
    if (!(st = fama.put().on("FAMA"))) return fail(PaymentStep::Write, st, FileAction::Change);
  }
  if (!(st = prov.put().on("PROV"))) return fail(PaymentStep::Write, st, FileAction::Change);

  if (policyOn) {
    const PaymentAccounts accounts = accounting::paymentAccounts(work, banc.rec<BAN>());
    bool complete = false;
    st = accounting::checkPaymentAccounts(ctx_.table("CUEN"), accounts, out_.messages, complete);
    if (!st) return fail(PaymentStep::Read, st, FileAction::Read);
    if (complete) {
      st = accounting::writePaymentPolicy(ctx_, p_, accounts, in_.today, in_.now, out_.written);
      if (!st) {
        // Rolled back with everything else; the caller posts again without it.
        policyFailed_ = true;
        failed_ = out_.written;
        return fail(PaymentStep::Write, st, FileAction::Add);
      }
      BAN& b = banc.rec<BAN>();
      b.SALD = minus(money(b.SALD), cashPaid(p_)).toDouble();
      if (!(st = banc.put().on("BANC"))) return fail(PaymentStep::Write, st, FileAction::Change);
      out_.policy = true;
    }
  }

  if (in_.holdLock) {
    control.rec<CTL>().OCUP = 1;
    if (!(st = control.put().on("CONTROL")))
      return fail(PaymentStep::Write, st, FileAction::Change);
  }
  p_.USUA = in_.user, p_.ACFE = in_.today, p_.ACHO = in_.now;
  pagm.clear();
  pagm.rec<PGM>() = p_;
  if (!(st = pagm.add().on("PAGM"))) return fail(PaymentStep::Write, st, FileAction::Add);
  out_.step = PaymentStep::Commit;
  if (!(st = tx.commit())) return fail(PaymentStep::Commit, st, FileAction::Transaction);
  out_.payment = p_;
  out_.step = PaymentStep::Done;
  return st;
}

Status Posting::run() {
  p_ = in_.payment;
  if (p_.TIPO != "A") p_.TIPO = "F";
  if (p_.TIPO == "A") p_.CANT = 0, p_.FACT = 0;
  if (Status st = check(); !st) return st;
  OBR work{};
  if (Status st = readWork(work); !st) return fail(PaymentStep::Read, st, FileAction::Read);
  Status st = post(work, true);
  if (st || !policyFailed_) return st;
  // A policy that cannot be written is left out whole; the payment stands.
  const std::vector<Lines3> told = out_.messages;
  out_ = {};
  out_.messages = told;
  out_.messages.push_back(failed_.failure);
  out_.messages.push_back({"LA POLIZA CONTABLE NO SE ESCRIBIO;", "EL PAGO QUEDA REGISTRADO SIN",
                           "POLIZA NI CAMBIO EN EL BANCO"});
  return post(work, false);
}

}  // namespace

Decimal money(double v) {
  if (!std::isfinite(v)) return Decimal();
  const std::int64_t micro = std::llround(v * 1e6);
  return Decimal::fromCents((micro + (micro >= 0 ? 5000 : -5000)) / 10000);
}

Decimal cashPaid(const PGM& p) {
  return accounting::isAdvance(p) || p.TIPO == "A" ? money(p.ANTI)
                                                   : minus(money(p.CANT), money(p.ANTI));
}

Decimal invoiceBalance(const FAM& f) {
  return minus(plus(money(f.IMPO), money(f.IVA)), money(f.PAGO));
}

Decimal outstandingAdvances(const PRV& p) { return minus(money(p.ANTI), money(p.AAMO)); }

Status paymentSums(db::Table& pagm, std::int32_t supplier, Decimal& paid, Decimal& advances) {
  std::int64_t cant = 0, anti = 0;
  pagm.clear();
  pagm.rec<PGM>().PROV = supplier;
  Status st = pagm.set(pagm.info().key("PGM:NUM_KEY"), 1);
  while (st && (st = pagm.next()) && pagm.rec<PGM>().PROV == supplier) {
    const PGM& p = pagm.rec<PGM>();
    cant += money(p.CANT).cents();
    anti += p.FACT == 0 ? -money(p.ANTI).cents() : money(p.ANTI).cents();
  }
  paid = Decimal::fromCents(cant);
  advances = Decimal::fromCents(anti);
  return st || st.code == err::NoRecord ? Status::success() : st.on("PAGM");
}

Status postPayment(db::Context& ctx, const PaymentInput& input, PaymentOutcome* outcome) {
  PaymentOutcome ignored;
  PaymentOutcome& out = outcome ? *outcome : ignored;
  out = {};
  return Posting(ctx, input, out).run();
}

}  // namespace velmora::equipment
