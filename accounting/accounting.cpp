#include "accounting/accounting.h"

#include "accounting/accounts.h"
#include "accounting/banks.h"
#include "accounting/pol_pag.h"

namespace velmora::accounting {

namespace {

void addCatalogues(Program& program, bool defaultLayout) {
  program.addProcedure("CAP_CUE", makeCapCue);
  program.addProcedure("CAP_BAN", makeCapBan);
  program.addProcedure("UP_BAN", [defaultLayout](Program& p, db::Context& c) {
    return makeUpBan(p, c, defaultLayout);
  });
}

}  // namespace

void addProcedures(Program& program) {
  addCatalogues(program, false);
  program.addProcedure("POL_PAG", makePolPag);
  program.addProcedure("POL_CHEQ", makePolCheq);
  program.addProcedure("PREP_CHEQUE",
                       [](Program& p, db::Context& c) { return makePrepCheque(p, c, nullptr); });
}

void addVorovidProcedures(Program& program) { addCatalogues(program, true); }

}  // namespace velmora::accounting
