#include "estimates/assign_contractor.h"

#include "estimates/budget_rules.h"
#include "estimates/estimates.h"
#include "estimates/item_numbers.h"
#include "framework/describe.h"
#include "framework/form.h"

namespace velmora::estimates {

namespace {

// SUM1 is the item's labour budget, SUM2 the part of it the contractor
// estimates and SUM3 that part per unit; PAR:PEST is SUM2 as a percentage of
// SUM1.
class UpDeob : public FormProcedure {
 public:
  UpDeob(Program& program, db::Context& ctx)
      : FormProcedure(program, ctx, window(), "PART", entry::kBudgetItems, settings()) {
    uses(labels::CONC);  // for the concept's description
  }

 protected:
  bool init() override {
    // Only an existing item is assigned; it is never added or deleted here.
    if (wm_.request == request::Insert || wm_.request == request::Delete) {
      wm_.response = response::Cancelled;
      return false;
    }
    if (!FormProcedure::init()) return false;
    PAR& r = item();
    // One per cent estimated already ties the item to its contractor.
    if (mode() == request::Change && r.AVAN >= 1 - 1e-9) {
      warn("EL CONCEPTO YA FUE ESTIMADO", "Y NO SE LE PUEDE CAMBIAR EL", "CONTRATISTA ....");
      wm_.response = response::Cancelled;
      return false;
    }
    if (r.PEST == 0) r.PEST = 100;
    set("SUM1", r.PRES + r.VPRE);
    fromPercentage();
    showRelated("CONC", "COE:CTA", "COE:CTA_KEY", conceptOf(r.CONC));
    showRelated("CONT", "CTR:CTA", "CTR:CTA_KEY", r.CONT);
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (mode() == request::View) return;
    PAR& r = item();
    const double sum1 = get("SUM1");
    if (dict::sameName(control, "?PAR:PEST")) {
      fromPercentage();
    } else if (dict::sameName(control, "?SUM3")) {
      // The percentage comes from the price of all the units over the budget.
      if (r.CANT == 0) {
        refuse("?SUM3", "EL CONCEPTO NO TIENE CANTIDAD", "Y NO SE LE PUEDE DAR UNITARIO",
               "CON Ok CONTINUA...");
      } else if (sum1 == 0) {
        refuseNoBudget("?SUM3");
      } else {
        const double sum3 = get("SUM3");
        r.PEST = sum3 * r.CANT * 100 / sum1;
        set("SUM2", sum3 * r.CANT);
      }
    } else if (dict::sameName(control, "?SUM2")) {
      if (sum1 == 0) {
        refuseNoBudget("?SUM2");
      } else {
        const double sum2 = get("SUM2");
        r.PEST = sum2 / sum1 * 100;
        set("SUM3", r.CANT != 0 ? sum2 / r.CANT : 0.0);
      }
    }
    refreshAll();
  }

  bool validate() override {
    if (percentageInRange(item().PEST)) return true;
    warn("EL PORCENTAJE A ESTIMAR DEBE", "ESTAR ENTRE 0 Y 100 %", "CON Ok CONTINUA...");
    select("?PAR:PEST");
    return false;
  }

 private:
  PAR& item() { return primary().rec<PAR>(); }
  double get(const char* var) const { return number(value(var)); }
  void set(const char* var, double v) { (void)setValue(var, v); }

  // Without units there is no unit price: it shows as 0.
  void fromPercentage() {
    const PAR& r = item();
    const double sum2 = get("SUM1") * r.PEST / 100;
    set("SUM2", sum2);
    set("SUM3", r.CANT != 0 ? sum2 / r.CANT : 0.0);
  }

  // The entry goes back to what the percentage gives and waits for another.
  void refuse(const char* control, const char* l1, const char* l2, const char* l3) {
    warn(l1, l2, l3);
    fromPercentage();
    select(control);
  }
  void refuseNoBudget(const char* control) {
    refuse(control, "EL CONCEPTO NO TIENE IMPORTE DE", "MANO DE OBRA Y NO SE PUEDE",
           "CALCULAR EL PORCENTAJE ....");
  }

  static WindowDescription window() {
    Describe d("UP_DEOB", "Actualizando a Contratistas");
    d.field("CONTRATISTA:", "PAR:CONT", "@n_6").lookupButton().text("", "CTR:NOMB", "@s30");
    d.field("SE ESTIMARA AL:", "PAR:PEST", "@n6.2")
        .option("SUB-CONTRATO", "PAR:SCON", {"S", "N"}, {"&Si", "&No"})
        .last()
        .tip = "es sub-contrato ?";
    d.text("CANTIDAD:", "PAR:CANT", "@n14.2")
        .text("IMPORTE M/OBRA:", "SUM1", "@n14.2")
        .field("UNITARIO:", "SUM3", "@n14.2")
        .field("IMPORTE A ESTIMAR:", "SUM2", "@n14.2")
        .memo("DESCRIPCION:", "COE:TEX1", 700, 4)
        .last()
        .readOnly = true;
    return d.button("?OK", "&Ok", true).button("?CANCEL", "C&ierra").done();
  }

  static FormSettings settings() {
    FormSettings s;
    s.lookups = {{"?PAR:CONT", labels::CONT, keys::CTR_CTA_KEY, "CAP_DEST"}};
    s.enterAsTab = true;
    return s;
  }
};

}  // namespace

std::unique_ptr<Procedure> makeUpDeob(Program& program, db::Context& ctx) {
  return std::make_unique<UpDeob>(program, ctx);
}

}  // namespace velmora::estimates
