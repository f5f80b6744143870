#include "estimates/change_contractor.h"

#include <array>
#include <climits>
#include <cmath>

#include "estimates/budget_items.h"
#include "estimates/estimates.h"
#include "framework/describe.h"
#include "framework/file_errors.h"

namespace velmora::estimates {

namespace {

// Window variables: ABONO the new sub-item's number; SUM1 the item's labour
// budget, SUM2 what was paid of it, SUM3 what is left, SUM4 the units left
// and SUM5 the budget per unit; TOT1 and TOT2 the units and amount handed
// over, NCON the contractor who receives them.
class CamCont : public Procedure {
 public:
  CamCont(Program& program, db::Context& ctx)
      : Procedure(program, ctx, window()), item_(PAR::info()) {
    for (const char* label : {"PART", "CONC", "PROB", "FREN", "CONT"}) uses(label);
  }

 protected:
  bool init() override {
    if (!checkAccess(entry::kBudgetItems) || !Procedure::init()) return false;
    db::Table& part = table("PART");
    if (part.position() == 0) {
      Status st = Status::error(err::NoRecord, db::errorText(err::NoRecord)).on("PART");
      fileError(st, FileAction::Read);
      return false;
    }
    source_ = part.position();
    item_ = part.buffer();
    const PAR& r = item_.as<PAR>();
    if (isSubItem(r.CONC)) {
      warn("SOLO LA CUENTA PRINCIPAL", "SE PUEDE COMPARTIR CON", "OTRO CONTRATISTA...");
      return false;
    }
    if (!numberNewSubItem()) return false;

    const double sum1 = r.PRES + r.VPRE;
    const double sum3 = sum1 - r.TPAG;
    set("SUM1", sum1);
    set("SUM2", r.TPAG);
    set("SUM3", sum3);
    // A zero budget or quantity leaves nothing to divide: the figure is 0.
    set("SUM4", sum1 != 0 ? r.CANT * sum3 / sum1 : 0.0);
    set("SUM5", r.CANT != 0 ? sum1 / r.CANT : 0.0);
    if (sum3 < 0.01) {
      warn("NO HAY SALDO A TRASPASAR", "VERIFIQUE EL No DE CUENTA", "CON Ok CONTINUA");
      return false;
    }
    showTexts();
    set("TOT1", 0.0);
    set("TOT2", 0.0);
    (void)setValue("NCON", std::int64_t(0));
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?TOT1")) {
      unitsEntered();
    } else if (dict::sameName(control, "?TOT2")) {
      amountEntered();
    } else if (dict::sameName(control, "?NCON")) {
      (void)receiverEntered(false);
    } else if (dict::sameName(control, "?CALLLOOKUP")) {
      (void)receiverEntered(true);
    } else if (dict::sameName(control, "?OK")) {
      ok();
    } else if (dict::sameName(control, "?CANCEL")) {
      close(response::Cancelled);
    }
    refreshAll();
  }

 private:
  double get(const char* var) const { return number(value(var)); }
  std::int64_t receiver() const { return std::int64_t(number(value("NCON"))); }
  void set(const char* var, double v) { (void)setValue(var, v); }

  // The first of C + 0.01 ... C + 0.99 free for the item's process and
  // front. The scan moves the shared buffer, so the item is read again.
  bool numberNewSubItem() {
    db::Table& part = table("PART");
    const PAR& item = item_.as<PAR>();
    const std::int64_t base = conceptOf(item.CONC) * 100;
    std::array<bool, 100> taken{};
    const dict::KeyInfo* key = part.info().key("PAR:CTA_KEY");
    part.clear();
    PAR& probe = part.rec<PAR>();
    probe.CONC = itemNumber(base);
    probe.PROC = INT32_MIN;
    probe.FREN = INT32_MIN;
    Status st = part.set(key);
    while (st) {
      st = part.next();
      if (!st) break;
      const PAR& r = part.rec<PAR>();
      const std::int64_t sub = hundredths(r.CONC) - base;
      if (sub >= 100) break;
      if (sub > 0 && r.PROC == item.PROC && r.FREN == item.FREN) taken[std::size_t(sub)] = true;
    }
    if (st.code != err::NoRecord && !st) {
      fileError(st, FileAction::Read);
      return false;
    }
    st = part.getByPosition(source_);
    if (!st) {
      fileError(st, FileAction::Read);
      return false;
    }
    for (std::size_t sub = 1; sub < taken.size(); ++sub)
      if (!taken[sub]) {
        set("ABONO", itemNumber(base + std::int64_t(sub)));
        return true;
      }
    warn("YA SE OCUPARON LOS 99 SUB-CONCEPTOS", "DE ESTA CUENTA Y NO SE PUEDE",
         "COMPARTIR OTRA VEZ ....");
    return false;
  }

  void showTexts() {
    const PAR& r = item_.as<PAR>();
    showRelated(*this, "CONC", "COE:CTA", "COE:CTA_KEY", conceptOf(r.CONC));
    showRelated(*this, "PROB", "PRB:CTA", "PRB:CTA_KEY", r.PROC);
    showRelated(*this, "FREN", "FRE:CTA", "FRE:CTA_KEY", r.FREN);
    showRelated(*this, "CONT", "CTR:CTA", "CTR:CTA_KEY", r.CONT);
  }

  // Figures are compared as they are shown, in whole cents: typing the
  // units or amount left, as shown, hands over all that is left.
  void unitsEntered() {
    const double left = get("SUM4");
    double units = get("TOT1");
    if (hundredths(units) > hundredths(left)) {
      warn("NO HAY UNIDADES DISPONIBLES", "VERIFIQUE USTED", "CON Ok CONTINUA");
      units = 0;
    }
    double amount = get("SUM5") * units;
    if (units != 0 && hundredths(units) == hundredths(left)) units = left, amount = get("SUM3");
    set("TOT1", units);
    set("TOT2", amount);
  }

  void amountEntered() {
    const double left = get("SUM3");
    const double unitPrice = get("SUM5");
    double amount = get("TOT2");
    if (hundredths(amount) > hundredths(left)) {
      warn("NO HAY EL IMPORTE DISPONIBLE", "VERIFIQUE USTED EL IMPORTE", "CON Ok CONTINUA");
      amount = 0;
    }
    if (unitPrice == 0 && amount != 0) {
      warn("EL CONCEPTO NO TIENE UNITARIO", "Y NO SE PUEDEN CALCULAR", "LAS UNIDADES ....");
      amount = 0;
    }
    double units = unitPrice != 0 ? amount / unitPrice : 0.0;
    if (amount != 0 && hundredths(amount) == hundredths(left)) amount = left, units = get("SUM4");
    set("TOT1", units);
    set("TOT2", amount);
  }

  // The receiving contractor must exist; when he is not found (or always,
  // from the lookup button) the contractors' list chooses him. The item's
  // own contractor stays shown beside the item.
  bool receiverEntered(bool always) {
    std::int64_t receiver = this->receiver();
    db::Table& cont = table("CONT");
    const Record shown = cont.buffer();
    cont.clear();
    const bool held = bool(cont.buffer().set("CTR:CTA", receiver));
    bool found = false;
    if (!always && held) {
      Status st = cont.get("CTR:CTA_KEY");
      found = bool(st);
      if (!st && st.code != err::RecordNotFound) fileError(st, FileAction::Read);
    }
    if (!found && call("CAP_DEST", request::Select) == response::Completed) {
      receiver = cont.rec<CTR>().CTA;
      found = true;
    }
    cont.buffer() = shown;
    if (!found) {
      select("?NCON");
      return false;
    }
    if (receiver == item_.as<PAR>().CONT) {
      warn("LE PASARAS TRABAJO AL MISMO", "CONTRATISTA ??? ESTO NO ES", "PERMITIDO ...");
      receiver = 0;
    }
    (void)setValue("NCON", receiver);
    if (receiver == 0) select("?NCON");
    return receiver != 0;
  }

  void ok() {
    if (receiver() == 0) {
      warn("FALTA EL CONTRATISTA QUE RECIBE", "CAPTURE SU No DE CONTRATISTA", "CON Ok CONTINUA...");
      select("?NCON");
      return;
    }
    if (!receiverEntered(false)) return;
    if (get("TOT1") == 0 && get("TOT2") == 0) {
      warn("NO HA DADO UNIDADES NI IMPORTE", "A TRASPASAR", "CON Ok CONTINUA...");
      select("?TOT1");
      return;
    }
    transfer();
  }

  // Both records are written together: a failure half way must not take
  // the units from the item without giving them to the new one.
  void transfer() {
    db::Table& part = table("PART");
    FileAction action = FileAction::Transaction;
    Status st = ctx_.begin({&part});
    if (st) {
      action = FileAction::Read;
      st = part.getByPosition(source_);
    }
    const double units = get("TOT1"), amount = get("TOT2");
    // What is left of a quantity handed over whole is exactly none.
    auto less = [](double from, double taken) {
      const double rest = from - taken;
      return std::fabs(rest) < 1e-6 ? 0.0 : rest;
    };
    if (st) {
      action = FileAction::Change;
      PAR& r = part.rec<PAR>();
      r.CANT = less(r.CANT, units);
      r.PRES = less(r.PRES, amount);
      st = part.put();
    }
    if (st) {
      action = FileAction::Add;
      const Record source = part.buffer();
      part.clear();
      for (const char* f : {"PAR:TEXT", "PAR:UNID", "PAR:PROC", "PAR:FREN"})
        (void)part.buffer().set(f, source.get(f));
      PAR& n = part.rec<PAR>();
      n.CONC = get("ABONO");
      n.CANT = units;
      n.PRES = amount;
      n.CONT = std::int16_t(receiver());
      n.PEST = 100;
      st = part.add();
    }
    if (st) {
      action = FileAction::Transaction;
      st = ctx_.commit();
    }
    if (st) {
      close(response::Completed);
      return;
    }
    if (ctx_.inTransaction()) ctx_.rollback();
    fileError(st, action);
    // Another station may have taken the number meanwhile: offer the next.
    if (!numberNewSubItem()) close(response::Cancelled);
  }

  static WindowDescription window() {
    return Describe("CAM_CONT", "Traspasando Concepto a Otro Contratista")
        .text("No DE CONCEPTO:", "ABONO", "@n_9.2")
        .text("CONCEPTO:", "PAR:CONC", "@n_9.2")
        .text("", "PAR:TEXT", "@s30")
        .text("PROCESO:", "PAR:PROC", "@n_6")
        .text("", "PRB:TEXT", "@s30")
        .text("FRENTE:", "PAR:FREN", "@n_6")
        .text("", "FRE:NOMB", "@s40")
        .text("CONTRATISTA:", "PAR:CONT", "@n_6")
        .text("", "CTR:NOMB", "@s30")
        .text("PRESUPUESTO:", "SUM1", "@n14.2")
        .text("UNIDADES:", "PAR:CANT", "@n14.2")
        .text("EJERCIDO:", "SUM2", "@n14.2")
        .text("x EJERCER:", "SUM3", "@n14.2")
        .text("UNITARIO:", "SUM5", "@n14.2")
        .text("UNIDADES x EJERCER:", "SUM4", "@n14.2")
        .field("UNIDADES:", "TOT1", "@n14.2")
        .field("IMPORTE:", "TOT2", "@n14.2")
        .field("No DE CONTRATISTA A RECIBIR:", "NCON", "@n_6")
        .lookupButton()
        .button("?OK", "&Ok", true)
        .button("?CANCEL", "C&ierra")
        .done();
  }

  std::int64_t source_ = 0;  // position of the item
  Record item_;              // the item as it was highlighted
};

}  // namespace

std::unique_ptr<Procedure> makeCamCont(Program& program, db::Context& ctx) {
  return std::make_unique<CamCont>(program, ctx);
}

}  // namespace velmora::estimates
