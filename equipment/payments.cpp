#include "equipment/payments.h"

#include <cctype>
#include <cmath>

#include "dictionary/dates.h"
#include "dictionary/posting_flag.h"
#include "dictionary/unit_of_work.h"
#include "dictionary/work_files.h"
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

// Reads the control record inside the caller's write transaction: false,
// with the clerk told, while another running station posts.
bool refuseWhileBusy(db::Table& control, PaymentOutcome& out, Status& st) {
  bool busy = false;
  db::Table::FlagHolder holder;
  st = db::readPostingFlag(control, busy, holder);
  if (st && !busy) return true;
  out.step = PaymentStep::Busy;
  out.messages.push_back(busy ? db::postingBusyLines(holder) : kBusy);
  st = Status::error(err::ValueRefused, kBusy[0]).on("CONTROL");
  return false;
}

Status refuse(PaymentOutcome& out, const char* field, Lines3 lines) {
  out.step = PaymentStep::Invalid;
  out.field = field;
  out.messages.push_back(std::move(lines));
  return Status::error(err::ValueRefused, out.messages.back()[0]).on("PAGM");
}

// An invoice payment applied to its invoice and to the supplier's totals,
// inside the caller's transaction, on figures read there: refused when the
// invoice is another supplier's, the amount passes its balance or the advance
// applied passes what the supplier has outstanding.
Status payInvoice(db::Table& fama, PRV& s, const PGM& p, PaymentOutcome& out) {
  const Decimal cant = money(p.CANT), anti = money(p.ANTI);
  fama.clear();
  fama.rec<FAM>().CTA = p.FACT;
  Status st = fama.get("FAM:CTA_KEY").on("FAMA");
  if (!st || fama.rec<FAM>().PROV != p.PROV)
    return refuse(out, "PGM:FACT",
                  {"LA FACTURA No " + std::to_string(p.FACT), "NO ES DE ESTE PROVEEDOR",
                   "VERIFIQUE LA FACTURA ...."});
  // A payment another station just posted has lowered it already.
  const Decimal balance = invoiceBalance(fama.rec<FAM>());
  if (cant > balance) {
    out.cut = balance.cents() > 0 ? balance : Decimal();
    out.wasCut = true;
    return refuse(out, "PGM:CANT",
                  {"SE ESTA TRATANDO DE PAGAR", "UNA CANTIDAD MAYOR AL", "SALDO DE LA FACTURA"});
  }
  const Decimal left = outstandingAdvances(s);
  if (anti > left)
    return refuse(out, "PGM:ANTI",
                  {"EL ANTICIPO APLICADO ES MAYOR", "AL SALDO DE ANTICIPOS DEL",
                   "PROVEEDOR:" + amount(left)});
  s.AAMO = add(s.AAMO, anti);
  s.TPAG = add(s.TPAG, cant);
  FAM& f = fama.rec<FAM>();
  f.PAGO = add(f.PAGO, cant);
  if (!(st = fama.put().on("FAMA"))) {
    out.step = PaymentStep::Write;
    out.action = FileAction::Change;
  }
  return st;
}

// What can be told from the typed payment alone, before any file is locked.
Status checkTyped(const PGM& p, PaymentOutcome& out) {
  auto refuse = [&out](const char* field, Lines3 lines) {
    return equipment::refuse(out, field, std::move(lines));
  };
  if (p.FECH == 0)
    return refuse("PGM:FECH",
                  {"FALTA UN DATO NECESARIO:", "FECHA", "CAPTURELO PARA CONTINUAR ...."});
  if (p.BANK == 0)
    return refuse("PGM:BANK",
                  {"FALTA UN DATO NECESARIO:", "BANCO", "CAPTURELO PARA CONTINUAR ...."});
  const Decimal cant = money(p.CANT), anti = money(p.ANTI);
  if (cant.cents() < 0 || anti.cents() < 0)
    return refuse(cant.cents() < 0 ? "PGM:CANT" : "PGM:ANTI",
                  {"NO SE ACEPTAN CANTIDADES", "NEGATIVAS EN UN PAGO", "CON Ok CONTINUA ..."});
  if (p.TIPO == "A") {
    if (anti.cents() == 0)
      return refuse("PGM:ANTI",
                    {"FALTA UN DATO NECESARIO:", "ANTICIPO", "CAPTURELO PARA CONTINUAR ...."});
    return Status::success();
  }
  if (cant.cents() == 0)
    return refuse("PGM:CANT",
                  {"FALTA UN DATO NECESARIO:", "IMPORTE", "CAPTURELO PARA CONTINUAR ...."});
  if (p.FACT == 0)
    return refuse("PGM:FACT",
                  {"FALTA UN DATO NECESARIO:", "FACTURA", "CAPTURELO PARA CONTINUAR ...."});
  // The advance covers part of the amount: more would pay out negative cash.
  if (anti > cant)
    return refuse("PGM:ANTI", {"EL ANTICIPO APLICADO ES MAYOR", "QUE EL IMPORTE DEL PAGO",
                               "CORRIJA EL ANTICIPO ...."});
  return Status::success();
}

// Blank is an invoice payment; an advance pays no invoice.
PGM normalised(PGM p) {
  if (p.TIPO != "A") p.TIPO = "F";
  if (p.TIPO == "A") p.CANT = 0, p.FACT = 0;
  return p;
}

class Posting {
 public:
  Posting(db::Context& ctx, const PaymentInput& in, PaymentOutcome& out)
      : ctx_(ctx), in_(in), out_(out) {}

  Status run();

 private:
  Status refuse(const char* field, Lines3 lines) {
    return equipment::refuse(out_, field, std::move(lines));
  }
  Status fail(PaymentStep step, Status st, FileAction action) {
    out_.step = step;
    out_.action = action;
    return st;
  }
  Status readWork(OBR& work);
  Status post(const OBR& work, bool withPolicy);

  db::Context& ctx_;
  const PaymentInput& in_;
  PaymentOutcome& out_;
  PGM p_{};
  accounting::WrittenPolicy failed_;
  bool policyFailed_ = false;
};

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
  Status st;
  if (!refuseWhileBusy(control, out_, st)) return st;

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
  if (p_.TIPO == "A") {
    s.ANTI = add(s.ANTI, money(p_.ANTI));
  } else if (!(st = payInvoice(fama, s, p_, out_))) {
    return st;
  }
  if (!(st = prov.put().on("PROV"))) return fail(PaymentStep::Write, st, FileAction::Change);

  if (policyOn) {
    const PaymentAccounts accounts = accounting::paymentAccounts(work, banc.rec<BAN>());
    bool complete = false;
    st = accounting::holdAccounts(ctx_.table("CUEN"),
                                  {accounts.suppliers, accounts.advances, accounts.bank});
    if (st)
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
    if (!(st = db::takePostingFlag(control, in_.user).on("CONTROL")))
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
  p_ = normalised(in_.payment);
  if (Status st = checkTyped(p_, out_); !st) return st;
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

// The posting's stamp month names the policy file that holds its policy
// ("POLMAR.TPS"): only the file of the month a payment was saved in can tell
// whether it has one.
bool policyFileOf(db::Context& ctx, std::int32_t date) {
  std::string file = ctx.storage().fileName(*dict::findTable("POLMES"));
  for (char& ch : file) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  const std::string tail = std::string(db::monthAbbreviation(dates::monthOf(date))) + ".TPS";
  return date > 0 && file.size() >= tail.size() &&
         file.compare(file.size() - tail.size(), tail.size(), tail) == 0;
}

const Lines3 kPostedChange = {"EL PAGO YA TIENE POLIZA Y MOVIO EL BANCO",
                              "SOLO SE CAMBIA EL No DE CHEQUE; PARA",
                              "CORREGIRLO HAGA UN MOVIMIENTO CONTRARIO"};
const Lines3 kPostedDelete = {"EL PAGO YA TIENE POLIZA Y MOVIO EL BANCO",
                              "NO SE PUEDE BORRAR; PARA DESHACERLO",
                              "HAGA UN MOVIMIENTO CONTRARIO"};
const Lines3 kOtherMonth = {"EL PAGO ES DE OTRO MES Y SU POLIZA", "NO SE PUEDE REVISAR DESDE AQUI;",
                            "HAGA UN MOVIMIENTO CONTRARIO"};

// The money of a payment: what a policy and the bank took from it.
bool sameMoney(const PGM& a, const PGM& b) {
  return a.PROV == b.PROV && a.FACT == b.FACT && a.TIPO == b.TIPO && a.BANK == b.BANK &&
         a.FECH == b.FECH && money(a.CANT) == money(b.CANT) && money(a.ANTI) == money(b.ANTI);
}

// A change (typed) or a delete (none typed) of a payment already on file.
class Amendment {
 public:
  Amendment(db::Context& ctx, const PGM& read, const PGM* typed, std::int32_t user,
            std::int32_t today, std::int32_t now, PaymentOutcome& out)
      : ctx_(ctx), read_(read), typed_(typed), user_(user), today_(today), now_(now), out_(out) {}

  Status run();

 private:
  Status refuse(const char* field, Lines3 lines) {
    return equipment::refuse(out_, field, std::move(lines));
  }
  Status fail(PaymentStep step, Status st, FileAction action) {
    out_.step = step;
    out_.action = action;
    return st;
  }
  Status findRead();
  Status hasPolicy(bool& found);
  Status takeBack(PRV& s);
  Status postNew(PRV& s);

  db::Context& ctx_;
  const PGM read_;
  const PGM* typed_;
  std::int32_t user_, today_, now_;
  PaymentOutcome& out_;
  PGM old_{}, new_{};
};

// Payments have no key of their own: the record is the one that still reads
// exactly as the form read it. None such means another station changed or
// deleted it meanwhile.
Status Amendment::findRead() {
  db::Table& pagm = ctx_.table("PAGM");
  pagm.clear();
  pagm.rec<PGM>().PROV = read_.PROV;
  pagm.rec<PGM>().FACT = read_.FACT;
  Status st = pagm.set(pagm.info().key("PGM:NUM_KEY"), 2);
  while (st && (st = pagm.next())) {
    const PGM& p = pagm.rec<PGM>();
    if (p.PROV != read_.PROV || p.FACT != read_.FACT) break;
    if (p == read_) return Status::success();
  }
  if (st || st.code == err::NoRecord) {
    out_.step = PaymentStep::Changed;
    out_.action = FileAction::Change;
    return Status::error(err::RecordChanged, db::errorText(err::RecordChanged)).on("PAGM");
  }
  return fail(PaymentStep::Read, st.on("PAGM"), FileAction::Read);
}

// Any policy of the payment's description counts: two advances to one
// supplier read alike, and a wrong "no" would leave the bank and the
// ledger moved by a payment no longer there.
Status Amendment::hasPolicy(bool& found) {
  db::Table& polmes = ctx_.table("POLMES");
  const std::string described = accounting::paymentPolicyConcept(old_);
  auto trimmed = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  found = false;
  Status st = polmes.setStart(nullptr);
  while (st && (st = polmes.next()))
    if (trimmed(polmes.rec<POA>().DESC) == described) {
      found = true;
      return Status::success();
    }
  return st.code == err::NoRecord ? Status::success() : st.on("POLMES");
}

Status Amendment::takeBack(PRV& s) {
  const Decimal cant = money(old_.CANT), anti = money(old_.ANTI);
  if (accounting::isAdvance(old_)) {
    s.ANTI = add(s.ANTI, Decimal::fromCents(-anti.cents()));
    return Status::success();
  }
  db::Table& fama = ctx_.table("FAMA");
  fama.clear();
  fama.rec<FAM>().CTA = old_.FACT;
  Status st = fama.get("FAM:CTA_KEY");
  if (!st && st.code != err::RecordNotFound && st.code != err::NoRecord)
    return fail(PaymentStep::Read, st.on("FAMA"), FileAction::Read);
  if (!st)
    return refuse("PGM:FACT", {"NO ENCONTRE LA FACTURA No " + std::to_string(old_.FACT),
                               "DEL PAGO Y NO SE PUEDE DESHACER", "VERIFIQUE LA FACTURA ...."});
  FAM& f = fama.rec<FAM>();
  f.PAGO = add(f.PAGO, Decimal::fromCents(-cant.cents()));
  if (!(st = fama.put().on("FAMA"))) return fail(PaymentStep::Write, st, FileAction::Change);
  s.AAMO = add(s.AAMO, Decimal::fromCents(-anti.cents()));
  s.TPAG = add(s.TPAG, Decimal::fromCents(-cant.cents()));
  return Status::success();
}

// As postPayment() posts it, on the figures the old payment left.
Status Amendment::postNew(PRV& s) {
  db::Table& banc = ctx_.table("BANC");
  banc.clear();
  banc.rec<BAN>().CTA = new_.BANK;
  if (!banc.get("BAN:KEYCTA"))
    return refuse("PGM:BANK",
                  {"NO ENCONTRE EL BANCO", "VERIFIQUE SI FUE DADO DE ALTA", "CON Ok CONTINUA ..."});
  if (new_.TIPO == "A") {
    s.ANTI = add(s.ANTI, money(new_.ANTI));
    return Status::success();
  }
  return payInvoice(ctx_.table("FAMA"), s, new_, out_);
}

Status Amendment::run() {
  old_ = read_;
  if (old_.TIPO != "A") old_.TIPO = "F";
  if (typed_) {
    new_ = normalised(*typed_);
    if (Status st = checkTyped(new_, out_); !st) return st;
    // The supplier's totals move on one record.
    if (new_.PROV != old_.PROV)
      return refuse("PGM:PROV", {"EL PROVEEDOR DE UN PAGO NO SE CAMBIA", "BORRE EL PAGO Y",
                                 "CAPTURELO EN EL PROVEEDOR CORRECTO"});
  }
  db::Table& pagm = ctx_.table("PAGM");
  db::Table& prov = ctx_.table("PROV");
  db::Table& control = ctx_.table("CONTROL");
  db::Transaction tx(ctx_, {&pagm, &prov, &ctx_.table("FAMA"), &ctx_.table("BANC"), &control,
                            &ctx_.table("POLMES")});
  if (!tx.status()) return fail(PaymentStep::Begin, tx.status(), FileAction::Transaction);
  Status st;
  if (!refuseWhileBusy(control, out_, st)) return st;
  if (!(st = findRead())) return st;
  const std::int64_t at = pagm.position();

  const bool moneyMoves = !typed_ || !sameMoney(old_, new_);
  if (moneyMoves) {
    if (!policyFileOf(ctx_, old_.ACFE)) {
      out_.step = PaymentStep::Posted;
      out_.messages.push_back(kOtherMonth);
      return Status::error(err::ValueRefused, kOtherMonth[0]).on("PAGM");
    }
    bool posted = false;
    if (!(st = hasPolicy(posted))) return fail(PaymentStep::Read, st, FileAction::Read);
    if (posted) {
      out_.step = PaymentStep::Posted;
      out_.messages.push_back(typed_ ? kPostedChange : kPostedDelete);
      return Status::error(err::ValueRefused, out_.messages.back()[0]).on("PAGM");
    }
    prov.clear();
    prov.rec<PRV>().CTA = old_.PROV;
    if (!(st = prov.get("PRV:CTA_KEY").on("PROV")))
      return refuse("PGM:PROV", {"NO ENCONTRE AL PROVEEDOR", "No " + std::to_string(old_.PROV),
                                 "VERIFIQUE SI FUE DADO DE ALTA"});
    PRV& s = prov.rec<PRV>();
    if (!(st = takeBack(s))) return st;
    if (typed_ && !(st = postNew(s))) return st;
    // Taking back an advance already applied would leave more applied than given.
    if (const Decimal left = outstandingAdvances(s); left.cents() < 0)
      return refuse("PGM:ANTI", {"LOS ANTICIPOS APLICADOS QUEDARIAN", "MAYORES A LOS DADOS",
                                 "SALDO DE ANTICIPOS:" + amount(left)});
    if (!(st = prov.put().on("PROV"))) return fail(PaymentStep::Write, st, FileAction::Change);
  }

  if (!(st = pagm.getByPosition(at).on("PAGM")))
    return fail(PaymentStep::Read, st, FileAction::Read);
  if (typed_) {
    new_.USUA = user_, new_.ACFE = today_, new_.ACHO = now_;
    // A posted payment keeps the stamp that names its policy's month.
    if (!moneyMoves) new_.ACFE = old_.ACFE;
    pagm.rec<PGM>() = new_;
    if (!(st = pagm.put().on("PAGM"))) return fail(PaymentStep::Write, st, FileAction::Change);
  } else if (!(st = pagm.remove().on("PAGM"))) {
    return fail(PaymentStep::Write, st, FileAction::Delete);
  }
  out_.step = PaymentStep::Commit;
  if (!(st = tx.commit())) return fail(PaymentStep::Commit, st, FileAction::Transaction);
  out_.payment = typed_ ? new_ : old_;
  out_.step = PaymentStep::Done;
  return st;
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

Status changePayment(db::Context& ctx, const PaymentChange& input, PaymentOutcome* outcome) {
  PaymentOutcome ignored;
  PaymentOutcome& out = outcome ? *outcome : ignored;
  out = {};
  return Amendment(ctx, input.read, &input.payment, input.user, input.today, input.now, out).run();
}

Status deletePayment(db::Context& ctx, const PGM& read, std::int32_t user,
                     PaymentOutcome* outcome) {
  PaymentOutcome ignored;
  PaymentOutcome& out = outcome ? *outcome : ignored;
  out = {};
  return Amendment(ctx, read, nullptr, user, 0, 0, out).run();
}

}  // namespace velmora::equipment
