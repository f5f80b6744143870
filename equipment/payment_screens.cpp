// CAP_PAGO, the payments of the chosen supplier with their sums and the
// cheque button; UP_PAGO, the payment form that posts through
// postPayment() and changes and deletes through changePayment() and
// deletePayment(); BUSCA_FACT, the supplier's invoices that still owe.

#include <algorithm>

#include "accounting/estimate_policy.h"
#include "accounting/imp_dos.h"
#include "dictionary/dates.h"
#include "dictionary/unit_of_work.h"
#include "equipment/equipment.h"
#include "equipment/payments.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/form.h"

namespace velmora::equipment {

namespace {

constexpr const char* kChosen = "NPRV";

std::int32_t chosen(Program& program) {
  return program.hasVar(kChosen) ? std::int32_t(number(program.var(kChosen))) : 0;
}

std::int32_t today(Program& program) {
  const std::int32_t d =
      program.hasVar("GLO:HOY") ? std::int32_t(number(program.var("GLO:HOY"))) : 0;
  return d ? d : dates::today();
}

std::int32_t user(const Program& program) { return std::max(program.rights.user, 0); }

// What the supplier's invoices still owe: invoiced less paid. PRV:TREC
// (value received) is raised by nothing here, so it cannot be the base.
Decimal pending(const PRV& s) {
  return Decimal::fromCents(money(s.TFAC).cents() - money(s.TPAG).cents());
}

// Reads the supplier into the buffer of PROV; false when there is none.
bool readSupplier(db::Table& prov, std::int32_t number) {
  prov.clear();
  prov.rec<PRV>().CTA = number;
  return number != 0 && bool(prov.get("PRV:CTA_KEY"));
}

class CapPago : public BrowseProcedure {
 public:
  CapPago(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "PAGM", "UP_PAGO", {tab()}, entry::kPayments) {
    setLocal("SUM1", Decimal());
    setLocal("SUM2", Decimal());
    uses("PROV");
    uses("BANC");
  }

 protected:
  bool init() override {
    // The list opens on no supplier: the clerk names the one to pay.
    program_.setVar(kChosen, std::int64_t(0));
    table("PROV").clear();
    if (!BrowseProcedure::init()) return false;
    addUp();
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?NPRV")) return chooseSupplier(false);
    if (dict::sameName(control, "?CALLLOOKUP")) return chooseSupplier(true);
    if (dict::sameName(control, "?CHEQUE")) return cheque();
    BrowseProcedure::onAccepted(control);
  }

  int update(int req) override {
    const int r = BrowseProcedure::update(req);
    addUp();
    return r;
  }

 private:
  static BrowseTab tab() {
    BrowseTab t = sortTab(keys::PGM_NUM_KEY);
    t.range = [](Procedure& p) {
      return std::vector<Value>{Value(std::int64_t(chosen(p.program())))};
    };
    return t;
  }

  void chooseSupplier(bool always) {
    db::Table& prov = table("PROV");
    const std::int32_t before = chosen(program_);
    std::int32_t typed = chosen(program_);
    if (always || !readSupplier(prov, typed)) {
      prov.clear();
      prov.rec<PRV>().CTA = typed;
      // The catalogue moves NPRV as its list moves: a cancel puts it back.
      if (call("CAP_PROV", request::Select) == response::Completed)
        typed = prov.rec<PRV>().CTA;
      else
        typed = before == typed ? 0 : before;
      program_.setVar(kChosen, std::int64_t(typed));
      if (!readSupplier(prov, typed)) {
        program_.setVar(kChosen, std::int64_t(0));
        prov.clear();
      }
    }
    refreshAll();
    (void)showOrder();
    addUp();
    select("?NPRV");
  }

  // SUM1: the amounts paid; SUM2: the advances applied less those given.
  void addUp() {
    db::Table& pagm = table("PAGM");
    const Record kept = pagm.buffer();
    Decimal paid, advances;
    if (Status st = paymentSums(pagm, chosen(program_), paid, advances); !st)
      fileError(st, FileAction::Read);
    pagm.buffer() = kept;
    setLocal("SUM1", paid);
    setLocal("SUM2", advances);
    listChanged();  // the sums under their columns
  }

  void cheque() {
    if (!view_ || !view_->readSelected()) return;
    const PGM p = table("PAGM").rec<PGM>();
    // Advances covered it all: no money leaves the bank, no cheque is due.
    if (cashPaid(p).cents() <= 0) {
      warn("NO HAY IMPORTE A PAGAR CON CHEQUE", "EL PAGO SE CUBRIO CON ANTICIPOS",
           "CON Ok CONTINUA ...");
      return;
    }
    std::string payee;
    if (readSupplier(table("PROV"), p.PROV)) payee = table("PROV").rec<PRV>().NOMB;
    // For the cash that left the bank, not for the advance it applied.
    (void)accounting::printPaymentCheque(*this, p.BANK, payee, cashPaid(p), today(program_));
  }

  // The supplier's own number of the invoice paid, found by its folio;
  // blank for an advance.
  static ListColumn invoiceNumber() {
    ListColumn c{"FACTURA", "PGM:FACT", "@n_7B", 7, 'R', true};
    c.lookupKey = "FAM:CTA_KEY";
    c.lookupField = "FAM:FACT";
    return c;
  }

  static WindowDescription window() {
    return Describe("CAP_PAGO", "Captura de Pagos a Proveedores")
        .field("Proveedor:", kChosen, "@n_6", "NUMERO DEL PROVEEDOR A PAGAR")
        .lookupButton()
        .text("NOMBRE:", "PRV:NOMB", "@s50")
        .list({{"PROV", "PGM:PROV", "@n_6", 6, 'R', true},
               invoiceNumber(),
               {"FECHA", "PGM:FECH", "@d6", 10, 'L', true},
               {"CHEQUE", "PGM:CHEC", "@n_7B", 7, 'R', true},
               {"BANCO", "PGM:BANK", "@n_6B", 5, 'R', true},
               coloured(nameColumn("NOMBRE DEL BANCO", "PGM:BANK", "BAN:KEYCTA", "BAN:NOMB", 20)),
               summed({"IMPORTE", "PGM:CANT", "@n-14.2B", 13, 'R', true}, "SUM1"),
               summed({"ANTICIPO", "PGM:ANTI", "@n-14.2B", 13, 'R', true}, "SUM2")})
        .button("?SELECT:2", "&Selecciona")
        .button("?VIEW", "&Ver")
        .button("?INSERT:3", "&Alta")
        .button("?CHEQUE", "C&heque")
        .button("?CHANGE:3", "&Cambia")
        .button("?DELETE:3", "&Borra")
        .button("?CLOSE", "C&ierra")
        .done();
  }
};

class UpPago : public FormProcedure {
 public:
  UpPago(Program& program, db::Context& ctx)
      : FormProcedure(program, ctx, window(), "PAGM", entry::kPayments, settings()) {
    for (const char* s : {"SUM4", "SUM5", "SUM6"}) setLocal(s, Decimal());
    uses("PROV");
  }

 protected:
  bool prime() override {
    const std::int32_t supplier = chosen(program_);
    if (supplier == 0) {
      warn("DEBE SELECCIONAR ANTES", "AL PROVEEDOR PARA PODER", "AGREGAR UN PAGO ...");
      return false;
    }
    PGM& p = primary().rec<PGM>();
    p.PROV = supplier;
    p.TIPO = "F";
    p.FECH = today(program_);
    return true;
  }

  bool init() override {
    if (!FormProcedure::init()) {
      // A delete is done (or refused) before the window would open.
      if (deleted_) wm_.response = response::Completed;
      return false;
    }
    PGM& p = primary().rec<PGM>();
    read_ = p;  // the change goes through only if the file still holds this
    if (p.TIPO != "A") p.TIPO = "F";
    readSupplier(table("PROV"), p.PROV);
    const PRV& s = table("PROV").rec<PRV>();
    setLocal("SUM6", outstandingAdvances(s));
    setLocal("SUM5", pending(s));
    if (p.FACT != 0) invoiceShown();
    showRelated("BANC", "BAN:CTA", "BAN:KEYCTA", p.BANK);
    if (mode() != request::Insert) disable("?PGM:TIPO");
    if (p.TIPO == "A") typeChosen();
    refreshAll();
    return true;
  }

  void onAccepted(const std::string& control) override {
    PGM& p = primary().rec<PGM>();
    if (dict::sameName(control, "?PGM:TIPO")) {
      typeChosen();
    } else if (dict::sameName(control, "?PGM:FACT")) {
      if (p.FACT == 0) return;
      if (table("FAMA").rec<FAM>().PROV != p.PROV) {
        warn("LA FACTURA No " + std::to_string(p.FACT), "NO ES DE ESTE PROVEEDOR",
             "VERIFIQUE LA FACTURA ....");
        select("?PGM:FACT");
        return;
      }
      const Decimal balance = invoiceBalance(table("FAMA").rec<FAM>());
      if (money(p.CANT).cents() == 0) p.CANT = balance.toDouble();
      setLocal("SUM4", balance);
      refreshAll();
    } else if (dict::sameName(control, "?PGM:CANT")) {
      if (money(p.CANT).cents() != 0) return;
      invoiceShown();
      p.CANT = number(value("SUM4"));
      const PRV& s = table("PROV").rec<PRV>();
      setLocal("SUM6", outstandingAdvances(s));
      // Once this payment of the invoice's balance is made.
      setLocal("SUM5", Decimal::fromCents(pending(s).cents() - money(p.CANT).cents()));
      refreshAll();
    } else if (dict::sameName(control, "?PGM:ANTI")) {
      // What the supplier's advances come to once this payment is posted.
      const std::int64_t left = outstandingAdvances(table("PROV").rec<PRV>()).cents();
      const std::int64_t anti = money(p.ANTI).cents();
      setLocal("SUM6", Decimal::fromCents(p.TIPO == "A" ? left + anti : left - anti));
      refresh("?SUM6");
    }
  }

  bool validate() override {
    if (mode() == request::Change) return change();
    if (mode() != request::Insert) return true;
    PaymentInput in;
    in.payment = primary().rec<PGM>();
    in.work = program_.hasVar("GLO:OBRA") ? toText(program_.var("GLO:OBRA")) : std::string();
    in.today = today(program_);
    in.now = dates::clockTime();
    in.user = user(program_);
    in.holdLock = true;
    PaymentOutcome out;
    Status st = postPayment(context(), in, &out);
    for (const Lines3& m : out.messages) warn(m[0], m[1], m[2]);
    if (!st) {
      if (out.messages.empty()) fileError(st, out.action);
      if (out.wasCut) {
        primary().rec<PGM>().CANT = out.cut.toDouble();
        setLocal("SUM4", out.cut);
        refreshAll();
      }
      if (out.step == PaymentStep::Busy)
        select("?OK");
      else if (!out.field.empty())
        select("?" + out.field);
      return false;
    }
    {
      // The flag stays set while the voucher prints and goes on every way out.
      struct Release {
        db::Context& ctx;
        ~Release() { (void)accounting::releasePostingLock(ctx); }
      } release{context()};
      if (out.policy)
        (void)accounting::printChequeVoucher(*this, out.written.header, out.payment.CHEC,
                                             table("PROV").rec<PRV>().NOMB, in.today);
    }
    primary().rec<PGM>() = out.payment;
    close(response::Completed);
    return false;
  }

 private:
  // What the payment moved is moved back and the new figures posted, or the
  // change is refused (a posted payment keeps its money).
  bool change() {
    PaymentChange in;
    in.read = read_;
    in.payment = primary().rec<PGM>();
    in.work = program_.hasVar("GLO:OBRA") ? toText(program_.var("GLO:OBRA")) : std::string();
    in.today = today(program_);
    in.now = dates::clockTime();
    in.user = user(program_);
    PaymentOutcome out;
    Status st = changePayment(context(), in, &out);
    if (!st) {
      refused(st, out);
      return false;
    }
    primary().rec<PGM>() = out.payment;
    close(response::Completed);
    return false;
  }

  bool mayDelete() override {
    if (program_.messages().raise(errors_, 11) != MessageService::kAnsweredYes) return false;
    PaymentOutcome out;
    Status st = deletePayment(context(), primary().rec<PGM>(), user(program_), &out);
    if (!st) {
      refused(st, out);
      return false;
    }
    deleted_ = true;
    return false;  // the delete is done: the form's own must not run
  }

  // The messages of a refused change or delete, or the file error.
  void refused(const Status& st, const PaymentOutcome& out) {
    for (const Lines3& m : out.messages) warn(m[0], m[1], m[2]);
    if (out.messages.empty()) fileError(st, out.action);
    if (out.wasCut) {
      primary().rec<PGM>().CANT = out.cut.toDouble();
      setLocal("SUM4", out.cut);
      refreshAll();
    }
    if (!out.field.empty() && mode() != request::Delete) select("?" + out.field);
  }

  void typeChosen() {
    disable("?PGM:TIPO");
    if (primary().rec<PGM>().TIPO != "A") return;
    for (const char* c : {"?PGM:FACT", "?CALLLOOKUP", "?PGM:CANT"}) disable(c);
  }

  // SUM4 from the invoice of the payment, read again.
  void invoiceShown() {
    db::Table& fama = table("FAMA");
    fama.clear();
    fama.rec<FAM>().CTA = primary().rec<PGM>().FACT;
    if (fama.rec<FAM>().CTA != 0 && fama.get("FAM:CTA_KEY"))
      setLocal("SUM4", invoiceBalance(fama.rec<FAM>()));
    else
      fama.clear();
  }

  static FormSettings settings() {
    FormSettings s;
    s.lookups = {{"?PGM:FACT", "FAMA", "FAM:CTA_KEY", "BUSCA_FACT", true},
                 {"?PGM:BANK", "BANC", "BAN:KEYCTA", "CAP_BAN"}};
    return s;
  }

  static WindowDescription window() {
    return Describe("UP_PAGO", "Actualiza Pagos a Proveedores")
        .text("PROVEEDOR:", "PGM:PROV", "@n_6")
        .besideText("PRV:NOMB", "@s50")
        .option("TIPO DE PAGO", "PGM:TIPO", {"F", "A"}, {"&FACTURA", "&ANTICIPO"})
        .field("FACTURA:", "PGM:FACT", "@n_7B", "FOLIO DE LA FACTURA A PAGAR")
        .lookupButton()
        .field("FECHA:", "PGM:FECH", "@d6")
        .required()
        .calendarButton()
        .field("CHEQUE:", "PGM:CHEC", "@n_7")
        .field("BANCO:", "PGM:BANK", "@n_6", "BANCO DEL QUE SALE EL CHEQUE")
        .required()
        .lookupButton()
        .besideText("BAN:NOMB", "@s40")
        .field("IMPORTE:", "PGM:CANT", "@n-14.2", "CERO PROPONE EL SALDO DE LA FACTURA")
        .field("ANTICIPO:", "PGM:ANTI", "@n-14.2", "ANTICIPO QUE SE APLICA O QUE SE DA")
        .text("SALDO EN FACTURA:", "SUM4", "@n-14.2")
        .text("SALDO TOTAL EN ANTICIPOS:", "SUM6", "@n-14.2")
        .text("PENDIENTE TOTAL DE PAGO:", "SUM5", "@n-14.2")
        .formButtons()
        .done();
  }

  PGM read_{};
  bool deleted_ = false;
};

// The supplier's invoices that still owe, as CAP_FACT lists invoices. Borra
// deletes through the invoice form, with its rules and its access entry.
class BuscaFact : public BrowseProcedure {
 public:
  BuscaFact(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "FAMA", "UP_FACT",
                        {owing(program, keys::FAM_CTA_KEY, "FAM:CTA"),
                         owing(program, keys::FAM_FEC_KEY, "FAM:FECH"),
                         owing(program, keys::FAM_FRE_KEY, "FAM:FREN")},
                        entry::kInvoices) {}

 private:
  static BrowseTab owing(Program& program, const char* key, const char* locator) {
    BrowseTab t = sortTab(key, locator);
    Program* p = &program;
    t.filter = [p](const Record& r) {
      const FAM& f = r.as<FAM>();
      return f.PROV == chosen(*p) && invoiceBalance(f).cents() > 0;
    };
    return t;
  }

  static WindowDescription window() {
    return Describe("BUSCA_FACT", "Actualizando Facturas")
        .list({{"FOLIO", "FAM:CTA", "@n_6", 6, 'R', true},
               {"PROV", "FAM:PROV", "@n_6", 6, 'R', true},
               {"FECHA", "FAM:FECH", "@D6", 10, 'L', true},
               {"FACTURA", "FAM:FACT", "@n_6", 7, 'R', true},
               {"IMPORTE", "FAM:IMPO", "@n14.2", 14, 'R', true},
               {"IVA", "FAM:IVA", "@n14.2", 14, 'R', true},
               {"PAGO", "FAM:PAGO", "@n-14.2", 14, 'R', true}})
        .tabs({"x Folio", "x Fecha", "x Frente"})
        .button("?SELECT:2", "&Selecciona")
        .button("?DELETE:3", "&Borra")
        .button("?CLOSE", "C&ierra")
        .done();
  }
};

}  // namespace

void addPaymentProcedures(Program& program) {
  program.addProcedure("CAP_PAGO",
                       [](Program& p, db::Context& c) { return std::make_unique<CapPago>(p, c); });
  program.addProcedure("UP_PAGO",
                       [](Program& p, db::Context& c) { return std::make_unique<UpPago>(p, c); });
  program.addProcedure(
      "BUSCA_FACT", [](Program& p, db::Context& c) { return std::make_unique<BuscaFact>(p, c); });
}

}  // namespace velmora::equipment
