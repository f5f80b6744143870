#include "estimates/contractors.h"

#include <cmath>
#include <vector>

#include "estimates/estimates.h"
#include "estimates/registry.h"
#include "framework/describe.h"
#include "framework/picture.h"

namespace velmora::estimates {

namespace {

// The advance still to amortise cannot be recovered when it is more than
// the amortisation percentage takes from the whole contract.
void warnRisk(Procedure& p, const CTR& c) {
  const double outstanding = c.ANTI - c.AAMO;
  if (!(outstanding > c.ICON * c.PANT / 100)) return;
  // The percentage of the contract that amortisation would have to take.
  // Without a contract amount there is none to show, but the risk stands.
  double needed = c.ICON != 0 ? outstanding * 100 / c.ICON : 0;
  if (!std::isfinite(needed)) needed = 0;
  p.warn("SITUACION DE RIESGO !!!!!!!", "EL % ACTUAL DE AMORTIZACION", "DE ANTICIPO ES MUY BAJO");
  p.warn("SI NO LO CORRIGE, CUANDO MENOS",
         "AL " + formatPicture("N6.2", needed) + "% NO SERA TOTALMENTE", "AMORTIZADO EL ANTICIPO");
}

class CapDest : public BrowseProcedure {
 public:
  CapDest(Program& program, db::Context& ctx, WindowDescription w)
      : BrowseProcedure(
            program, ctx, std::move(w), labels::CONT, "UP_DEST",
            {sortTab(keys::CTR_CTA_KEY, "CTR:CTA"), sortTab(keys::CTR_NOM_KEY, "CTR:NOMB")},
            entry::kContractors) {}

 protected:
  void onAccepted(const std::string& control) override {
    BrowseProcedure::onAccepted(control);
    // The choice stands; the caller is only told of the risk.
    if (dict::sameName(control, button("?SELECT")) && isClosing() &&
        wm_.response == response::Completed)
      warnRisk(*this, table("CONT").rec<CTR>());
  }
};

// Items and estimates hang from the contractor's number. A deleted
// contractor's items go back to the unassigned ones, or they would belong
// to the next contractor given his number; a renumbered contractor takes
// his items and estimates along.
std::span<const dict::RelationInfo> contractorRelations() {
  static const std::vector<dict::RelationInfo> all = [] {
    const dict::TableInfo& cont = CTR::info();
    auto link = [&](const dict::TableInfo& child, const char* field) {
      return dict::LinkPair{std::int16_t(cont.fieldIndex("CTR:CTA")),
                            std::int16_t(child.fieldIndex(field))};
    };
    auto keyIndex = [](const dict::TableInfo& t, const char* key) {
      return int(t.key(key) - t.keys.data());
    };
    static const dict::LinkPair items[] = {link(PAR::info(), "PAR:CONT")};
    static const dict::LinkPair estimates[] = {link(POL::info(), "POL:CONT")};
    std::vector<dict::RelationInfo> r(dict::relations().begin(), dict::relations().end());
    r.push_back({cont.index, PAR::info().index, keyIndex(PAR::info(), "PAR:DES_KEY"), items,
                 dict::Rule::Cascade, dict::Rule::Clear});
    // Only a contractor never paid can be deleted: he has no estimates to keep.
    r.push_back({cont.index, POL::info().index, keyIndex(POL::info(), "POL:CON_KEY"), estimates,
                 dict::Rule::Cascade, dict::Rule::None});
    return r;
  }();
  return all;
}

class UpDest : public FormProcedure {
 public:
  UpDest(Program& program, db::Context& ctx, WindowDescription w)
      : FormProcedure(program, ctx, std::move(w), labels::CONT, entry::kContractors) {}

 protected:
  bool mayDelete() override {
    if (primary().rec<CTR>().TPAG > 0) {
      warn("EL CONTRATISTA YA COBRO", "ESTIMACIONES Y NO PUEDE", "SER BORRADO ......");
      return false;
    }
    return true;
  }
  std::span<const dict::RelationInfo> relations() const override { return contractorRelations(); }
};

}  // namespace

std::unique_ptr<Procedure> makeCapDest(Program& program, db::Context& ctx) {
  WindowDescription w = Describe("CAP_DEST", "Catálogo de Contratistas")
                            .list({{"CTA", "CTR:CTA", "@n_6", 6, 'R', true},
                                   {"NOMBRE", "CTR:NOMB", "@s30", 30, 'L', true},
                                   {"% A/ANTICIPO", "CTR:PANT", "@n6.2", 6, 'R', true},
                                   {"% F/GARANTIA", "CTR:PGAR", "@n6.2", 6, 'R', true},
                                   {"% I.V.A.", "CTR:IVA", "@n6.2", 6, 'R', true}})
                            .tabs({"x Cuenta", "Alfabético"})
                            .browseButtons()
                            .done();
  return std::make_unique<CapDest>(program, ctx, std::move(w));
}

std::unique_ptr<Procedure> makeUpDest(Program& program, db::Context& ctx) {
  WindowDescription w =
      Describe("UP_DEST", "Actualizando Contratistas")
          .field("No DE CTA:", "CTR:CTA", "@n_6")
          .required()
          .field("NOMBRE:", "CTR:NOMB", "@s30")
          .required()
          .field("% AMORTIZACION ANTICIPO:", "CTR:PANT", "@n6.2", "% DE ANTICIPO AMORTIZABLE")
          .field("% FONDO DE GARANTIA:", "CTR:PGAR", "@n6.2")
          .field("% QUE RECIBIRA DE IVA:", "CTR:IVA", "@n6.2")
          .formButtons()
          .done();
  return std::make_unique<UpDest>(program, ctx, std::move(w));
}

void addContractorProcedures(Program& program) {
  program.addProcedure("CAP_DEST", makeCapDest);
  program.addProcedure("UP_DEST", makeUpDest);
}

}  // namespace velmora::estimates
