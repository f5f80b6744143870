// IMPORTA, "Importa del Presupuesto" of the menu "&Importa del Presupuesto":
// gathers the front, the factor and whether to accumulate, asks before the
// clean-up deletes anything, runs the import and tells what it did.

#include <fmt/core.h>

#include "equipment/equipment.h"
#include "equipment/hours_import.h"
#include "framework/access.h"
#include "framework/describe.h"
#include "framework/picture.h"

namespace velmora::equipment {

namespace {

constexpr const char* kAccumulate = "ACUMULA";  // "1" yes, "0" no
constexpr const char* kFront = "FRENTE";
constexpr const char* kFactor = "FACTOR";

class Importa : public Procedure {
 public:
  Importa(Program& program, db::Context& ctx) : Procedure(program, ctx, window()) {
    for (const char* label : {"HORA", "MAQU", "FREN", "PROB"}) uses(label);
    setLocal(kAccumulate, std::string("1"));
    setLocal(kFront, std::int64_t(0));
    setLocal(kFactor, 1.0);
  }

 protected:
  bool init() override {
    if (auto refused = specialAccess(program_, entry::kImport, 4)) {
      host_->warn(*refused);
      wm_.response = response::Cancelled;
      return false;
    }
    if (!Procedure::init()) return false;
    table("FREN").clear();
    return true;
  }

  void onAccepted(const std::string& control) override {
    if (dict::sameName(control, "?FRENTE")) {
      (void)frontEntered(false);
    } else if (dict::sameName(control, "?CALLLOOKUP")) {
      (void)frontEntered(true);
    } else if (dict::sameName(control, "?OK")) {
      ok();
    } else if (dict::sameName(control, "?CANCEL")) {
      close(response::Cancelled);
    }
    refreshAll();
  }

 private:
  std::int32_t front() const { return std::int32_t(number(value(kFront))); }

  // The front must exist; when it is not found (or always, from the lookup
  // button) the fronts' list chooses it.
  bool frontEntered(bool always) {
    return chooseRecord("FREN", "FRE:CTA_KEY", "FRE:CTA", kFront, "CAP_FRE", always);
  }

  void ok() {
    if (front() == 0) {
      warn("NO HA DADO EL FRENTE DE", "LOS CONCEPTOS A IMPORTAR", "VERIFIQUE USTED...");
      close(response::Cancelled);
      return;
    }
    HoursImport in;
    in.front = front();
    in.factor = Decimal::fromDouble(number(value(kFactor))).value_or(Decimal());
    in.accumulate = toText(value(kAccumulate)) == "1";
    // No hours would come of it, and without accumulating all would go.
    if (in.factor.cents() <= 0) {
      warn("EL FACTOR DE MULTIPLICACION", "DEBE SER MAYOR QUE CERO", "VERIFIQUE USTED...");
      select("?FACTOR");
      return;
    }
    if (!frontEntered(false)) return;
    std::int64_t lines = 0;
    if (Status st = table("HORA").records(lines); !st) {
      fileError(st, FileAction::Read);
      return;
    }
    if (lines == 0) {
      warn("NO HAY HORAS DE EQUIPO QUE IMPORTAR", "EJECUTE LA EXPLOSION DE MATERIALES",
           "EN EL SISTEMA DE PRESUPUESTOS...");
      return;
    }
    if (!in.accumulate && !cleanUpAgreed()) return;

    ImportResult result;
    Status st = importHours(ctx_, in, &result);
    if (!st) {
      fileError(st, result.failedAt);
      return;
    }
    MessageBox box;
    box.title = "Importa del Presupuesto";
    box.text = fmt::format(
        "Se importaron {} líneas de horas al frente {}.|Equipos nuevos: {}; acumulados: {}; "
        "sin cambio por tener avance: {}.|Procesos nuevos: {}; equipos sin avance borrados: "
        "{}.|Presupuesto de equipo del frente: {}",
        result.lines, in.front, result.added, result.accumulated, result.kept, result.processes,
        result.deleted, trimmedLeft(formatPicture("@n14.2", result.budget)));
    host().show(box);
    close(response::Completed);
  }

  // Not accumulating deletes the equipment without progress of every
  // front, not only this one's: the user says so first.
  bool cleanUpAgreed() {
    CleanUp c;
    if (Status st = countCleanUp(ctx_, c); !st) {
      fileError(st, FileAction::Read);
      return false;
    }
    if (c.records == 0) return true;
    return confirm(fmt::format("SE BORRARAN {} EQUIPOS SIN AVANCE", c.records),
                   c.fronts == 1 ? std::string("DE 1 FRENTE DE LA OBRA")
                                 : fmt::format("DE {} FRENTES DE LA OBRA", c.fronts),
                   "¿DESEA CONTINUAR?");
  }

  static std::string trimmedLeft(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    return s;
  }

  static WindowDescription window() {
    // The advice first, then the options. An empty prompt keeps the check
    // off the last line of advice.
    WindowDescription w =
        Describe("IMPORTA", "Importa del Presupuesto")
            .prompt("?STRING1", "ES IMPORTANTE EJECUTAR EL REPORTE DE EXPLOSION DE MATERIALES")
            .prompt("?STRING2", "DEL SISTEMA DE PRESUPUESTOS PARA PREPARAR LOS VOLUMENES DE")
            .prompt("?STRING3", "OBRA QUE IMPORTARA ESTE PROGRAMA. (EJECUTAR COMPLETO)")
            .prompt("?ACUMULA:Prompt", "")
            .check("ACUMULA  A  ANTERIOR", kAccumulate, "0", "1")
            .field("FRENTE:", kFront, "@n_6")
            .lookupButton()
            .text("", "FRE:NOMB", "@s40")
            .field("FACTOR DE MULTIPLICACION:", kFactor, "@n-10.2")
            .button("?OK", "OK", true)
            .button("?CANCEL", "Cancela")
            .done();
    w.resizable = false;
    return w;
  }
};

}  // namespace

void addImportProcedures(Program& program) {
  program.addProcedure("IMPORTA",
                       [](Program& p, db::Context& c) { return std::make_unique<Importa>(p, c); });
}

}  // namespace velmora::equipment
