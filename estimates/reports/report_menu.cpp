// IMP_REP, DUDORE's report menu, and its reports as procedures of the
// program.

#include "estimates/reports/estimate_catalogue.h"
#include "framework/describe.h"
#include "reports/report_windows.h"

namespace velmora::reports {

namespace {

constexpr const char* kChoice = "REPORTE";

struct MenuEntry {
  const char* procedure;
  const char* caption;
};

// In the order of the printed catalogue of the estimates' reports.
constexpr MenuEntry kEntries[] = {
    {"IMP_CON", "Estado de cuentas de contratistas"},
    {"IMP_LEV", "Levantamiento de avances"},
    {"IMP_TAB", "Tabulador de estimación"},
    {"IMP_REA", "Real contra presupuestado"},
    {"IMP_EDO", "Estado de cuentas de conceptos"},
    {"REP_IMP", "Estimación de pago por mano de obra"},
    {"REP_PORC", "Estimación de pago en porcentajes"},
    {"REP_ESC", "Reporte de estimaciones"},
    {"IMP_SOL", "Solicitud de recursos"},
    {"IMP_BAN", "Reporte bancario"},
    {"IMP_AUX", "Auxiliar de estimaciones"},
};

WindowDescription menuWindow() {
  std::vector<std::string> choices, captions;
  for (const MenuEntry& e : kEntries) {
    choices.emplace_back(e.procedure);
    captions.emplace_back(e.caption);
  }
  WindowDescription w = Describe("IMP_REP", "Imprimiendo del Sub-Sistema de Cuentas x Pagar")
                            .option("Reportes", kChoice, std::move(choices), std::move(captions))
                            .button("?PRINT", "&Imprime", true)
                            .button("?CLOSE", "C&ierra")
                            .done();
  return w;
}

class ReportMenu : public Procedure {
 public:
  ReportMenu(Program& program, db::Context& ctx) : Procedure(program, ctx, menuWindow()) {
    setLocal(kChoice, std::string(kEntries[0].procedure));
  }

 protected:
  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?CLOSE")) return close(response::Completed);
    if (!dict::sameName(control, "?PRINT")) return;
    const std::string name = toText(value(kChoice));
    if (!estimateCatalogue().make(name)) {
      MessageBox box;
      box.title = window_.title;
      box.text = "El reporte " + name +
                 " todavía no está disponible en esta versión.|Se agregará en una versión "
                 "posterior del sistema.";
      box.icon = MessageIcon::Exclamation;
      host().show(box);
      return;
    }
    call(name, request::Process);
  }
};

}  // namespace

void addEstimateReportProcedures(Program& program) {
  program.addProcedure("IMP_REP", [](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<ReportMenu>(p, c);
  });
  addCatalogueReports(program, estimateCatalogue());
}

}  // namespace velmora::reports
