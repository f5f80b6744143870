// REP_MENU, VOROVID's "Imprimiendo Reportes": its menu bar and buttons
// start the four reports, each with its options window first.

#include "equipment/reports/equipment_reports.h"
#include "framework/describe.h"
#include "reports/report_windows.h"

namespace velmora::reports {

namespace {

struct MenuItem {
  const char* procedure;
  const char* caption;
  const char* message;
};

constexpr MenuItem kItems[] = {
    {"IMP_PRV", "&Proveedores", "Saldos de los proveedores de maquinaria y equipo"},
    {"IMP_PAG", "Pa&gos a Proveedores", "Pagos y anticipos a los proveedores"},
    {"IMP_FAC", "&Facturas", "Facturas de la obra, con sus pagos"},
    {"IMP_REC", "&Trabajos Realizados", "Trabajos realizados con maquinaria y equipo"},
};

WindowDescription menuWindow() {
  Describe d("REP_MENU", "Imprimiendo Reportes");
  for (const MenuItem& i : kItems) d.button(std::string("?") + i.procedure, i.caption);
  WindowDescription w = d.button("?SALIR", "&Salir").done();
  w.menu.push_back({"&Archivo", "?SALIR", "Cierra los reportes"});
  for (const MenuItem& i : kItems)
    w.menu.push_back({i.caption, std::string("?") + i.procedure, i.message});
  w.resizable = false;
  return w;
}

class EquipmentReportMenu : public Procedure {
 public:
  EquipmentReportMenu(Program& program, db::Context& ctx) : Procedure(program, ctx, menuWindow()) {}

 protected:
  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?SALIR")) return close(response::Completed);
    for (const MenuItem& i : kItems)
      if (dict::sameName(control, std::string("?") + i.procedure))
        return (void)call(i.procedure, request::Process);
  }
};

}  // namespace

void addEquipmentReportProcedures(Program& program) {
  program.addProcedure("REP_MENU", [](Program& p, db::Context& c) -> std::unique_ptr<Procedure> {
    return std::make_unique<EquipmentReportMenu>(p, c);
  });
  addCatalogueReports(program, equipmentCatalogue());
}

}  // namespace velmora::reports
