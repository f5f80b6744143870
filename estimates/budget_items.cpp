#include "estimates/budget_items.h"

#include "estimates/assign_contractor.h"
#include "estimates/budget_rules.h"
#include "estimates/change_contractor.h"
#include "estimates/estimates.h"
#include "estimates/registry.h"
#include "framework/describe.h"

namespace velmora::estimates {

namespace {

// --- CAP_PART ------------------------------------------------------------------

class CapPart : public BrowseProcedure {
 public:
  CapPart(Program& program, db::Context& ctx)
      : BrowseProcedure(
            program, ctx, window(), "PART", "UP_PART",
            {sortTab(keys::PAR_CTA_KEY, "PAR:CONC"), sortTab(keys::PAR_EDI_KEY, "PAR:FREN"),
             sortTab(keys::PAR_TEX_KEY, "PAR:TEXT")},
            entry::kBudgetItems) {}

 protected:
  bool init() override {
    if (!BrowseProcedure::init()) return false;
    // A list opened only to look changes no contractor either.
    if (wm_.originalRequest == request::View)
      for (const char* b : {kAssignButton, kTransferButton}) hide(b), disable(b);
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, kAssignButton)) {
      callForSelected("UP_DEOB");
    } else if (dict::sameName(control, kTransferButton)) {
      callForSelected("CAM_CONT");
    } else {
      BrowseProcedure::onAccepted(control);
    }
  }

  // An item that has been estimated keeps its record: the estimates point at it.
  int update(int req) override {
    if (req == request::Delete) {
      if (!view_->readSelected()) return response::Cancelled;
      if (table("PART").rec<PAR>().AVAN > 0) {
        warn("NO SE PUEDE BORRAR PORQUE", "YA TIENE POLIZAS DE AVANCE", "CON Ok CONTINUA...");
        return response::Cancelled;
      }
    }
    return BrowseProcedure::update(req);
  }

  void selectionChanged() override {
    if (!view_ || wm_.originalRequest == request::View) return;
    for (const char* b : {kAssignButton, kTransferButton}) enable(b, !view_->empty());
  }

 private:
  static WindowDescription window() {
    return Describe("CAP_PART", "Catálogo de Conceptos de Obra")
        .list({{"CONCEPTO", "PAR:CONC", "@n_9.2", 9, 'R', true},
               {"PROC", "PAR:PROC", "@n_6", 6, 'R', true},
               {"FRENTE", "PAR:FREN", "@n_6", 6, 'R', true},
               {"DESCRIPCION", "PAR:TEXT", "@s30", 30, 'L', true},
               {"UNID", "PAR:UNID", "@s4", 4, 'L', true},
               {"CANTIDAD", "PAR:CANT", "@n14.2", 14, 'R', true},
               {"PRESUPUESTO", "PAR:PRES", "@n14.2", 14, 'R', true},
               {"CONT", "PAR:CONT", "@n_6", 4, 'R', true},
               coloured(nameColumn("CONTRATISTA", "PAR:CONT", "CTR:CTA_KEY", "CTR:NOMB", 26))})
        .tabs({"x Cuenta", "x Frente", "x Descripción"})
        .browseButtons()
        .button(kAssignButton, "C&ontratistas")
        .button(kTransferButton, "Cambia Contratista")
        .done();
  }

  // The assignment and the transfer work on the highlighted item, which
  // they find in the shared buffer; the list then shows what they wrote.
  void callForSelected(std::string_view procedure) {
    if (view_->empty() || !view_->readSelected()) return;
    db::Table& part = table("PART");
    const int r = call(procedure, request::Change);
    const std::int64_t at = part.position();
    if (r == response::Completed && headerSorted()) (void)showOrder();
    if (r == response::Completed && at != 0)
      (void)view_->show(at);
    else
      (void)view_->reload();
    applyRules();
    listChanged();
  }
};

// --- UP_PART -------------------------------------------------------------------

// The unit price shown in the form: the direct cost of one unit of the item,
// labour, materials and equipment with their variations.
constexpr const char* kUnitPrice = "UNITARIO";

class UpPart : public FormProcedure {
 public:
  UpPart(Program& program, db::Context& ctx)
      : FormProcedure(program, ctx, window(), "PART", entry::kBudgetItems, settings()) {}

 protected:
  bool init() override {
    if (!FormProcedure::init()) return false;
    const PAR& r = item();
    concept_ = conceptOf(r.CONC);
    showRelated("CONC", "COE:CTA", "COE:CTA_KEY", concept_);
    showRelated("PROB", "PRB:CTA", "PRB:CTA_KEY", r.PROC);
    showRelated("FREN", "FRE:CTA", "FRE:CTA_KEY", r.FREN);
    showRelated("CONT", "CTR:CTA", "CTR:CTA_KEY", r.CONT);
    computeUnitPrice();
    return true;
  }

  bool validate() override {
    if (percentageInRange(item().PEST)) return true;
    warn("EL PORCENTAJE A ESTIMAR DEBE", "ESTAR ENTRE 0 Y 100 %", "CON Ok CONTINUA...");
    select("?PAR:PEST");
    return false;
  }

  bool prime() override {
    PAR& r = item();
    r.PEST = 100;
    r.SCON = "N";
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (mode() == request::View) return;
    if (dict::sameName(control, "?PAR:CONC")) {
      // A new item, or one moved to another concept, takes the concept's
      // description, unit and key; the lookup has just read the concept.
      const std::int64_t now = conceptOf(item().CONC);
      const COE& c = table("CONC").rec<COE>();
      if ((mode() == request::Insert || now != concept_) && c.CTA == now) {
        db::Table& part = primary();
        (void)part.buffer().set("PAR:TEXT", c.TEXT);
        (void)part.buffer().set("PAR:UNID", c.UNID);
        (void)part.buffer().set("PAR:CLAVE", c.CLAVE);
        concept_ = now;
      }
    }
    // No contractor: no name beside the number.
    if (dict::sameName(control, "?PAR:CONT") && item().CONT == 0) table("CONT").clear();
    computeUnitPrice();
    refreshAll();
  }

 private:
  PAR& item() { return primary().rec<PAR>(); }

  void computeUnitPrice() { program_.setVar(kUnitPrice, itemUnitPrice(item())); }

  static WindowDescription window() {
    Describe d("UP_PART", "Actualiza Conceptos de Estimación");
    d.field("CONCEPTO:", "PAR:CONC", "@n_9.2").lookupButton();
    d.memo("", "COE:TEX1", 700, 4).last().readOnly = true;
    d.field("PROCESO:", "PAR:PROC", "@n_6").lookupButton().text("", "PRB:TEXT", "@s30");
    d.field("FRENTE:", "PAR:FREN", "@n_6").lookupButton().text("", "FRE:NOMB", "@s40");
    d.field("M/OBRA TOTAL:", "PAR:PRES", "@n14.2")
        .field("VARIACION M/OBRA:", "PAR:VPRE", "@n14.2")
        .field("MATERIALES:", "PAR:MATE", "@n14.2")
        .field("VARIACION MATERIALES:", "PAR:VMAT", "@n14.2")
        .field("MAQUINARIA:", "PAR:EQUI", "@n14.2")
        .field("VARIACION MAQUINARIA:", "PAR:VEQU", "@n14.2")
        .field("CANTIDAD:", "PAR:CANT", "@n14.2", "CANTIDAD A ESTIMAR")
        .field("SE TRABAJARA  DEL:", "PAR:FINI", "@d6")
        .calendarButton()
        .field("AL:", "PAR:FFIN", "@d6")
        .calendarButton()
        .field("CANTIDAD INICIAL:", "PAR:CANI", "@n10.2")
        .field("PRESUPUESTO INICIAL:", "PAR:PREI", "@n10.2")
        .text("UNITARIO DEL CONCEPTO:", kUnitPrice, "@n14.2")
        .field("CONTRATISTA:", "PAR:CONT", "@n_6")
        .lookupButton()
        .text("", "CTR:NOMB", "@s30")
        .field("% QUE DUDORE:", "PAR:PEST", "@n6.2", "% QUE ESTIMARA DE MANO DE OBRA")
        .option("SUB-CONTRATO", "PAR:SCON", {"S", "N"}, {"&Si", "&No"})
        .last()
        .tip = "es sub-contrato ?";
    return d.formButtons().done();
  }

  static FormSettings settings() {
    FormSettings s;
    s.lookups = {{"?PAR:CONC", labels::CONC, keys::COE_CTA_KEY, "CAP_COES"},
                 {"?PAR:PROC", labels::PROB, keys::PRB_CTA_KEY, "CAP_PROC"},
                 {"?PAR:FREN", labels::FREN, keys::FRE_CTA_KEY, "CAP_FRE"},
                 {"?PAR:CONT", labels::CONT, keys::CTR_CTA_KEY, "CAP_DEST", true}};
    return s;
  }

  std::int64_t concept_ = 0;  // the concept whose texts the item holds
};

}  // namespace

std::unique_ptr<Procedure> makeCapPart(Program& program, db::Context& ctx) {
  return std::make_unique<CapPart>(program, ctx);
}

std::unique_ptr<Procedure> makeUpPart(Program& program, db::Context& ctx) {
  return std::make_unique<UpPart>(program, ctx);
}

void addBudgetItemProcedures(Program& program) {
  // The amounts UP_DEOB and CAM_CONT work with, the unit price UP_PART
  // shows, the sub-item CAM_CONT makes and the contractor it hands it to.
  for (const char* name : {"SUM1", "SUM2", "SUM3", "SUM4", "SUM5", "TOT1", "TOT2", "ABONO"})
    program.declare(name, Value(0.0));
  program.declare(kUnitPrice, Value(0.0));
  program.declare("NCON", Value(std::int64_t(0)));
  program.addProcedure("CAP_PART", makeCapPart);
  program.addProcedure("UP_PART", makeUpPart);
  program.addProcedure("UP_DEOB", makeUpDeob);
  program.addProcedure("CAM_CONT", makeCamCont);
}

}  // namespace velmora::estimates
