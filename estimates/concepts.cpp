#include "estimates/concepts.h"

#include "estimates/estimates.h"
#include "estimates/registry.h"
#include "framework/describe.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeCapCoes(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("CAP_COES", "Catálogo de Conceptos de Obra")
                            .list({{"CTA", "COE:CTA", "@n_6", 6, 'R', true},
                                   {"CLAVE", "COE:CLAVE", "@s12", 12, 'L', true},
                                   {"D E S C R I P C I O N", "COE:TEXT", "@s50", 50, 'L', true},
                                   {"UNID", "COE:UNID", "@s4", 4, 'L', true}})
                            .tabs({"x Cuenta", "x Descripción", "x Clave"})
                            .browseButtons()
                            .done();
  // Deleting a concept is ruled by the budget items' entry, not the form's.
  return std::make_unique<BrowseProcedure>(
      program, ctx, std::move(w), labels::CONC, "UP_COES",
      std::vector<BrowseTab>{sortTab(keys::COE_CTA_KEY, "COE:CTA"),
                             sortTab(keys::COE_DES_KEY, "COE:TEXT"),
                             sortTab(keys::COE_CLA_KEY, "COE:CLAVE")},
      entry::kBudgetItems);
}

std::unique_ptr<Procedure> makeUpCoes(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("UP_COES", "Actualizando Conceptos de Estimaciones")
                            .field("CTA:", "COE:CTA", "@n_6")
                            .required()
                            .field("CLAVE:", "COE:CLAVE", "@s12")
                            .field("UNIDAD:", "COE:UNID", "@s4")
                            .field("DESCRIPCION:", "COE:TEXT", "@s50")
                            .required()
                            .memo("DESCRIPCION COMPLETA", "COE:TEX1", 700, 10)
                            .formButtons()
                            .done();
  FormSettings settings;
  settings.deleteEntry = entry::kBudgetItems;
  return std::make_unique<FormProcedure>(program, ctx, std::move(w), labels::CONC, entry::kConcepts,
                                         std::move(settings));
}

void addConceptProcedures(Program& program) {
  program.addProcedure("CAP_COES", makeCapCoes);
  program.addProcedure("UP_COES", makeUpCoes);
}

}  // namespace velmora::estimates
