// VOROVID's catalogues: the equipment of the work by front, and its own
// variants of the fronts, processes, employees and budget items, which the
// invoice form looks up.

#include <cmath>

#include "equipment/equipment.h"
#include "estimates/fronts.h"
#include "framework/browse.h"
#include "framework/describe.h"
#include "framework/form.h"
#include "framework/picture.h"

namespace velmora::equipment {

namespace {

// --- equipment -------------------------------------------------------------------

std::unique_ptr<Procedure> makeCapEqui(Program& program, db::Context& ctx) {
  WindowDescription w =
      Describe("CAP_EQUI", "Catálogo de Maquinaria y Equipo")
          .list(
              {{"CTA", "MAQ:CTA", "@n_6", 6, 'R', true},
               {"DESCRIPCION", "MAQ:DESC", "@s50", 30, 'L', true},
               {"FRENTE", "MAQ:FREN", "@n_6", 6, 'R', true},
               coloured(nameColumn("NOMBRE DEL FRENTE", "MAQ:FREN", "FRE:CTA_KEY", "FRE:NOMB", 20)),
               {"REQUERIDO", "MAQ:REQU", "@n14.2", 11, 'R', true},
               {"PRECIO", "MAQ:PRRE", "@n14.2", 11, 'R', true},
               {"AVANCE", "MAQ:RECI", "@n14.2", 11, 'R', true},
               {"IMPORTE", "MAQ:IMPO", "@n14.2", 11, 'R', true}})
          .browseButtons()
          .done();
  return std::make_unique<BrowseProcedure>(
      program, ctx, std::move(w), labels::MAQU, "UP_EQUI",
      std::vector<BrowseTab>{sortTab(keys::MAQ_CTA_KEY, "MAQ:CTA")}, entry::kEquipment);
}

// One equipment number once per front: the key refuses a second one.
std::unique_ptr<Procedure> makeUpEqui(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("UP_EQUI", "Actualizar Maquinaria y Equipo")
                            .field("CTA:", "MAQ:CTA", "@n_6")
                            .required()
                            .field("DESCRIPCION:", "MAQ:DESC", "@s50")
                            .required()
                            .field("FRENTE:", "MAQ:FREN", "@n_6")
                            .lookupButton()
                            .text("", "FRE:NOMB", "@s40")
                            .field("PROCESO:", "MAQ:PROC", "@n_6")
                            .lookupButton()
                            .text("", "PRB:TEXT", "@s30")
                            .field("REQUERIDO:", "MAQ:REQU", "@n14.2")
                            .field("PRECIO:", "MAQ:PRRE", "@n14.2")
                            .text("AVANCE:", "MAQ:RECI", "@n14.2")
                            .text("IMPORTE:", "MAQ:IMPO", "@n14.2")
                            .formButtons()
                            .done();
  FormSettings s;
  s.lookups = {{"?MAQ:FREN", labels::FREN, keys::FRE_CTA_KEY, "CAP_FRE"},
               {"?MAQ:PROC", labels::PROB, keys::PRB_CTA_KEY, "CAP_PROC", true}};

  class UpEqui : public FormProcedure {
   public:
    using FormProcedure::FormProcedure;

   protected:
    bool init() override {
      if (!FormProcedure::init()) return false;
      const MAQ& m = primary().rec<MAQ>();
      showRelated("FREN", "FRE:CTA", "FRE:CTA_KEY", m.FREN);
      showRelated("PROB", "PRB:CTA", "PRB:CTA_KEY", m.PROC);
      return true;
    }
    void onAccepted(const std::string& control) override {
      // No process: no description beside the number.
      if (dict::sameName(control, "?MAQ:PROC") && primary().rec<MAQ>().PROC == 0)
        table("PROB").clear();
      refreshAll();
    }
  };
  return std::make_unique<UpEqui>(program, ctx, std::move(w), labels::MAQU, entry::kEquipment,
                                  std::move(s));
}

// --- fronts ------------------------------------------------------------

// VOROVID's fronts show the equipment budget and what was paid of it.
std::unique_ptr<Procedure> makeCapFre(Program& program, db::Context& ctx) {
  return estimates::makeFrontsBrowse(program, ctx,
                                     {"PRESUPUESTO", "FRE:EQRE", "PAGADO", "FRE:EQPA"});
}

std::unique_ptr<Procedure> makeUpFre(Program& program, db::Context& ctx) {
  return estimates::makeFrontForm(program, ctx, true);
}

// --- employees -------------------------------------------------------------------

// The personnel file also holds the users and their rights: only number and
// name are shown, and changing them is ruled by the same entry as deleting.
std::unique_ptr<Procedure> makeCapEmpl(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("CAP_EMPL", "Catálogo del Personal Administrativo")
                            .list({{"CTA", "PER:CTA", "@n_6", 6, 'R', true},
                                   {"N O M B R E", "PER:NOMB", "@s30", 30, 'L', true}})
                            .tabs({"x Cuenta", "Alfabético"})
                            .browseButtons()
                            .done();
  return std::make_unique<BrowseProcedure>(
      program, ctx, std::move(w), labels::PERS, "UP_EMPL",
      std::vector<BrowseTab>{sortTab(keys::PER_CTA_KEY, "PER:CTA"),
                             sortTab(keys::PER_NOM_KEY, "PER:NOMB")},
      entry::kImport);
}

std::unique_ptr<Procedure> makeUpEmpl(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("UP_EMPL", "Actualizando Personal Administrativo")
                            .field("No DE CTA:", "PER:CTA", "@n_6")
                            .required()
                            .field("NOMBRE:", "PER:NOMB", "@s30")
                            .required()
                            .formButtons()
                            .done();
  return std::make_unique<FormProcedure>(program, ctx, std::move(w), labels::PERS, entry::kImport);
}

// --- budget items ------------------------------------------------------------------

enum PartColumn { kConcept, kProcess, kFront, kText, kUnit, kQuantity, kBudget };

// An item priced by unit is budgeted at its quantity times its unit price;
// otherwise at its labour and materials with their variations.
double itemBudget(const PAR& r) {
  return r.UNIT != 0 ? r.ECAN * r.UNIT : r.PRES + r.VPRE + r.MATE + r.VMAT;
}

// A list to choose from: VOROVID charges invoices to the items, it does not
// keep them.
class CapPart : public BrowseProcedure {
 public:
  CapPart(Program& program, db::Context& ctx)
      : BrowseProcedure(
            program, ctx, window(), labels::PART, {},
            {sortTab(keys::PAR_CTA_KEY, "PAR:CONC"), sortTab(keys::PAR_EDI_KEY, "PAR:FREN"),
             sortTab(keys::PAR_TEX_KEY, "PAR:TEXT")}) {
    setLocal(kBudgetColumn, 0.0);
  }

  std::string cell(int row, int column) const override {
    if (column != kBudget || row < 0 || row >= int(view_->rows().size()))
      return BrowseProcedure::cell(row, column);
    const PAR& r = view_->rows()[std::size_t(row)].record.as<PAR>();
    double budget = itemBudget(r);
    if (!std::isfinite(budget)) budget = 0;
    const Decimal amount = Decimal::fromDouble(budget).value_or(Decimal());
    return formatPicture(window_.find(list_)->columns[kBudget].picture, amount);
  }

 private:
  static constexpr const char* kBudgetColumn = "PRESUPUESTO";

  static WindowDescription window() {
    return Describe("CAP_PART", "Catálogo de Conceptos de Obra")
        .list({{"CONCEPTO", "PAR:CONC", "@n_9.2", 9, 'R', true},
               {"PROC", "PAR:PROC", "@n_6", 6, 'R', true},
               {"FRENTE", "PAR:FREN", "@n_6", 6, 'R', true},
               {"DESCRIPCION", "PAR:TEXT", "@s30", 30, 'L', true},
               {"UNID", "PAR:UNID", "@s4", 4, 'L', true},
               {"CANTIDAD", "PAR:CANT", "@n14.2", 14, 'R', true},
               {"PRESUPUESTO", kBudgetColumn, "@n14.2", 14, 'R', true}})
        .tabs({"x Cuenta", "x Frente", "x Descripción"})
        .button("?SELECT:2", "&Selecciona")
        .button("?CLOSE", "C&ierra")
        .done();
  }
};

}  // namespace

void addCatalogueProcedures(Program& program) {
  program.addProcedure("CAP_EQUI", makeCapEqui);
  program.addProcedure("UP_EQUI", makeUpEqui);
  program.addProcedure("CAP_FRE", makeCapFre);
  program.addProcedure("UP_FRE", makeUpFre);
  // Processes are the same catalogue in both programs.
  program.addProcedure("CAP_PROC", estimates::makeCapProc);
  program.addProcedure("UP_PROC", estimates::makeUpProc);
  program.addProcedure("CAP_EMPL", makeCapEmpl);
  program.addProcedure("UP_EMPL", makeUpEmpl);
  program.addProcedure("CAP_PART",
                       [](Program& p, db::Context& c) { return std::make_unique<CapPart>(p, c); });
}

}  // namespace velmora::equipment
