#include "estimates/fronts.h"

#include "estimates/estimates.h"
#include "estimates/registry.h"
#include "framework/describe.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeFrontsBrowse(Program& program, db::Context& ctx,
                                            const FrontMoney& money) {
  WindowDescription w = Describe("CAP_FRE", "Catálogo de Frentes de Obra")
                            .list({{"CTA", "FRE:CTA", "@n_6", 6, 'R', true},
                                   {"F R E N T E", "FRE:NOMB", "@s40", 40, 'L', true},
                                   {money.budgetCaption, money.budget, "@n14.2", 14, 'R', true},
                                   {money.doneCaption, money.done, "@n14.2", 14, 'R', true}})
                            .tabs({"x Cuenta", "Alfabético"})
                            .browseButtons()
                            .done();
  return std::make_unique<BrowseProcedure>(
      program, ctx, std::move(w), labels::FREN, "UP_FRE",
      std::vector<BrowseTab>{sortTab(keys::FRE_CTA_KEY, "FRE:CTA"),
                             sortTab(keys::FRE_NOM_KEY, "FRE:NOMB")},
      entry::kFronts);
}

std::unique_ptr<Procedure> makeFrontForm(Program& program, db::Context& ctx, bool enterAsTab) {
  WindowDescription w = Describe("UP_FRE", "Actualizando Frentes de Obra")
                            .field("No DE CTA:", "FRE:CTA", "@n_6")
                            .required()
                            .field("NOMBRE:", "FRE:NOMB", "@s40")
                            .required()
                            .formButtons()
                            .done();
  FormSettings s;
  s.enterAsTab = enterAsTab;
  return std::make_unique<FormProcedure>(program, ctx, std::move(w), labels::FREN, entry::kFronts,
                                         std::move(s));
}

std::unique_ptr<Procedure> makeCapFre(Program& program, db::Context& ctx) {
  return makeFrontsBrowse(program, ctx, {"PRESUPUESTO", "FRE:TPRES", "ESTIMADO", "FRE:TESTI"});
}

std::unique_ptr<Procedure> makeUpFre(Program& program, db::Context& ctx) {
  return makeFrontForm(program, ctx, false);
}

std::unique_ptr<Procedure> makeCapProc(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("CAP_PROC", "Catálogo de Procesos de Obra")
                            .list({{"CTA", "PRB:CTA", "@n_6", 6, 'R', true},
                                   {"D E S C R I P C I O N", "PRB:TEXT", "@s30", 30, 'L', true}})
                            .browseButtons()
                            .done();
  return std::make_unique<BrowseProcedure>(
      program, ctx, std::move(w), labels::PROB, "UP_PROC",
      std::vector<BrowseTab>{sortTab(keys::PRB_CTA_KEY, "PRB:CTA")});
}

std::unique_ptr<Procedure> makeUpProc(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("UP_PROC", "Actualizando Procesos de Obra")
                            .field("No DE CTA:", "PRB:CTA", "@n_6")
                            .required()
                            .field("DESCRIPCION:", "PRB:TEXT", "@s30")
                            .required()
                            .formButtons()
                            .done();
  return std::make_unique<FormProcedure>(program, ctx, std::move(w), labels::PROB);
}

void addFrontProcedures(Program& program) {
  program.addProcedure("CAP_FRE", makeCapFre);
  program.addProcedure("UP_FRE", makeUpFre);
  program.addProcedure("CAP_PROC", makeCapProc);
  program.addProcedure("UP_PROC", makeUpProc);
}

}  // namespace velmora::estimates
