#include "estimates/estimate_messages.h"
#include "estimates/estimate_windows.h"
#include "framework/describe.h"

namespace velmora::estimates {

namespace msg = estimate_message;

namespace {

void warnLines(Procedure& p, const msg::Lines& l) { p.warn(l[0], l[1], l[2]); }

// Reads the estimate's contractor into the CONT buffer; false when he is
// not on file (the buffer then is blank).
bool readContractor(db::Table& cont, std::int16_t number) {
  cont.clear();
  cont.rec<CTR>().CTA = number;
  if (number != 0 && cont.get("CTR:CTA_KEY")) return true;
  cont.clear();
  return false;
}

// POLFIN: the deductions and additions of a progress estimate. The inputs
// sit in the estimate's POLI buffer; the figures below them are window
// variables (TOT5 total, TOT4 sum, TOT3 previous loan, TOT2 final amount,
// TOT1 to pay).
class Polfin : public Procedure {
 public:
  Polfin(Program& program, db::Context& ctx, EstimateDraft* draft)
      : Procedure(program, ctx, window()), draft_(draft ? draft : &own_) {
    for (const char* label : {"POLI", "CONT"}) uses(label);
  }

 protected:
  bool init() override {
    if (!Procedure::init()) return false;
    (void)readContractor(table("CONT"), draft_->contractor);
    const Decimal total = figure(number(program_.var("TOTAL")));
    f_ = openFinal(contractor(), total, draft_->stored, draft_->insert, draft_->posted);
    show();
    if (draft_->posted) disable("?OK");
    return true;
  }

  void onAccepted(const std::string& control) override {
    take();
    if (dict::sameName(control, "?POL:NOMI")) {
      payrollGiven(f_, contractor());
    } else if (dict::sameName(control, "?POL:IVA") || dict::sameName(control, "?POL:PANT") ||
               dict::sameName(control, "?POL:PFON") || dict::sameName(control, "?POL:PRES")) {
      recomputeFinal(f_);
    } else if (dict::sameName(control, "?TOT1")) {
      f_.toPay = get("TOT1");
      toPayGiven(f_);
    } else if (dict::sameName(control, "?OK")) {
      if (auto refused = refuseFinal(f_)) {
        warnLines(*this, *refused);
        select(f_.payroll.cents() < 0 || f_.payroll > f_.total ? "?POL:NOMI" : "?POL:IVA");
        show();
        refreshAll();
        return;
      }
      draft_->finals = f_;
      draft_->finalsGiven = true;
      close(response::Completed);
      return;
    } else if (dict::sameName(control, "?CANCEL")) {
      draft_->finalsGiven = false;
      close(response::Cancelled);
      return;
    }
    show();
    refreshAll();
  }

 private:
  // A change is figured on the contractor as his other estimates leave him.
  const CTR& contractor() { return draft_->change ? draft_->before : table("CONT").rec<CTR>(); }
  Decimal get(const char* use) const { return figure(number(value(use))); }
  void put(const char* use, Decimal d) { (void)setValue(use, d.toDouble()); }

  // The inputs as typed.
  void take() {
    f_.payroll = get("POL:NOMI");
    f_.iva = get("POL:IVA");
    f_.amortisation = get("POL:PANT");
    f_.fund = get("POL:PFON");
    f_.loan = get("POL:PRES");
  }
  void show() {
    put("SUM1", f_.advanceBalance);
    put("SUM2", f_.fundBalance);
    put("TOTAL", f_.total);
    put("POL:NOMI", f_.payroll);
    put("POL:IVA", f_.iva);
    put("POL:PANT", f_.amortisation);
    put("POL:PFON", f_.fund);
    put("POL:PRES", f_.loan);
    put("TOT5", f_.net);
    put("TOT4", f_.sum);
    put("TOT3", f_.previousLoan);
    put("TOT2", f_.finalAmount);
    put("TOT1", f_.toPay);
  }

  static WindowDescription window() {
    return Describe("POLFIN", "Conceptos Finales de la Póliza")
        .text("SALDO EN ANTICIPOS", "SUM1", "@n-14.2")
        .text("SALDO EN FONDO DE GARANTIA", "SUM2", "@n-14.2")
        .text("IMPORTE DE LA ESTIMACION", "TOTAL", "@n-14.2")
        .field("IMPORTE PAGADO EN NOMINA", "POL:NOMI", "@n-14.2")
        .text("TOTAL", "TOT5", "@n-14.2")
        .field("I.V.A.", "POL:IVA", "@n-14.2")
        .text("SUMA", "TOT4", "@n-14.2")
        .field("AMORTIZACION DE ANTICIPO", "POL:PANT", "@n-14.2")
        .field("%  EN FONDO DE GARANTIA", "POL:PFON", "@n-14.2")
        .besideText("CTR:PGAR", "@n6.2")
        .text("PRESTAMO ANTERIOR", "TOT3", "@n-14.2")
        .text("IMPORTE FINAL", "TOT2", "@n-14.2")
        .field("PRESTAMO", "POL:PRES", "@n-14.2")
        .field("A PAGAR", "TOT1", "@n-14.2")
        .button("?OK", "&Aceptar", true)
        .button("?CANCEL", "&Cancela")
        .done();
  }

  EstimateDraft own_;
  EstimateDraft* draft_;
  FinalFigures f_;
};

// CAP_ANTI: the amount of an advance (TOT1) or of a fund return (TOT2);
// only the one of the chosen type is open.
class CapAnti : public Procedure {
 public:
  CapAnti(Program& program, db::Context& ctx, EstimateDraft* draft)
      : Procedure(program, ctx, window()), draft_(draft ? draft : &own_) {
    for (const char* label : {"POLI", "CONT"}) uses(label);
    for (const char* v : {"SALDO_ANTICIPO", "SALDO_FONDO"}) setLocal(v, 0.0);
  }

 protected:
  bool init() override {
    if (!Procedure::init()) return false;
    (void)setValue("TOT1", 0.0);
    (void)setValue("TOT2", 0.0);
    if (draft_->contractor == 0) {
      warnLines(*this, msg::kNoContractorForEntry);
      return false;
    }
    (void)readContractor(table("CONT"), draft_->contractor);
    const CTR& c = table("CONT").rec<CTR>();
    setLocal("SALDO_ANTICIPO",
             Decimal::fromCents(figure(c.ANTI).cents() - figure(c.AAMO).cents()).toDouble());
    setLocal("SALDO_FONDO", c.GAAC);
    disable(draft_->type == '1' ? "?TOT2" : "?TOT1");
    select(draft_->type == '1' ? "?TOT1" : "?TOT2");
    return true;
  }

  void onAccepted(const std::string& control) override {
    const CTR& c = table("CONT").rec<CTR>();
    if (dict::sameName(control, "?TOT1")) {
      Decimal a = get("TOT1");
      if (capAdvance(c, a)) warnLines(*this, msg::kAdvanceTooBig);
      (void)setValue("TOT1", a.toDouble());
    } else if (dict::sameName(control, "?TOT2")) {
      Decimal a = get("TOT2");
      if (capFundReturn(c, a)) {
        warnLines(*this, msg::kFundTooBig);
        select("?TOT2");
      }
      (void)setValue("TOT2", a.toDouble());
    } else if (dict::sameName(control, "?OK")) {
      draft_->advance = draft_->type == '1' ? get("TOT1") : Decimal();
      draft_->fundReturn = draft_->type == '3' ? get("TOT2") : Decimal();
      close(response::Completed);
      return;
    } else if (dict::sameName(control, "?CANCEL")) {
      draft_->advance = draft_->fundReturn = Decimal();
      close(response::Cancelled);
      return;
    }
    refreshAll();
  }

 private:
  Decimal get(const char* use) const { return figure(number(value(use))); }

  static WindowDescription window() {
    return Describe("CAP_ANTI", "Capturando Anticipos y Fondos de Garantía")
        .text("", "CTR:NOMB", "@s30")
        .text("Póliza No", "POL:CTA", "@n_5")
        .text("Saldo en Anticipos", "SALDO_ANTICIPO", "@n-14.2")
        .text("Saldo en Fondo de Garantía", "SALDO_FONDO", "@n-14.2")
        .field("Anticipo en esta Póliza", "TOT1", "@n14.2")
        .field("Fondo de Garantia a Devolver", "TOT2", "@n14.2")
        .button("?OK", "&Aceptar", true)
        .button("?CANCEL", "Cancela")
        .done();
  }

  EstimateDraft own_;
  EstimateDraft* draft_;
};

}  // namespace

std::unique_ptr<Procedure> makePolfin(Program& program, db::Context& ctx, EstimateDraft* draft) {
  return std::make_unique<Polfin>(program, ctx, draft);
}
std::unique_ptr<Procedure> makeCapAnti(Program& program, db::Context& ctx, EstimateDraft* draft) {
  return std::make_unique<CapAnti>(program, ctx, draft);
}

void addEstimateFinalProcedures(Program& program) {
  for (const char* name : {"TOTAL", "TOT3", "TOT4", "TOT5"})
    if (!program.hasVar(name)) program.declare(name, Value(0.0));
  program.addProcedure("POLFIN",
                       [](Program& p, db::Context& c) { return makePolfin(p, c, nullptr); });
  program.addProcedure("CAP_ANTI",
                       [](Program& p, db::Context& c) { return makeCapAnti(p, c, nullptr); });
}

}  // namespace velmora::estimates
