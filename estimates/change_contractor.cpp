#include "estimates/change_contractor.h"

#include "estimates/estimates.h"
#include "estimates/item_numbers.h"
#include "estimates/item_transfer.h"
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

    const TransferBalance b = transferBalance(r);
    set("SUM1", b.budget);
    set("SUM2", b.paid);
    set("SUM3", b.left);
    set("SUM4", b.unitsLeft);
    set("SUM5", b.unitPrice);
    if (b.left < 0.01) {
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

  // The scan moves the shared buffer, so the item is read again.
  bool numberNewSubItem() {
    db::Table& part = table("PART");
    double number = 0;
    Status st = freeSubItem(part, item_.as<PAR>(), number);
    if (st) st = part.getByPosition(source_);
    if (!st) {
      fileError(st, FileAction::Read);
      return false;
    }
    if (number != 0) {
      set("ABONO", number);
      return true;
    }
    warn("YA SE OCUPARON LOS 99 SUB-CONCEPTOS", "DE ESTA CUENTA Y NO SE PUEDE",
         "COMPARTIR OTRA VEZ ....");
    return false;
  }

  void showTexts() {
    const PAR& r = item_.as<PAR>();
    showRelated("CONC", "COE:CTA", "COE:CTA_KEY", conceptOf(r.CONC));
    showRelated("PROB", "PRB:CTA", "PRB:CTA_KEY", r.PROC);
    showRelated("FREN", "FRE:CTA", "FRE:CTA_KEY", r.FREN);
    showRelated("CONT", "CTR:CTA", "CTR:CTA_KEY", r.CONT);
  }

  // Figures are compared as they are shown, in whole cents: typing the
  // units or amount left, as shown, hands over all that is left.
  void unitsEntered() {
    const double left = get("SUM4");
    double units = get("TOT1");
    // Nothing is handed back: a negative figure is as unavailable as too much.
    if (units < 0 || hundredths(units) > hundredths(left)) {
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
    if (amount < 0 || hundredths(amount) > hundredths(left)) {
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

  void transfer() {
    ItemTransfer t;
    t.item = source_;
    t.subItem = get("ABONO");
    t.contractor = std::int16_t(receiver());
    t.units = get("TOT1");
    t.amount = get("TOT2");
    TransferResult result;
    Status st = transferItem(ctx_, t, &result);
    if (st) {
      close(response::Completed);
      return;
    }
    fileError(st, result.failedAt);
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
