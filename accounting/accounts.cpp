#include "accounting/accounts.h"

#include "accounting/accounting.h"
#include "accounting/ledger.h"
#include "framework/access.h"
#include "framework/describe.h"

namespace velmora::accounting {

namespace {

class CapCue : public BrowseProcedure {
 public:
  CapCue(Program& program, db::Context& ctx)
      : BrowseProcedure(program, ctx, window(), "CUEN", {},
                        {sortTab(keys::CUE_CTA_KEY), sortTab(keys::CUE_DES_KEY, "CUE:DESC")},
                        entry::kAccounts) {}

 protected:
  void onAccepted(const std::string& control) override {
    if (control.rfind("?DELETE", 0) == 0) return remove();
    BrowseProcedure::onAccepted(control);
  }

 private:
  void remove() {
    if (auto refused = deleteAccess(program_, entry::kAccounts)) return host_->warn(*refused);
    Status st = view_->readSelected(true);
    if (!st) return;
    db::Table& cuen = table("CUEN");
    if (!mayDeleteAccount(cuen.rec<CUE>())) {
      warn("LA CUENTA YA TUVO MOVIMIENTOS", "Y NO PUEDE SER DADA DE BAJA",
           "HASTA DESPUES DEL CIERRE ANUAL");
      return;
    }
    if (program_.messages().raise(errors_, 11) != MessageService::kAnsweredYes) return;
    if (st = cuen.remove(); !st) fileError(st.on("CUEN"), FileAction::Delete);
    (void)view_->reload();
    applyRules();
    listChanged();
  }

  static WindowDescription window() {
    return Describe("CAP_CUE", "Mostrando Cuentas Contables")
        .list({{"DESCRIPCION", "CUE:DESC", "@s30", 30, 'L', true},
               {"CTA", "CUE:CTA", "@n_4", 4, 'R', true},
               {"SCTA", "CUE:SCTA", "@n_4b", 4, 'R', true},
               {"SSCTA", "CUE:SSCTA", "@n_4b", 4, 'R', true},
               {"SSSCTA", "CUE:SSSCTA", "@n_5b", 5, 'R', true},
               {"SSSSCTA", "CUE:SSSSCTA", "@n_5b", 5, 'R', true},
               {"U/NIVEL", "CUE:ULNI", "@s1", 7, 'C', true}})
        .tabs({"x Cuenta", "x Descripción"})
        .button("?SELECT:2", "Selecciona")
        .button("?DELETE:3", "Borra")
        .button("?CLOSE", "Cierra")
        .done();
  }
};

}  // namespace

std::unique_ptr<Procedure> makeCapCue(Program& program, db::Context& ctx) {
  return std::make_unique<CapCue>(program, ctx);
}

}  // namespace velmora::accounting
