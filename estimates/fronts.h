#pragma once

// CAP_FRE and UP_FRE: the fronts of the work, and CAP_PROC and UP_PROC: its
// processes. Plain catalogues: the framework's browse and form do all.

#include <memory>

#include "framework/browse.h"
#include "framework/form.h"

namespace velmora::estimates {

std::unique_ptr<Procedure> makeCapFre(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makeUpFre(Program& program, db::Context& ctx);

// The fronts' catalogue of either program: each shows its own two money
// columns of the front, and VOROVID's form moves on with Enter.
struct FrontMoney {
  const char* budgetCaption;
  const char* budget;  // "FRE:TPRES"
  const char* doneCaption;
  const char* done;
};
std::unique_ptr<Procedure> makeFrontsBrowse(Program& program, db::Context& ctx,
                                            const FrontMoney& money);
std::unique_ptr<Procedure> makeFrontForm(Program& program, db::Context& ctx, bool enterAsTab);
std::unique_ptr<Procedure> makeCapProc(Program& program, db::Context& ctx);
std::unique_ptr<Procedure> makeUpProc(Program& program, db::Context& ctx);

}  // namespace velmora::estimates
